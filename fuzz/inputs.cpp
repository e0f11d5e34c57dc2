#include "fuzz/inputs.h"

#include "outside/outside.h"
#include "web/charset.h"
#include "web/text.h"

#include <cmath>

namespace fuzz {

// The first n - 1 fields up to each kSep, the last one everything after; missing fields empty.
QList<QByteArray> fields(const QByteArray &input, int n)
{
    QList<QByteArray> out;
    qsizetype from = 0;
    for (int i = 0; i < n - 1; ++i) {
        const qsizetype sep = from <= input.size() ? input.indexOf(kSep, from) : -1;
        if (sep < 0) {
            out << input.mid(from);
            from = input.size() + 1;
            continue;
        }
        out << input.mid(from, sep - from);
        from = sep + 1;
    }
    out << (from <= input.size() ? input.mid(from) : QByteArray());
    return out;
}

QByteArray joined(const QList<QByteArray> &parts)
{
    QByteArray out;
    for (qsizetype i = 0; i < parts.size(); ++i)
        out += (i ? QByteArray(1, kSep) : QByteArray()) + parts[i];
    return out;
}

QByteArray gbk(const QString &text)
{
    return gbkBytes(text);
}

QString fromGbk(const QByteArray &bytes)
{
    return bytestostr(bytes, QStringLiteral("GB2312"));
}

// A marketplace page as the fetch service reads one whose reply names no charset: in the one
// its own <meta> names, else GBK.
QString served(const QByteArray &bytes)
{
    return decodePage(bytes, QByteArray("text/html"), QStringLiteral("GB2312"));
}

// Typed text: UTF-8 after an even first byte; after an odd one raw UTF-16 units, so lone
// surrogate halves (which no decoder yields) reach the code too.
QString typedText(const QByteArray &input)
{
    if (input.isEmpty())
        return {};
    const QByteArray rest = input.mid(1);
    if ((uchar(input[0]) & 1) == 0)
        return QString::fromUtf8(rest);
    QString out(rest.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i] = QChar(char16_t(uchar(rest[2 * i]) | uchar(rest[2 * i + 1]) << 8));
    return out;
}

// Both forms of typedText for each fixture.
QList<QByteArray> typedSeeds(const QList<QByteArray> &fixtures)
{
    QList<QByteArray> out;
    for (const QByteArray &f : fixtures) {
        out << QByteArray(1, '\0') + f;
        QByteArray units(1, '\1');
        for (QChar c : QString::fromUtf8(f)) {
            units += char(c.unicode() & 0xff);
            units += char(c.unicode() >> 8);
        }
        out << units;
    }
    return out;
}

QByteArray le(quint64 value, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out += char((value >> (8 * i)) & 0xff);
    return out;
}

quint64 fromLe(const QByteArray &bytes, int n)
{
    quint64 v = 0;
    for (int i = 0; i < n && i < bytes.size(); ++i)
        v |= quint64(uchar(bytes[i])) << (8 * i);
    return v;
}

// A strict UTF-8 check (shortest forms only, no surrogates, nothing past U+10FFFF), written
// here so the decoder is not checked against itself.
bool strictUtf8(const QByteArray &b)
{
    for (qsizetype i = 0; i < b.size();) {
        const uchar c = uchar(b[i]);
        int n;
        char32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xc2 && c <= 0xdf) {
            n = 1, cp = c & 0x1f;
        } else if (c >= 0xe0 && c <= 0xef) {
            n = 2, cp = c & 0x0f;
        } else if (c >= 0xf0 && c <= 0xf4) {
            n = 3, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= b.size())
            return false;
        for (int k = 1; k <= n; ++k) {
            const uchar d = uchar(b[i + k]);
            if ((d & 0xc0) != 0x80)
                return false;
            cp = cp << 6 | (d & 0x3f);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
            return false;
        i += n + 1;
    }
    return true;
}

bool noLineBreaksOrTabs(const QString &s)
{
    return !s.contains(QLatin1Char('\n')) && !s.contains(QLatin1Char('\r')) && !s.contains(QLatin1Char('\t'));
}

bool trimmedOfBlanks(const QString &s)
{
    return s.isEmpty() || (s.front() != QLatin1Char(' ') && s.back() != QLatin1Char(' '));
}

// "0", or a finite number written without trailing zeros.
bool plainNumber(const QString &s)
{
    if (s == QLatin1String("0"))
        return true;
    bool ok = false;
    const double v = s.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    if (s.contains(QLatin1Char('.')) && !s.contains(QLatin1Char('e')))
        return !s.endsWith(QLatin1Char('0')) && !s.endsWith(QLatin1Char('.'));
    return true;
}

QList<QByteArray> pageMarkers()
{
    using namespace outside;
    QList<QByteArray> m;
    for (const QString &s : {pageInfoMarker, itemBlockSeparator, listPictureMarker, listTitleMarker, unavailableText1,
                             unavailableText2, titleSuffixShop, titleSuffixMall, descriptionMarker, keywordsMarker,
                             attributesMarker, priceMarker, pictureMarker, descriptionBoilerplate, keywordsBoilerplate,
                             descriptionPrefix(), clickUrlStart, clickUrlEnd, clickUrlRemoved, convertSuccessMark,
                             descHost})
        m << gbk(s);
    for (const char *s : {"<title>", "</title>", "<h3>", "</h3>", "</ul>", "<strong>", "</strong>", "id=", "&", "\"",
                          "'", "<", "/", "\r\n", "&ldquo;", "&rdquo;", "\x1f", "//", "\\/", "http:\\/\\/", "https://",
                          "permalink\" style=\"\">", " data-src=\"", " data-ks-lazyload=\"", "s.gif", "data:", "<img ",
                          "J_ImgBooth", "<em>", "</em>", "&yen;", "<h3 ", "<meta charset=\"utf-8\">", "charset=gbk"})
        m << QByteArray(s);
    m << gbk(QStringLiteral("元"));
    return m;
}

QList<QByteArray> asIs(const QList<QByteArray> &fixtures)
{
    return fixtures;
}

} // namespace fuzz
