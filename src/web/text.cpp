#include "web/text.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {

constexpr int kMaxLooseCut = 3073;

// The GBK bytes of one UTF-16 unit; empty when GBK cannot hold it (a lone surrogate half
// included: the program works per UTF-16 unit, as the marketplace's own tools do).
QByteArray gbkOf(QChar c)
{
    static QHash<char16_t, QByteArray> cache;
    const auto it = cache.constFind(c.unicode());
    if (it != cache.constEnd())
        return *it;
    QByteArray bytes;
    if (!c.isSurrogate()) {
        QStringEncoder enc("GBK");
        const QString s(c);
        bytes = enc.encode(s);
        // ICU substitutes what it cannot map; a round trip tells.
        QStringDecoder dec("GBK");
        if (enc.hasError() || QString(dec.decode(bytes)) != s)
            bytes.clear();
    }
    cache.insert(c.unicode(), bytes);
    return bytes;
}

bool plain(char16_t u)
{
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '*' || u == '-'
           || u == '.' || u == '@' || u == '_';
}

} // namespace

QString getbetween(const QString &text, const QString &start, const QString &end)
{
    if (text.isEmpty())
        return {};
    const qsizetype startAt = text.indexOf(start);
    if (startAt < 0 || text.indexOf(end) < 0)
        return {};
    const qsizetype s = startAt + start.size();
    qsizetype e = text.indexOf(end);
    if (e < s) {
        e = text.indexOf(end, s);
        if (e < 0)
            e = s - 1;
    }
    if (e < s) {
        const QChar stop = end.isEmpty() ? QChar() : end.at(0);
        QString out;
        for (qsizetype i = s; i < text.size() && out.size() < kMaxLooseCut; ++i) {
            if (!end.isEmpty() && text.at(i) == stop)
                break;
            out.append(text.at(i));
        }
        return out;
    }
    return text.mid(s, e - s);
}

QByteArray gbkBytes(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    for (QChar c : text) {
        if (c.unicode() < 0x80) {
            out.append(char(c.unicode()));
            continue;
        }
        const QByteArray b = gbkOf(c);
        out.append(b.isEmpty() ? QByteArray("?") : b);
    }
    return out;
}

QString urlencode(const QString &text)
{
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(text.size() * 3);
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (plain(u)) {
            out.append(c);
        } else if (u == ' ') {
            out.append(QLatin1Char('+'));
        } else {
            const QByteArray bytes = u < 0x80 ? QByteArray(1, char(u)) : gbkOf(c);
            for (char b : bytes.isEmpty() ? QByteArray("?") : bytes) {
                out.append(QLatin1Char('%'));
                out.append(QLatin1Char(hex[(uchar(b) >> 4) & 0xF]));
                out.append(QLatin1Char(hex[uchar(b) & 0xF]));
            }
        }
    }
    return out;
}

QString bytestostr(const QByteArray &body, const QString &charset)
{
    const QString name = charset.trimmed().toLower();
    if (name == QLatin1String("gb2312") || name == QLatin1String("gbk") || name == QLatin1String("cp936")) {
        QStringDecoder dec("GBK");
        return dec.decode(body);
    }
    if (name.isEmpty() || name == QLatin1String("utf-8") || name == QLatin1String("utf8")) {
        QStringDecoder dec(QStringConverter::Utf8);   // drops a leading byte-order mark
        return dec.decode(body);
    }
    QStringDecoder dec(name.toLatin1().constData());
    if (!dec.isValid())
        return QString::fromUtf8(body);
    return dec.decode(body);
}

namespace {
// At most one character in this many may be one that text does not hold.
constexpr qsizetype kOddShare = 32;
}

bool isReadableText(const QString &text)
{
    // A stray control character or a byte the charset cannot hold is found in real pages now
    // and then; nonsense is full of them.
    qsizetype odd = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == 0 || u == 0xFFFD || (u < 0x20 && u != '\t' && u != '\n' && u != '\r' && u != '\f' && u != '\v')
            || u == 0x7F)
            ++odd;
    }
    return odd * kOddShare <= text.size();
}
