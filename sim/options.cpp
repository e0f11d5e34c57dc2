#include "sim/simulator.h"

#include <algorithm>

// The command line of velorix-sim: one table gives each option's name, its line in the
// usage text and what it sets.

namespace {

using Apply = bool (*)(const QString &value, SimOptions &o, quint16 &port);

struct Option {
    const char *name;
    const char *value;   // the value's name in the usage text
    const char *help;
    bool fault;          // listed among the faults
    Apply apply;         // false: the value is not one the option takes
};

bool count(const QString &value, int &target)
{
    bool ok = false;
    target = value.toInt(&ok);
    return ok && target >= 0;
}

const Option kOptions[] = {
    {"--port", "N", "port to listen on (default 18080)", false,
     [](const QString &v, SimOptions &, quint16 &port) {
         bool ok = false;
         const uint p = v.toUInt(&ok);
         port = quint16(p);
         return ok && p <= 65535;
     }},
    {"--seed", "N", "seed of the simulated shop (default 1)", false,
     [](const QString &v, SimOptions &o, quint16 &) {
         bool ok = false;
         o.seed = v.toUInt(&ok);
         return ok;
     }},
    {"--items", "N", "items in the shop (default 57)", false,
     [](const QString &v, SimOptions &o, quint16 &) { return count(v, o.items); }},
    {"--pages", "N", "a shop of N full list pages (N x 20 items)", false,
     [](const QString &v, SimOptions &o, quint16 &) {
         int pages = 0;
         const bool ok = count(v, pages) && pages > 0;
         o.items = pages * 20;
         return ok;
     }},
    {"--page25", "N", "list page N carries 25 item blocks", false,
     [](const QString &v, SimOptions &o, quint16 &) { return count(v, o.page25); }},
    {"--gone-share", "P", "percent of items whose page says unavailable (default 10)", false,
     [](const QString &v, SimOptions &o, quint16 &) { return count(v, o.goneShare) && o.goneShare <= 100; }},
    {"--shop-host", "HOST", "the shop's host name (default velorix-demo.taobao.com)", false,
     [](const QString &v, SimOptions &o, quint16 &) { return o.shopHost = v, true; }},
    {"--site-user", "NAME", "the mirror site's admin account (default demoadmin)", false,
     [](const QString &v, SimOptions &o, quint16 &) { return o.siteUser = v, true; }},
    {"--site-pass", "TEXT", "its password (default plumo)", false,
     [](const QString &v, SimOptions &o, quint16 &) { return o.sitePass = v, true; }},
    {"--site-db", "FILE", "keep the mirror site's items in this file (default: memory)", false,
     [](const QString &v, SimOptions &o, quint16 &) { return o.siteDb = v, true; }},
    {"--site-path", "/FOLDER", "the mirror site lives in this folder (default: the root)", false,
     [](const QString &v, SimOptions &o, quint16 &) {
         o.sitePath = v;
         while (o.sitePath.endsWith(QLatin1Char('/')))
             o.sitePath.chop(1);
         return v.startsWith(QLatin1Char('/')) && !v.contains(QLatin1Char('?'));
     }},
    {"--page-style", "2014|2017", "the marketplace's pages in a later layout (default: the classic one)", false,
     [](const QString &v, SimOptions &o, quint16 &) {
         o.pageStyle = v;
         return v == QLatin1String("2014") || v == QLatin1String("2017");
     }},
    {"--page-charset", "gbk|utf-8", "how marketplace pages are encoded (default gbk)", false,
     [](const QString &v, SimOptions &o, quint16 &) {
         o.pageCharset = v;
         return v == QLatin1String("gbk") || v == QLatin1String("utf-8");
     }},
    {"--charset-in", "both|header|meta", "where a marketplace page names its charset (default both)", false,
     [](const QString &v, SimOptions &o, quint16 &) {
         o.charsetIn = v;
         return v == QLatin1String("both") || v == QLatin1String("header") || v == QLatin1String("meta");
     }},
    {"--click-form", "cdata|json", "the API test tool gives the click URL in CDATA or in JSON", false,
     [](const QString &v, SimOptions &o, quint16 &) {
         o.clickForm = v;
         return v == QLatin1String("cdata") || v == QLatin1String("json");
     }},
    {"--convert-fail", "N", "every Nth conversion reply is not \"200 OK\"", true,
     [](const QString &v, SimOptions &o, quint16 &) { return count(v, o.convertFailEvery); }},
    {"--convert-nolink", "N", "every Nth conversion reply has no click URL", true,
     [](const QString &v, SimOptions &o, quint16 &) { return count(v, o.convertNoLinkEvery); }},
    {"--convert-hang", "N", "every Nth conversion request is never answered", true,
     [](const QString &v, SimOptions &o, quint16 &) { return count(v, o.convertHangEvery); }},
    {"--list-fail", "N", "every Nth shop list page fails", true,
     [](const QString &v, SimOptions &o, quint16 &) { return count(v, o.listFailEvery); }},
    {"--session-loss", "N", "the site forgets the login after every N uploads", true,
     [](const QString &v, SimOptions &o, quint16 &) { return count(v, o.sessionLossAfter); }},
    {"--refuse", "ID[,ID...]", "the site refuses these items", true,
     [](const QString &v, SimOptions &o, quint16 &) {
         o.refuseItems = v.split(QLatin1Char(','), Qt::SkipEmptyParts);
         return true;
     }},
    {"--compress", "gzip|deflate", "compress replies the client accepts so", true,
     [](const QString &v, SimOptions &o, quint16 &) {
         o.compress = v;
         return v == QLatin1String("gzip") || v == QLatin1String("deflate");
     }},
    {"--slow", "MS", "every reply waits MS milliseconds", true,
     [](const QString &v, SimOptions &o, quint16 &) { return count(v, o.slowMs); }},
    {"--fault", "T:K[:N][@ID]", "requests of T (list, item, desc, login, upload, tool) get K (noanswer, "
                                 "reset, 500, 503, 404, half, garbage, hang), every Nth, only item ID's (not for list and login); "
                                 "may be given more than once", true,
     [](const QString &v, SimOptions &o, quint16 &) {
         const auto f = SimFault::parse(v);
         if (f)
             o.faults << *f;
         return f.has_value();
     }},
};

const QLatin1String kHelp("--help");

// "  NAME VALUE" and the help text from the 25th column on, or three spaces after a long name.
QString usageLine(const QString &option, const char *help)
{
    return QStringLiteral("  ") + option.leftJustified(qMax(22, int(option.size()) + 3)) + QLatin1String(help)
           + QLatin1Char('\n');
}

} // namespace

