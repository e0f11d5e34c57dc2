#include "app/messageboxnotifier.h"

#include <QMessageBox>

void MessageBoxNotifier::showmsg(const QString &text)
{
    QMessageBox::information(m_owner, QStringLiteral("注意"), text);
}

bool MessageBoxNotifier::ask(const QString &text, const QString &title)
{
    return QMessageBox::question(m_owner, title, text, QMessageBox::Yes | QMessageBox::No)
           == QMessageBox::Yes;
}
