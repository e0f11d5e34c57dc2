#include "web/charset.h"
#include "web/text.h"

#include <QList>
#include <QStringDecoder>

namespace {

// No charset name comes near this; a longer "name" is not one.
constexpr int kMaxLabel = 40;

bool space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

bool startsWithAt(const QByteArray &text, qsizetype at, const char *word)
{
    for (qsizetype k = 0; word[k]; ++k)
        if (at + k >= text.size() || lower(text[at + k]) != word[k])
            return false;
    return true;
}

QByteArray unquoted(QByteArray value)
{
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2).trimmed();
    return value;
}

// The charset in a <meta> content value: after "charset", blanks, "=" and blanks, a quoted
// value or one up to a blank or ";". A quote left open gives none.
QByteArray charsetInContent(const QByteArray &content)
{
    const QByteArray folded = content.toLower();
    qsizetype at = 0;
    while (true) {
        at = folded.indexOf("charset", at);
        if (at < 0)
            return {};
        at += 7;
        qsizetype i = at;
        while (i < content.size() && space(content[i]))
            ++i;
        if (i >= content.size() || content[i] != '=')
            continue;
        ++i;
        while (i < content.size() && space(content[i]))
            ++i;
        if (i >= content.size())
            return {};
        if (content[i] == '"' || content[i] == '\'') {
            const qsizetype close = content.indexOf(content[i], i + 1);
            return close < 0 ? QByteArray() : content.mid(i + 1, close - i - 1);
        }
        qsizetype e = i;
        while (e < content.size() && !space(content[e]) && content[e] != ';')
            ++e;
        return content.mid(i, e - i);
    }
}

// Reads the attributes of a tag from `at` (just past its name) to its ">"; the charset the
// tag declares, empty when none or when the tag does not end within the head. `at` ends past
// the tag.
QByteArray metaTagCharset(const QByteArray &head, qsizetype &at)
{
    QByteArray charset, content;
    bool contentType = false, closed = false;
    qsizetype j = at;
    const qsizetype n = head.size();
    while (j < n) {
        while (j < n && (space(head[j]) || head[j] == '/'))
            ++j;
        if (j >= n || head[j] == '>') {
            closed = j < n;
            ++j;
            break;
        }
        qsizetype e = j;
        while (e < n && !space(head[e]) && head[e] != '=' && head[e] != '>' && head[e] != '/')
            ++e;
        if (e == j) {   // a stray "=": no name to give it to
            ++j;
            continue;
        }
        const QByteArray name = head.mid(j, e - j).toLower();
        j = e;
        while (j < n && space(head[j]))
            ++j;
        QByteArray value;
        if (j < n && head[j] == '=') {
            ++j;
            while (j < n && space(head[j]))
                ++j;
            if (j < n && (head[j] == '"' || head[j] == '\'')) {
                const qsizetype close = head.indexOf(head[j], j + 1);
                const qsizetype end = close < 0 ? n : close;
                value = head.mid(j + 1, end - j - 1);
                j = end + 1;
            } else {
                qsizetype v = j;
                while (v < n && !space(head[v]) && head[v] != '>')
                    ++v;
                value = head.mid(j, v - j);
                j = v;
            }
        }
        if (name == "charset" && charset.isEmpty())
            charset = value.trimmed();
        else if (name == "http-equiv")
            contentType = value.trimmed().toLower() == "content-type";
        else if (name == "content" && content.isEmpty())
            content = value;
    }
    at = j;
    if (!closed)
        return {};
    if (!charset.isEmpty())
        return charset;
    return contentType ? charsetInContent(content).trimmed() : QByteArray();
}

bool readsAsciiAsAscii(const QString &charset)
{
    static const QByteArray ascii = [] {
        QByteArray a = "\t\n\r";
        for (char c = 0x20; c < 0x7f; ++c)
            a += c;
        return a;
    }();
    QStringDecoder decoder(charset.toLatin1().constData(), QStringConverter::Flag::Stateless);
    return QString(decoder.decode(ascii)) == QString::fromLatin1(ascii);
}

} // namespace

