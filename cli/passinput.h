#pragma once

#include <QMap>
#include <QString>

#include <cstdio>

// Where velorix-cli settings takes the site password from: a file (--pass-file FILE), its
// standard input (--pass -), or the command line (--pass VALUE, which every user of the
// machine sees in the process list). The first line counts, without its line break.
struct PassInput {
    QString pass;
    QString error;     // why there is none, for stderr
    bool exposed = false;   // it came on the command line

    static constexpr qint64 kMaxBytes = 4096;   // far beyond the 32 characters a password may have
    static PassInput from(const QMap<QString, QString> &options, FILE *standardInput = stdin);
};
