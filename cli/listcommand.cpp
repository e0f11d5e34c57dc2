#include "cli/listcommand.h"
#include "cli/consolenotifier.h"
#include "store/itemlist.h"
#include "store/itemstate.h"

#include <cstdio>

namespace listcommand {

namespace {

// A site's refusal is its whole reply: the line carries its start.
constexpr int kReasonChars = 200;
constexpr int kSearchChars = 100;

QString flat(QString text)
{
    for (QChar &c : text)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return text;
}

void usageError(const QString &text)
{
    std::fputs(("velorix-cli: " + text + "\n").toUtf8().constData(), ConsoleNotifier::errors());
    std::fflush(ConsoleNotifier::errors());
}

} // namespace

QMap<QString, bool> options()
{
    return {{"--state", true}, {"--search", true}, {"--limit", true}};
}

QString usage()
{
    return QStringLiteral(
        "  list [--state STATE] [--search TEXT] [--limit N]\n"
        "                         a header line, then one line per item in the list's order: id, item ID,\n"
        "                         state, title, why it needs the operator (tab-separated); --state keeps\n"
        "                         the items of one state (%1), --search those whose title or item ID\n"
        "                         holds TEXT, --limit the first N\n")
        .arg(itemlist::stateNames());
}

QString line(qint64 id, const QString &item, const QString &state, const QString &title, const QString &reason)
{
    QString why = flat(reason);
    if (why.size() > kReasonChars)
        why = why.left(kReasonChars) + QStringLiteral("…");
    return QStringLiteral("%1\t%2\t%3\t%4\t%5").arg(id).arg(flat(item), state, flat(title), why);
}

int run(ProfileDb &db, const QMap<QString, QString> &given, const std::function<void(const DbStatus &)> &failedRead)
{
    itemlist::Query q;
    if (given.contains("--state")) {
        const auto state = itemlist::stateNamed(given.value("--state"));
        if (!state) {
            usageError(QStringLiteral("--state takes one of: %1").arg(itemlist::stateNames()));
            return 2;
        }
        q.state = *state;
    }
    q.search = given.value("--search").trimmed();
    if (q.search.size() > kSearchChars) {
        usageError(QStringLiteral("--search takes at most %1 characters").arg(kSearchChars));
        return 2;
    }
    qint64 limit = 0;
    if (given.contains("--limit")) {
        bool ok = false;
        limit = given.value("--limit").toLongLong(&ok);
        if (!ok || limit <= 0) {
            usageError(QStringLiteral("--limit takes a number above 0"));
            return 2;
        }
    }
    FILE *out = ConsoleNotifier::out();
    bool headed = false;
    auto head = [&] {
        if (headed)
            return;
        headed = true;
        std::fputs("序列\t宝贝ID\t状态\t宝贝标题\t原因\n", out);
    };
    const DbStatus read = itemlist::Reader(db).forEach(q, limit, [&](const ItemListRow &r) {
        head();
        // The reason after the label the state column shows already.
        QString why = needreason(r);
        if (const int colon = why.indexOf(QStringLiteral("：")); colon >= 0)
            why = why.mid(colon + 1);
        std::fputs(line(r.id, r.item, listlabel(r), r.title, why).toUtf8().constData(), out);
        std::fputc('\n', out);
        return true;
    });
    if (!read) {
        std::fflush(out);
        failedRead(read);
        return 1;
    }
    head();
    std::fflush(out);
    return 0;
}

} // namespace listcommand
