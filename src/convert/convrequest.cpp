#include "convert/convrequest.h"
#include "outside/outside.h"
#include "web/fetch.h"
#include "web/text.h"

QString itemConvertBody(const QString &itemId, const QString &pid)
{
    return outside::itemConvertHead() + itemId + outside::itemConvertTail(pid);
}

QString shopConvertBody(const QString &sid, const QString &pid)
{
    return outside::shopConvertHead() + sid + outside::shopConvertTail(pid);
}

QByteArray convrequest(const QString &body)
{
    const QByteArray payload = body.toUtf8();
    const QByteArray host = outside::apiToolHost.toLatin1();
    QByteArray out;
    out += "POST " + outside::apiToolPath.toLatin1() + " HTTP/1.0\r\n";
    out += "Accept: */*\r\n";
    out += "Accept-Language: zh-cn\r\n";
    out += "Content-Type: application/x-www-form-urlencoded\r\n";
    out += "Referer: http://" + host + outside::apiToolRefererPath.toLatin1() + "\r\n";
    out += "User-Agent: " + outside::convertUserAgent().toLatin1() + "\r\n";
    out += "Host: " + host + "\r\n";
    out += "Content-Length:" + QByteArray::number(payload.size()) + "\r\n";
    out += "\r\n";
    out += payload;
    return out;
}

namespace {

// Longer than any click URL the tool gives; a longer "link" is not one.
constexpr int kMaxClickUrl = 4096;

const QString kCdataOpen = QStringLiteral("<![CDATA[");
const QString kCdataClose = QStringLiteral("]]>");

// The character and numeric references an XML or HTML text may hold, as characters.
QString decodeEntities(const QString &text)
{
    static const QList<QPair<QString, QChar>> named = {
        {QStringLiteral("lt"), QLatin1Char('<')},   {QStringLiteral("gt"), QLatin1Char('>')},
        {QStringLiteral("quot"), QLatin1Char('"')}, {QStringLiteral("apos"), QLatin1Char('\'')},
        {QStringLiteral("amp"), QLatin1Char('&')},
    };
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        // No reference is longer than this; the search for its end goes no further.
        const qsizetype semi = text[i] == QLatin1Char('&') ? QStringView(text).mid(i, 12).indexOf(QLatin1Char(';')) + i : -1;
        if (semi < i) {
            out += text[i];
            continue;
        }
        const QString name = text.mid(i + 1, semi - i - 1);
        bool ok = false;
        uint code = 0;
        if (name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive))
            code = name.mid(2).toUInt(&ok, 16);
        else if (name.startsWith(QLatin1Char('#')))
            code = name.mid(1).toUInt(&ok, 10);
        for (const auto &[n, c] : named)
            if (!ok && name == n) {
                code = c.unicode();
                ok = true;
            }
        if (!ok || code == 0 || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
            out += text[i];
            continue;
        }
        const char32_t point = code;
        out += QString::fromUcs4(&point, 1);
        i = semi;
    }
    return out;
}

// An XML element's text: a CDATA section as it stands, anything else with its references
// resolved when they still are references. A section left open gives nothing.
QString elementText(const QString &content, bool resolve)
{
    const QString t = content.trimmed();
    if (!t.startsWith(kCdataOpen))
        return resolve ? decodeEntities(t) : t;
    const qsizetype close = t.indexOf(kCdataClose, kCdataOpen.size());
    return close < 0 ? QString() : t.mid(kCdataOpen.size(), close - kCdataOpen.size());
}

// The JSON string that starts at `quote` (a double quote), its escapes resolved; empty when it
// does not end within kMaxClickUrl characters.
QString jsonString(QStringView text, qsizetype quote)
{
    QString out;
    for (qsizetype i = quote + 1; i < text.size() && i - quote <= kMaxClickUrl; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('"'))
            return out;
        if (c != QLatin1Char('\\')) {
            out += c;
            continue;
        }
        if (++i >= text.size())
            break;
        switch (text[i].unicode()) {
        case 'n': out += QLatin1Char('\n'); break;
        case 't': out += QLatin1Char('\t'); break;
        case 'r': out += QLatin1Char('\r'); break;
        case 'b': case 'f': out += QLatin1Char(' '); break;
        case 'u': {
            bool ok = false;
            const ushort unit = text.mid(i + 1, 4).toUShort(&ok, 16);
            if (!ok || i + 4 >= text.size())
                return {};
            out += QChar(unit);
            i += 4;
            break;
        }
        default: out += text[i];   // \" \\ \/
        }
    }
    return {};
}

// Where the first JSON member named key (key with its quotes) begins its string value: the
// position of the value's opening quote, the key's in keyAt; -1 when there is no such member.
qsizetype jsonValue(QStringView text, QStringView key, QStringView quote, qsizetype *keyAt)
{
    for (qsizetype at = text.indexOf(key); at >= 0; at = text.indexOf(key, at + 1)) {
        qsizetype i = at + key.size();
        while (i < text.size() && text[i].isSpace())
            ++i;
        if (i >= text.size() || text[i] != QLatin1Char(':'))
            continue;
        ++i;
        while (i < text.size() && text[i].isSpace())
            ++i;
        if (text.mid(i, quote.size()) != quote)
            continue;
        *keyAt = at;
        return i;
    }
    return -1;
}

