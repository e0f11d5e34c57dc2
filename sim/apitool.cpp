#include "sim/simulator.h"
#include "sim/support.h"
#include "outside/outside.h"

#include <QRegularExpression>

// The marketplace's API test tool: it converts item and shop IDs into click URLs and shows
// the XML answer on its page.

using namespace sim;

QString Simulator::clickUrl(const QString &kind, const QString &id, const QString &pid) const
{
    const QString e = QString::number(hashOf(kind + id + pid + QString::number(m_options.seed)), 16);
    return QStringLiteral("http://s.click.taobao.com/t?e=%1%2&pid=%3&unid=%4").arg(kind, e, pid, id);
}

Simulator::Reply Simulator::apiTool(const SimRequest &r)
{
    Reply reply;
    reply.http10Close = true;
    reply.contentType = "text/html; charset=utf-8";
    ++m_toolCount;
    auto every = [this](int n) { return n > 0 && m_toolCount % n == 0; };
    if (every(m_options.convertHangEvery)) {
        reply.hang = true;
        return reply;
    }
    if (every(m_options.convertFailEvery)) {
        reply.status = "500 Internal Server Error";
        reply.body = "<html><body>Internal Server Error</body></html>";
        return reply;
    }
    const QByteArray form = r.method == "POST" ? r.body : r.target.mid(r.target.indexOf('?') + 1);
    const QMap<QString, QString> f = parseForm(form, Charset::Utf8);   // the tool is a UTF-8 page
    const bool shop = f.value("method") == QLatin1String("taobao.taobaoke.shops.convert");
    const QString id = shop ? f.value("sids") : f.value("num_iids");
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    const bool noLink = every(m_options.convertNoLinkEvery) || !digits.match(id).hasMatch();
    const QString link = noLink ? QString() : clickUrl(shop ? "s" : "i", id, f.value("pid"));
    const QString root = shop ? QStringLiteral("taobaoke_shops_convert_response")
                              : QStringLiteral("taobaoke_items_convert_response");
    const QString el = shop ? QStringLiteral("taobaoke_shop") : QStringLiteral("taobaoke_item");
    const QString idName = shop ? QStringLiteral("user_id") : QStringLiteral("num_iid");
    if (m_options.clickForm == QLatin1String("json")) {
        // The platform's JSON answer as it stands, its slashes escaped.
        reply.contentType = "application/json;charset=UTF-8";
        QString json = noLink ? QStringLiteral("{\"%1\":{\"total_results\":0}}").arg(root)
                              : QStringLiteral("{\"%1\":{\"%2s\":{\"%2\":[{\"click_url\":\"%3\",\"%4\":%5}]},"
                                               "\"total_results\":1}}")
                                    .arg(root, el, QString(link).replace(QLatin1Char('/'), QStringLiteral("\\/")), idName, id);
        reply.body = json.toUtf8();
        return reply;
    }
    QString xml;
    if (noLink) {
        xml = QStringLiteral("<%1><total_results>0</total_results></%1>").arg(root);
    } else {
        // In CDATA the ampersands stay plain in the XML; the page then escapes them with the rest.
        const bool cdata = m_options.clickForm == QLatin1String("cdata");
        const QString value = cdata ? QStringLiteral("\n <![CDATA[") + link + QStringLiteral("]]>\n")
                                    : QString(link).replace('&', "&amp;");
        xml = QStringLiteral("<%1><%2s list=\"true\"><%2><click_url>%3</click_url><%4>%5</%4></%2></%2s>"
                             "<total_results>1</total_results></%1>")
                  .arg(root, el, value, idName, id);
        if (cdata)
            xml.replace('&', "&amp;");
    }
    // The tool shows the XML on its page with the angle brackets and quotes escaped.
    xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\" ?>") + xml;
    xml.replace('<', "&lt;").replace('>', "&gt;").replace('"', "&quot;");
    reply.body = QStringLiteral("<html><head><title>API测试工具</title></head><body>\n"
                                "<div class=\"result\"><textarea id=\"apiResult\">%1</textarea></div>\n</body></html>")
                     .arg(xml)
                     .toUtf8();
    return reply;
}
