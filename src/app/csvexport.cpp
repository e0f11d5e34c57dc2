#include "app/csvexport.h"

#include <QDir>
#include <QTimer>

CsvExport::CsvExport(ProfileDb &db, QObject *parent) : QObject(parent), m_db(db), m_timer(new QTimer(this))
{
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, &CsvExport::turn);
}

CsvExport::~CsvExport() = default;

bool CsvExport::running() const
{
    return m_timer->isActive();
}

void CsvExport::end(const QString &text, bool ok)
{
    m_timer->stop();
    m_export.reset();
    if (m_file && !ok)
        m_file->cancelWriting();
    m_file.reset();
    emit finished(text, ok);
}

bool CsvExport::start(const QString &path)
{
    if (running())
        return false;
    const QString shown = QDir::toNativeSeparators(path);
    m_file = std::make_unique<QSaveFile>(path);
    if (!m_file->open(QIODevice::WriteOnly)) {
        end(QStringLiteral("导出失败：无法创建文件 %1（%2）").arg(shown, m_file->errorString()), false);
        return false;
    }
    m_export = std::make_unique<ItemExport>(m_db, *m_file, ItemExport::Format::Csv);
    if (!m_export->start()) {
        end(m_export->error(), false);
        return false;
    }
    m_timer->start();
    return true;
}

void CsvExport::turn()
{
    if (m_export->writeSome(kRowsPerTurn))
        return;
    if (m_export->failed()) {
        end(m_export->error(), false);
        return;
    }
    const QString shown = QDir::toNativeSeparators(m_file->fileName());
    const qint64 rows = m_export->written();
    if (!m_file->commit()) {
        const QString why = m_file->errorString();
        m_file.reset();
        end(QStringLiteral("导出失败：无法写入文件 %1（%2）").arg(shown, why), false);
        return;
    }
    m_file.reset();
    end(QStringLiteral("已导出 %1 件宝贝到 %2").arg(rows).arg(shown), true);
}
