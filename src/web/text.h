#pragma once

#include <QByteArray>
#include <QString>

// The text between the first start marker and the next end marker; empty when the text is
// empty or either marker does not occur. When the end marker occurs only before the start
// marker, the characters after the start marker up to the first character of the end marker
// (at most 3073 of them).
QString getbetween(const QString &text, const QString &start, const QString &end);

// Form-value percent-encoding in GBK: letters, digits and *-.@_ stay, a space becomes "+",
// every other character becomes its GBK bytes as %XX (a character GBK cannot hold becomes
// %3F). A null text gives an empty text.
QString urlencode(const QString &text);

// A response body as text in the named character set (either letter case); "GB2312" is read
// as GBK, its superset, since such pages often hold GBK characters.
QString bytestostr(const QByteArray &body, const QString &charset);

// A text in GBK bytes, each character GBK cannot hold as "?".
QByteArray gbkBytes(const QString &text);

// Text as a page holds it: next to no NUL, undecodable byte (shown as U+FFFD) or control
// character but white space. Bytes that mean nothing, sent with "200 OK", fail this.
bool isReadableText(const QString &text);
