#include "web/notifier.h"

#include <QDebug>

namespace {

class LogNotifier : public Notifier
{
public:
    void showmsg(const QString &text) override { qInfo().noquote() << "注意:" << text; }
    bool ask(const QString &text, const QString &title) override
    {
        qInfo().noquote() << title << text << "-> 否";
        return false;
    }
};

LogNotifier logNotifier;
Notifier *current = nullptr;

} // namespace

void setNotifier(Notifier *n)
{
    current = n;
}

Notifier *notifier()
{
    return current ? current : &logNotifier;
}

void showmsg(const QString &text)
{
    notifier()->showmsg(text);
}

bool ask(const QString &text, const QString &title)
{
    return notifier()->ask(text, title);
}
