#pragma once

// A program run to its end by a test, while the test's own event loop (its simulator) goes on.
#include <QProcess>
#include <QSignalSpy>
#include <QString>

struct ProcessRun {
    int code = -1;     // -1: killed at the time limit; -2: it crashed
    QString out, err;
};

inline ProcessRun finishProcess(QProcess &p, int ms)
{
    ProcessRun r;
    if (p.state() != QProcess::NotRunning) {
        QSignalSpy done(&p, &QProcess::finished);
        if (!done.wait(ms)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
