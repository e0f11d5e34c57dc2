#include "app/messageboxnotifier.h"

#include <QMessageBox>

namespace {

// A site's reply or an item's title can hold HTML: a box shows it as the text it is.
QMessageBox::StandardButton show(QWidget *owner, QMessageBox::Icon icon, const QString &title, const QString &text,
                                 QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, title, text, buttons, owner);
    box.setTextFormat(Qt::PlainText);
    return QMessageBox::StandardButton(box.exec());
}

} // namespace

void MessageBoxNotifier::showmsg(const QString &text)
{
    show(m_owner, QMessageBox::Information, QStringLiteral("注意"), text, QMessageBox::Ok);
}

bool MessageBoxNotifier::ask(const QString &text, const QString &title)
{
    return show(m_owner, QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}