// An http or https address on a named host, with nothing in it that would break out of the
// link it is put in.
bool isWebAddress(const QString &link)
{
    if (link.size() > kMaxClickUrl)
        return false;
    qsizetype host = 0;
    if (link.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        host = 7;
    else if (link.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        host = 8;
    else
        return false;
    qsizetype end = host;
    bool port = false;
    for (; end < link.size(); ++end) {
        const QChar c = link[end];
        if (c == QLatin1Char('/') || c == QLatin1Char('?') || c == QLatin1Char('#'))
            break;
        if (c == QLatin1Char(':') && !port)
            port = true;
        else if (!(c.unicode() < 128 && (c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-'))))
            return false;
        else if (port && !c.isDigit())
            return false;
    }
    if (end == host || link[host] == QLatin1Char(':') || link[end - 1] == QLatin1Char(':'))
        return false;
    for (QChar c : link)
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f || c.isSurrogate() || QStringView(u"\"'<>\\`").contains(c))
            return false;
    return true;
}

} // namespace

QString cutClickUrl(const QString &reply)
{
    const QStringView text(reply);
    // The link of the first click_url the reply holds, in whichever form it comes: the XML the
    // tool shows escaped on its page, the XML itself, or JSON, bare or escaped.
    const qsizetype escaped = text.indexOf(outside::clickUrlStart);
    const qsizetype xml = text.indexOf(u"<click_url>");
    qsizetype jsonAt = -1, escapedJsonAt = -1;
    const qsizetype json = jsonValue(text, u"\"click_url\"", u"\"", &jsonAt);
    const qsizetype escapedJson = jsonValue(text, u"&quot;click_url&quot;", u"&quot;", &escapedJsonAt);
    qsizetype first = -1;
    for (qsizetype at : {escaped, xml, jsonAt, escapedJsonAt})
        if (at >= 0 && (first < 0 || at < first))
            first = at;
    if (first < 0)
        return QString();

    QString link;
    if (first == escaped) {
        // Every "amp;" goes, which makes each escaped ampersand a plain one; what the page
        // escaped besides (a CDATA section, other references) is then read as XML.
        const QString cut = getbetween(reply, outside::clickUrlStart, outside::clickUrlEnd).remove(outside::clickUrlRemoved);
        link = elementText(decodeEntities(cut), false);
    } else if (first == xml) {
        const qsizetype from = xml + 11;
        const qsizetype close = text.indexOf(u"</click_url>", from);
        link = close < 0 ? QString() : elementText(text.mid(from, close - from).toString(), true);
    } else if (first == jsonAt) {
        link = jsonString(text, json);
    } else {
        const qsizetype from = escapedJson + 6;
        const qsizetype close = text.indexOf(u"&quot;", from);
        if (close >= 0 && close - from <= kMaxClickUrl) {
            const QString value = QLatin1Char('"') + decodeEntities(text.mid(from, close - from).toString()) + QLatin1Char('"');
            link = jsonString(value, 0);
        }
    }
    link = link.trimmed();
    return isWebAddress(link) ? link : QString();
}

ConvertReply judgeReply(const QString &reply)
{
    ConvertReply judged;
    // Bytes that are no text are no page of the tool's, whatever their first line says.
    judged.ok = reply.left(outside::convertSuccessWithin).contains(outside::convertSuccessMark) && isReadableText(reply);
    judged.clickurl = cutClickUrl(reply);
    return judged;
}

bool replyComplete(const QByteArray &reply)
{
    const qsizetype headEnd = reply.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return true;   // no head to read a length from: judged on what it says
    for (const QByteArray &line : reply.left(headEnd).split('\n')) {
        const QByteArray l = line.trimmed();
        if (l.size() > 15 && l.left(15).toLower() == "content-length:") {
            bool ok = false;
            const qint64 length = l.mid(15).trimmed().toLongLong(&ok);
            return !ok || reply.size() - (headEnd + 4) >= length;
        }
    }
    return true;
}

void taokeiurl(WebService &web, const QString &id, int cla, QObject *context,
               std::function<void(const QString &clickurl, const FetchResult &page)> done)
{
    const QString query = cla == 0 ? outside::itemConvertQuery(id) : outside::shopConvertQuery(id);
    const QString tool = QStringLiteral("http://") + outside::apiToolHost;
    web.httpget(tool + outside::apiToolPath + QLatin1Char('?') + query, outside::apiToolHost,
                tool + outside::apiToolRefererPath, QStringLiteral("utf-8"), context,
                [done = std::move(done)](const FetchResult &page) {
                    if (done)
                        done(page.ok() ? cutClickUrl(page.text) : QString(), page);
                });
}