QString knownCharset(const QString &label)
{
    const QString l = label.trimmed();
    if (l.isEmpty() || l.size() > kMaxLabel)
        return {};
    for (QChar c : l)
        if (!(c.unicode() < 128 && (c.isLetterOrNumber() || QStringLiteral("._:+-").contains(c))))
            return {};
    const QStringDecoder decoder(l.toLatin1().constData());
    if (!decoder.isValid())
        return {};
    const QString name = QString::fromLatin1(decoder.name());
    const QString key = name.toLower();
    // Charsets that carry text in escape sequences: a marker in plain ASCII may not be what
    // it seems, and no browser reads a page in them.
    for (const char *hiding : {"utf-7", "imap-mailbox-name", "hz", "iso-2022", "scsu", "bocu"})
        if (key.startsWith(QLatin1String(hiding)))
            return {};
    if (key == QLatin1String("gb2312") || key == QLatin1String("gbk") || key.startsWith(QLatin1String("gb_2312"))
        || key.startsWith(QLatin1String("windows-936")) || key == QLatin1String("cp936"))
        return QStringLiteral("GBK");
    return name;
}

QString contentTypeCharset(const QByteArray &contentType)
{
    const QList<QByteArray> parts = contentType.left(1024).split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray p = parts[i].trimmed();
        if (!startsWithAt(p, 0, "charset"))
            continue;
        const QByteArray rest = p.mid(7).trimmed();
        if (rest.startsWith('='))
            return QString::fromLatin1(unquoted(rest.mid(1)));
    }
    return {};
}

QString metaCharset(const QByteArray &body)
{
    const QByteArray head = body.left(kMetaScanBytes);
    qsizetype i = 0;
    while (i < head.size()) {
        if (startsWithAt(head, i, "<!--")) {
            const qsizetype end = head.indexOf("-->", i + 4);
            if (end < 0)
                return {};
            i = end + 3;
            continue;
        }
        if (head[i] == '<' && startsWithAt(head, i + 1, "meta") && i + 5 < head.size()
            && (space(head[i + 5]) || head[i + 5] == '/')) {
            qsizetype at = i + 5;
            const QString label = QString::fromLatin1(metaTagCharset(head, at));
            if (!knownCharset(label).isEmpty())
                return label;
            i = qMax(at, i + 1);
            continue;
        }
        ++i;
    }
    return {};
}

QString pageCharset(const QByteArray &body, const QByteArray &contentType, const QString &expected)
{
    if (body.startsWith("\xef\xbb\xbf"))
        return QStringLiteral("UTF-8");
    if (body.startsWith("\xfe\xff"))
        return QStringLiteral("UTF-16BE");
    if (body.startsWith("\xff\xfe"))
        return QStringLiteral("UTF-16LE");
    // A header may name UTF-16 or UTF-32 (their pages carry no ASCII bytes); any other charset
    // it names must read ASCII as ASCII, as a web page's does.
    if (const QString declared = knownCharset(contentTypeCharset(contentType)); !declared.isEmpty()
        && (declared.startsWith(QLatin1String("UTF-16"), Qt::CaseInsensitive)
            || declared.startsWith(QLatin1String("UTF-32"), Qt::CaseInsensitive) || readsAsciiAsAscii(declared)))
        return declared;
    // Only a web page names its charset in a <meta>: a script or a document of another kind
    // may hold one as text of its own.
    const QByteArray type = contentType.left(256).toLower();
    if (!type.trimmed().isEmpty() && !type.contains("html"))
        return expected;
    QString own = knownCharset(metaCharset(body));
    // A page that names its charset in ASCII bytes is in a charset that reads ASCII as ASCII;
    // one that says UTF-16 means UTF-8, and one that names another is mistaken.
    if (own.startsWith(QLatin1String("UTF-16"), Qt::CaseInsensitive))
        own = QStringLiteral("UTF-8");
    return own.isEmpty() || !readsAsciiAsAscii(own) ? expected : own;
}

QString decodePage(const QByteArray &body, const QByteArray &contentType, const QString &expected)
{
    QString text = bytestostr(body, pageCharset(body, contentType, expected));
    if (text.isValidUtf16())
        return text;
    // The UTF-16 decoders pass a half of a pair on alone; nothing after them expects one.
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}
