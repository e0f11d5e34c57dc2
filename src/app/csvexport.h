#pragma once

#include "store/itemexport.h"

#include <QObject>
#include <QSaveFile>
#include <memory>

class ProfileDb;
class QTimer;

// The window's export: the list as CSV into a file, a chunk of rows per turn of the event
// loop, so that the window stays live over a million rows. The file takes its name only
// when whole.
class CsvExport : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRowsPerTurn = 2000;

    CsvExport(ProfileDb &db, QObject *parent = nullptr);
    ~CsvExport() override;

    // Starts the export into the file; false (and finished() already emitted) when it
    // cannot begin.
    bool start(const QString &path);
    bool running() const;

signals:
    // The text for the status line: how many rows went where, or why none did.
    void finished(const QString &text, bool ok);

private:
    void turn();
    void end(const QString &text, bool ok);

    ProfileDb &m_db;
    QTimer *m_timer;
    std::unique_ptr<QSaveFile> m_file;
    std::unique_ptr<ItemExport> m_export;
};
