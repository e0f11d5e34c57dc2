#pragma once

#include "base/notifier.h"

#include <QPointer>
#include <QWidget>

// Message boxes and questions on screen, over the main window.
class MessageBoxNotifier : public Notifier
{
public:
    explicit MessageBoxNotifier(QWidget *owner = nullptr) : m_owner(owner) {}
    void setOwner(QWidget *owner) { m_owner = owner; }
    void showmsg(const QString &text) override;
    bool ask(const QString &text, const QString &title) override;

private:
    QPointer<QWidget> m_owner;
};
