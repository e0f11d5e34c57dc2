// The shipped programs, run as a user runs them.
#include "store/profiledb.h"

#include <QProcess>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

class TestPrograms : public QObject
{
    Q_OBJECT
private slots:
    // The program creates its profile beside itself on the first start.
    void programCreatesItsProfile()
    {
        QTemporaryDir dir;
        const QString program = dir.filePath("velorix");
        QVERIFY(QFile::copy(QStringLiteral(VELORIX_BIN_DIR "/velorix"), program));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VELORIX_KEYRING", "none");   // never the developer's own keyring
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(program, {});
        QVERIFY(p.waitForStarted());
        const QString profile = dir.filePath("db/Profile.db");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(profile), 10000);
        QTest::qWait(300);
        QCOMPARE(p.state(), QProcess::Running);   // waiting for the operator, not crashed
        p.kill();
        p.waitForFinished();

        ProfileDb db;
        QCOMPARE(db.open(profile), ProfileDb::OpenResult::Opened);
        QStringList columns;
        QSqlQuery q(db.database());
        q.exec("PRAGMA table_info(itemlist)");
        while (q.next())
            columns << q.value(1).toString();
        QCOMPARE(columns, ProfileDb::itemlistColumns());
        QVERIFY(db.loadSettings().value.has_value());
    }

    void simulatorServesAndExplainsItself()
    {
        QProcess help;
        help.start(QStringLiteral(VELORIX_BIN_DIR "/velorix-sim"), {"--help"});
        QVERIFY(help.waitForFinished());
        QCOMPARE(help.exitCode(), 0);
        QVERIFY(help.readAllStandardOutput().contains("--convert-fail"));

        QProcess bad;
        bad.start(QStringLiteral(VELORIX_BIN_DIR "/velorix-sim"), {"--nonsense", "1"});
        QVERIFY(bad.waitForFinished());
        QCOMPARE(bad.exitCode(), 2);

        QProcess sim;
        sim.start(QStringLiteral(VELORIX_BIN_DIR "/velorix-sim"), {"--port", "0"});
        QVERIFY(sim.waitForReadyRead(5000));
        const QByteArray banner = sim.readAllStandardOutput();
        const qsizetype at = banner.indexOf("127.0.0.1:");
        QVERIFY2(at >= 0, banner.constData());
        const quint16 port = banner.mid(at + 10).split(' ').first().toUShort();
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(s.waitForConnected(3000));
        s.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        QByteArray reply;
        while (s.waitForReadyRead(3000))
            reply += s.readAll();
        QVERIFY(reply.startsWith("HTTP/1.1 200 OK"));
        sim.kill();
        sim.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestPrograms)
#include "tst_programs.moc"
