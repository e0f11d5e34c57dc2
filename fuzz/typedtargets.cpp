#include "fuzz/fuzz.h"
#include "collect/itemparser.h"
#include "outside/outside.h"
#include "base/checks.h"
#include "sim/simulator.h"

// The readers of what an operator or a script types: the manual add's address, the site and shop
// boxes, the connect-to switch, the simulator's fault switch.

namespace fuzz {

namespace {

QList<QByteArray> typedValues(const QList<QByteArray> &)
{
    return {"http://item.taobao.com/item.htm?id=520000100011", "https://detail.tmall.com/item.htm?id=1",
            "mirror.example.net:8080/shop", "velorix-demo.taobao.com", "item.taobao.com=127.0.0.1:1,127.0.0.1:18080",
            "127.0.0.1:18080", "desc:500:5", "item:404@520000100011", "upload:half"};
}

void checkManualAddress(const QByteArray &input, Check &check)
{
    const QString address = QString::fromUtf8(input);
    const QString id = manualItemId(address);
    check.deep = !id.isEmpty();
    if (id.isEmpty())
        return;
    check.that(isItemId(id), "an item ID that is not digits");
    check.that(address.endsWith(QStringLiteral("id=") + id), "an ID taken from elsewhere than the end");
    check.that(address.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
                   || address.startsWith(QLatin1String("https://"), Qt::CaseInsensitive),
               "an address taken that is no web address");
    check.that(!address.contains(QLatin1Char('&')) && !address.contains(QLatin1Char('#')) && !address.contains(QLatin1Char(' ')),
               "an address taken with more than the ID in it");
}

void checkSiteAddress(const QByteArray &input, Check &check)
{
    const QString text = QString::fromUtf8(input);
    const bool site = isSiteAddress(text, true);
    check.deep = site;
    if (!site)
        return;
    for (QChar c : text)
        check.that(c.unicode() > 32 && c.unicode() != 127 && !QStringLiteral("?#\\@\"<>").contains(c),
                   "a site address taken with what bends an address");
    check.that(!text.contains(QStringLiteral("//")), "a site address taken that names another host");
    check.that(!isSiteAddress(text, false) || !text.contains(QLatin1Char('/')), "a path taken where none may be");
    const QString host = outside::siteHost(text);
    check.that(!host.isEmpty() && !host.contains(QLatin1Char('/')), "a site whose host is not a host");
}

void checkConnectTo(const QByteArray &input, Check &check)
{
    QByteArray value = input.left(4096);
    value.replace('\0', ' ');
    const QByteArray before = qgetenv("VELORIX_CONNECT_TO");
    qputenv("VELORIX_CONNECT_TO", value);
    const auto to = outside::connectTo(QStringLiteral("item.taobao.com"));
    const QUrl routed = outside::route(QUrl(QStringLiteral("http://item.taobao.com/item.htm?id=1")));
    const QString problem = outside::connectToProblem();
    qputenv("VELORIX_CONNECT_TO", before);
    check.deep = to && !to->host.isEmpty();
    // Set and unusable: nowhere, never the real host.
    if (!problem.isEmpty())
        check.that(to && to->host.isEmpty() && (!routed.isValid() || routed.host().isEmpty()),
                   "an unusable switch let a connection go to the real host");
    if (to && !to->host.isEmpty())
        check.that(to->port > 0 && routed.host() == to->host && routed.port() == to->port, "routed elsewhere than named");
}

void checkSimFault(const QByteArray &input, Check &check)
{
    const auto f = SimFault::parse(QString::fromUtf8(input.left(4096)));
    check.deep = f.has_value();
    if (!f)
        return;
    check.that(f->every >= 1, "a fault every 0th request");
    check.that(f->item.isEmpty() || (f->target != SimFault::Target::List && f->target != SimFault::Target::Login),
               "a fault kept to one item where no request names one");
}

} // namespace

QList<Target> typedTargets()
{
    const QList<QByteArray> marks = {"http://", "https://", "item.taobao.com", "/item.htm?id=", "&", "#", "@", ":",
                                     "/",       "//",       "=",               ",",             " ", "\r\n", "\xe4\xb8\xad"};
    return {
        {"manualaddress", {"text-"}, marks, typedValues, checkManualAddress},
        {"siteaddress", {"text-"}, marks, typedValues, checkSiteAddress},
        {"connectto", {"text-"}, marks, typedValues, checkConnectTo},
        {"simfault", {"text-"}, {"list", "item", "desc", "login", "upload", "tool", ":", "@", "500", "half", "0", "-1"},
         typedValues, checkSimFault},
    };
}

} // namespace fuzz
