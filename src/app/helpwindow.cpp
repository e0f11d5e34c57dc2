#include "app/helpwindow.h"

#include <QDir>
#include <QFile>

HelpWindow::HelpWindow(const QString &file, QWidget *parent) : QTextBrowser(parent)
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Velorix 使用帮助"));
    setOpenLinks(false);
    resize(680, 600);
    QFile f(file);
    if (f.size() <= kMaxBytes && f.open(QIODevice::ReadOnly)) {
        setHtml(QString::fromUtf8(f.read(kMaxBytes)));
        return;
    }
    setPlainText(QStringLiteral("无法打开使用帮助文件：%1").arg(QDir::toNativeSeparators(file)));
}
