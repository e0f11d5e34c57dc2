// The main window's start-up note and its export, beside the window's own construction.
#include "app/csvexport.h"
#include "app/mainwindow.h"
#include "app/startnote.h"
#include "app/statusline.h"
#include "session/session.h"
#include "widgets/xpbutton2.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

void MainWindow::showStartNote(const std::optional<SoftConfig> &config)
{
    if (const QString first = startnote::firstSteps(config); !first.isEmpty()) {
        m_status->setStatus(first);
        // Enter opens the settings page: that is where a new profile starts.
        if (auto *settings = qobject_cast<XPButton2 *>(m_pageSwitch))
            settings->setDefault(true);
        m_pageSwitch->setFocus();
        return;
    }
    if (const auto last = m_session.db().lastRunRecord(true); last && last.value)
        m_status->setStatus(startnote::lastRun(*last.value));
}

void MainWindow::exportCsv()
{
    if (!m_csvExport) {
        m_csvExport = new CsvExport(m_session.db(), this);
        connect(m_csvExport, &CsvExport::finished, m_status, [this](const QString &text) { m_status->setStatus(text); });
    }
    if (m_csvExport->running()) {
        m_status->setStatus(QStringLiteral("正在导出，请稍候"));
        return;
    }
    QString path;
    if (m_chooseExportPath) {
        path = m_chooseExportPath();
    } else {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        path = QFileDialog::getSaveFileName(this, QStringLiteral("导出为CSV"), QDir(folder).filePath(QStringLiteral("宝贝列表.csv")),
                                            QStringLiteral("CSV 文件 (*.csv)"));
    }
    if (path.isEmpty())
        return;
    if (m_csvExport->start(path))
        m_status->setStatus(QStringLiteral("正在导出到 %1…").arg(QDir::toNativeSeparators(path)));
}
