#pragma once

#include <QMap>
#include <QString>

class ProfileDb;

// velorix-cli export: the items as CSV or JSON, to standard output or a file (-o), limited to
// some places of the list (--state). Returns the runner's exit status.
int exportCommand(ProfileDb &db, const QMap<QString, QString> &options);
