#pragma once

#include <QByteArray>
#include <QString>

// Which charset a page is written in, decided as a browser decides it: a byte-order mark,
// else the charset the reply's Content-Type names, else the one the page's own <meta> names
// near its start (UTF-16 there meaning UTF-8, and one that does not read ASCII as ASCII
// being a mistake), else the one the caller expects of the site. A name no decoder knows, or
// one that hides plain text behind escape sequences, counts as no name. Pure: it ends on any
// input and reads at most kMetaScanBytes of the body.
QString pageCharset(const QByteArray &body, const QByteArray &contentType, const QString &expected);

// The body as text in the charset pageCharset decides, every lone surrogate half replaced.
QString decodePage(const QByteArray &body, const QByteArray &contentType, const QString &expected);

// The charset parameter of a Content-Type value ("text/html; charset=utf-8" gives "utf-8"),
// as written; empty when there is none.
QString contentTypeCharset(const QByteArray &contentType);

// The charset the first <meta> naming a known one declares within the body's first
// kMetaScanBytes (comments skipped), as written; empty when none does.
QString metaCharset(const QByteArray &body);

// The decoder name for a charset label: "GBK" for GB2312 and its aliases (pages that say
// GB2312 hold GBK characters), "GB18030", "UTF-8", or the name the converter library gives
// any other charset it knows; empty for a label it does not know or one refused.
QString knownCharset(const QString &label);

// A page's head seldom puts its <meta> this far in, scripts and comments included.
constexpr int kMetaScanBytes = 4096;
