#pragma once

#include "web/fetchresult.h"

#include <QByteArray>
#include <QString>
#include <functional>

class QObject;
class WebService;

// The conversion exchange with the API test tool: the form body, the raw HTTP/1.0 request and
// the reading of the tool's reply page.

// Head + ID + tail; the IDs go in unchanged, without percent-encoding.
QString itemConvertBody(const QString &itemId, const QString &pid);
QString shopConvertBody(const QString &sid, const QString &pid);

// The whole request: request line, the fixed headers, an empty line, then the body without a
// line end. The body goes out as UTF-8 and Content-Length counts those bytes, so a publisher ID
// typed with non-ASCII characters still agrees with what is sent.
QByteArray convrequest(const QString &body);

struct ConvertReply {
    bool ok = false;    // "200 OK" lies wholly within the reply's first 50 characters
    QString clickurl;   // the cut link, or empty
};
ConvertReply judgeReply(const QString &reply);

// A reply that says how long its body is and brought less was cut off on the way: it is no
// reply, whatever its first line says. One without a length ends with the connection.
bool replyComplete(const QByteArray &reply);

// The link of the first click_url in the reply, whichever form it takes: the XML the tool's
// page shows escaped (the text between the escaped start and end tags, every "amp;" removed
// so the escaped ampersands become plain ones), the XML itself, or JSON, bare or escaped.
// CDATA sections and references are unwrapped and blanks around the link trimmed; anything
// that is not then an http or https address is no link (empty), as is a reply without one.
QString cutClickUrl(const QString &reply);

// The tool's GET form through the fetch service: cla 0 converts an item, any other value a shop,
// both with the built-in publisher ID. done gets the link, empty when there is none, and the page
// with why it failed when it did; it runs later on the event loop and is dropped when context is
// destroyed first.
void taokeiurl(WebService &web, const QString &id, int cla, QObject *context,
               std::function<void(const QString &clickurl, const FetchResult &page)> done);
