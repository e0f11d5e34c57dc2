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

QString cutClickUrl(const QString &reply)
{
    if (!reply.contains(outside::clickUrlStart))
        return QString();
    return getbetween(reply, outside::clickUrlStart, outside::clickUrlEnd).remove(outside::clickUrlRemoved);
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

void taokeiurl(const QString &id, int cla, QObject *context,
               std::function<void(const QString &clickurl, const FetchResult &page)> done)
{
    const QString query = cla == 0 ? outside::itemConvertQuery(id) : outside::shopConvertQuery(id);
    const QString tool = QStringLiteral("http://") + outside::apiToolHost;
    httpget(tool + outside::apiToolPath + QLatin1Char('?') + query, outside::apiToolHost,
            tool + outside::apiToolRefererPath, QStringLiteral("utf-8"), context,
            [done = std::move(done)](const FetchResult &page) {
                if (done)
                    done(page.ok() ? cutClickUrl(page.text) : QString(), page);
            });
}