QString Simulator::usage()
{
    QString text = QStringLiteral("velorix-sim: the outside world of Velorix on one local port\n"
                                  "usage: velorix-sim [options]\n");
    for (bool faults : {false, true}) {
        if (faults)
            text += QStringLiteral("faults, all off by default (\"every N\": the Nth, 2Nth, ... request):\n");
        for (const Option &o : kOptions)
            if (o.fault == faults)
                text += usageLine(QLatin1String(o.name) + QLatin1Char(' ') + QLatin1String(o.value), o.help);
    }
    text += usageLine(kHelp, "this text");
    text += usageLine(QLatin1String("--version"), "the program's version");
    text += QStringLiteral(
        "A browser can look at the mirror site at http://127.0.0.1:PORT/ and at any simulated\n"
        "host through http://127.0.0.1:PORT/_host/HOST/..., or use the simulator as its HTTP proxy.\n");
    return text;
}

bool Simulator::parseArguments(const QStringList &args, SimOptions &o, quint16 &port, QString &error)
{
    for (int i = 0; i < args.size(); ++i) {
        QString name = args[i], value;
        if (const qsizetype eq = name.indexOf('='); eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        } else if (name != kHelp && i + 1 < args.size()) {
            value = args[++i];
        }
        if (name == kHelp) {
            error.clear();
            return false;
        }
        const auto option = std::find_if(std::begin(kOptions), std::end(kOptions),
                                         [&](const Option &opt) { return name == QLatin1String(opt.name); });
        if (option == std::end(kOptions)) {
            error = QStringLiteral("unknown option: %1").arg(name);
            return false;
        }
        if (!option->apply(value, o, port) || value.isEmpty()) {
            error = QStringLiteral("bad value for %1: %2").arg(name, value);
            return false;
        }
    }
    return true;
}
