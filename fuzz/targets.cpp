// The readers of outside text as fuzz targets, and what must hold for each whatever its input.
//
// A target's input is raw bytes as they come off the wire. Targets that need more than one
// value (markers, a size limit, a page number, rules) read them from leading fields separated
// by kSep, so the mutations reach those values too and a regression file is the whole case.

#include "fuzz.h"
#include "inputs.h"

#include "collect/itemparser.h"
#include "convert/convrequest.h"
#include "publish/sitelogin.h"
#include "publish/uploadrecord.h"
#include "sim/http.h"
#include "outside/outside.h"
#include "rules/rules.h"
#include "web/charset.h"
#include "web/inflate.h"
#include "web/md5.h"
#include "web/text.h"

#include <QCryptographicHash>

#include <algorithm>
#include <climits>
#include <cmath>

namespace fuzz {
namespace {

// getbetween: start marker, end marker, text, each in GBK.
QList<QByteArray> getbetweenSeeds(const QList<QByteArray> &fixtures)
{
    const QList<QPair<QString, QString>> pairs = {
        {"<title>", "</title>"}, {outside::pageInfoMarker, "<"}, {outside::descriptionMarker, "\""}, {"id=", "&"},
        {outside::clickUrlStart, outside::clickUrlEnd}, {"<strong>", "<"}, {"</title>", "<title>"}, {"<", "<html>"},
        {"", ""}, {"<h3>", ""}};
    QList<QByteArray> out;
    for (const QByteArray &f : fixtures)
        for (const auto &p : pairs)
            out << joined({gbk(p.first), gbk(p.second), f});
    return out;
}

void checkGetbetween(const QByteArray &input, Check &check)
{
    const QList<QByteArray> f = fields(input, 3);
    const QString start = fromGbk(f[0]), end = fromGbk(f[1]), text = fromGbk(f[2]);
    const QString r = getbetween(text, start, end);
    check.deep = !r.isEmpty();
    check.that(r.size() <= text.size(), "the cut is longer than the text");
    check.that(r.isEmpty() || text.contains(r), "the cut is not a part of the text");
    if (text.isEmpty() || !text.contains(start) || !text.contains(end))
        check.that(r.isEmpty(), "a cut without both markers in the text");
}

bool hexDigit(QChar c, bool upper)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
           || (c >= QLatin1Char(upper ? 'A' : 'a') && c <= QLatin1Char(upper ? 'F' : 'f'));
}

// urlencode: a typed text.
void checkUrlencode(const QByteArray &input, Check &check)
{
    const QString text = typedText(input);
    const QString out = urlencode(text);
    check.deep = out.contains(QLatin1Char('%'));
    static const QString alphabet = QStringLiteral("*-.@_+%");
    bool inAlphabet = true, escapes = true;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out[i];
        inAlphabet = inAlphabet && ((c.unicode() < 0x80 && c.isLetterOrNumber()) || alphabet.contains(c));
        if (c == QLatin1Char('%'))
            escapes = escapes && i + 2 < out.size() && hexDigit(out[i + 1], true) && hexDigit(out[i + 2], true);
    }
    check.that(inAlphabet, "a character outside the form alphabet");
    check.that(escapes, "a % without two upper-case hex digits");
    check.that(out.size() <= 6 * text.size(), "longer than two escaped bytes per character");
    QByteArray back = out.toLatin1();
    back.replace('+', ' ');
    check.that(QByteArray::fromPercentEncoding(back) == gbkBytes(text),
               "decoding the form value does not give the text's GBK bytes");
}

// bytestostr: a charset choice, then the body.
const char *const kCharsets[] = {"GB2312", "utf-8", "gbk", "UTF-8", " Gb2312 ", "UTF8"};
constexpr int kCharsetCount = int(sizeof kCharsets / sizeof *kCharsets);

QList<QByteArray> bytestostrSeeds(const QList<QByteArray> &fixtures)
{
    QList<QByteArray> out;
    for (const QByteArray &f : fixtures)
        for (int c = 0; c < kCharsetCount; ++c)
            out << QByteArray(1, char(c)) + f;
    return out;
}

void checkBytestostr(const QByteArray &input, Check &check)
{
    const QString charset = QString::fromLatin1(kCharsets[input.isEmpty() ? 0 : uchar(input[0]) % kCharsetCount]);
    const QByteArray body = input.mid(1);
    const QString text = bytestostr(body, charset);
    check.deep = !text.isEmpty();
    check.that(text.size() <= body.size(), "more UTF-16 units than bytes");
    check.that(text.isValidUtf16(), "the decoded text holds a lone surrogate half");
    const bool ascii = std::all_of(body.begin(), body.end(), [](char c) { return uchar(c) < 0x80; });
    if (ascii)
        check.that(text == QString::fromLatin1(body), "ASCII does not decode to itself");
    if (charset.contains(QLatin1String("utf"), Qt::CaseInsensitive)) {
        if (strictUtf8(body) && !body.startsWith("\xef\xbb\xbf"))
            check.that(text.toUtf8() == body, "valid UTF-8 does not come back unchanged");
        // A sequence cut off by the end of the body is dropped rather than replaced, so this
        // looks only at bodies that end in ASCII.
        const bool endsWhole = body.isEmpty() || uchar(body.back()) < 0x80;
        if (endsWhole && !strictUtf8(body))
            check.that(text.contains(QChar::ReplacementCharacter), "invalid UTF-8 decoded silently");
    }
}

// inflateBody: a 22-bit size limit in three bytes, then the body.
QList<QByteArray> inflateSeeds(const QList<QByteArray> &fixtures)
{
    QList<QByteArray> out;
    QList<QByteArray> bodies = fixtures;
    bodies << QByteArray(1 << 20, 'a');   // a small body that unpacks large
    for (const QByteArray &f : bodies) {
        const QByteArray gz = deflateBody(f, true), z = deflateBody(f, false);
        const QByteArray raw = z.mid(2, z.size() - 6);
        const quint64 size = quint64(f.size());
        for (const QByteArray &packed : {gz, z, raw, gz + gz})
            for (quint64 limit : {size - 1, size, 2 * size, quint64(1) << 21})
                out << le(limit, 3) + packed;
    }
    return out;
}

void checkInflate(const QByteArray &input, Check &check)
{
    const qsizetype limit = qsizetype(fromLe(input, 3) & 0x3fffff);
    const QByteArray body = input.mid(3);
    QString reason;
    const std::optional<QByteArray> plain = inflateBody(body, limit, &reason);
    if (!plain) {
        check.that(!reason.isEmpty(), "a failure without a reason");
        return;
    }
    check.deep = true;
    check.that(plain->size() <= limit, "unpacked beyond the limit");
    // The limit is inclusive: what fits exactly passes, one byte less fails.
    for (bool gzip : {true, false}) {
        const QByteArray again = deflateBody(*plain, gzip);
        const std::optional<QByteArray> exact = inflateBody(again, plain->size());
        check.that(exact && *exact == *plain, "a packed body does not unpack to itself at its size");
        if (!plain->isEmpty())
            check.that(!inflateBody(again, plain->size() - 1), "unpacked one byte past the limit");
    }
}

// parseListPage: the page number in four bytes, then the page in GBK.
QList<QByteArray> listPageSeeds(const QList<QByteArray> &fixtures)
{
    QList<QByteArray> out;
    for (const QByteArray &f : fixtures)
        for (quint64 page : {1, 2, 3, INT_MAX})
            out << le(page, 4) + f;
    return out;
}

void checkListPage(const QByteArray &input, Check &check)
{
    const int page = 1 + int(fromLe(input, 4) % quint64(INT_MAX));
    const QString text = served(input.mid(4));
    const ListPage p = parseListPage(text, page);
    check.deep = !p.items.isEmpty();
    check.that(p.ok == text.contains(outside::pageInfoMarker), "ok without the page-info marker");
    check.that(p.ok || (p.items.isEmpty() && !p.countOk), "items or a count from a page that is not one");
    check.that(p.countOk ? p.pageCount >= 0 : p.pageCount == 0, "a page count that is not one");
    check.that(p.items.size() <= 20, "more than 20 items on one list page");
    for (qsizetype i = 0; i < p.items.size(); ++i) {
        const ListedItem &l = p.items[i];
        check.that(isItemId(l.item), "an item without an item ID");
        check.that(l.byid == qint64(page - 1) * 20 + i + 1, "an item out of its page's order");
        check.that(noLineBreaksOrTabs(l.title) && trimmedOfBlanks(l.title), "a title not on one line");
        check.that(!l.money.contains(QLatin1Char(' ')) && !l.money.contains(QStringLiteral("元")),
                   "a price with blanks or the currency sign");
        check.that(l.title.size() + l.web_pic.size() + l.money.size() <= 3 * text.size(),
                   "fields larger than the page");
        check.that(!l.web_pic.startsWith(QLatin1String("//")), "a picture address without its scheme");
    }
}

// parseDetail and the other item-page readers: two bytes of rule switches (replace, add,
// add-before for title, description, keywords), the nine rule texts in UTF-8 as typed, then
// the page in GBK.
QList<QByteArray> itemPageSeeds(const QList<QByteArray> &fixtures)
{
    const QByteArray smile = "\xf0\x9f\x98\x80";
    const QByteArray good = "\xe5\xa5\xbd";
    const QList<QList<QByteArray>> rules = {
        {le(0, 2), "", "", "", "", "", "", "", "", ""},
        {le(0x1ff, 2), "\xe8\xa3\xa4", "\xe8\xa3\x99", "[\xe6\x96\xb0]", "", "", smile.repeated(130), ",", ",,,,",
         good},
        {le(0x0b6, 2), "a", "b", good.repeated(300), "&", smile, smile, "", "", smile.repeated(251)},
    };
    QList<QByteArray> out;
    for (const QByteArray &f : fixtures)
        for (const auto &r : rules)
            out << joined(r + QList<QByteArray>{f});
    return out;
}

void checkItemPage(const QByteArray &input, Check &check)
{
    const QList<QByteArray> f = fields(input, 11);
    const quint64 on = fromLe(f[0], 2);
    auto group = [&](int k) {
        RuleGroup g;
        g.replaceOn = on >> (3 * k) & 1;
        g.addOn = on >> (3 * k + 1) & 1;
        g.addBefore = on >> (3 * k + 2) & 1;
        g.find = QString::fromUtf8(f[1 + 3 * k]);
        g.replacement = QString::fromUtf8(f[2 + 3 * k]);
        g.addText = QString::fromUtf8(f[3 + 3 * k]);
        return g;
    };
    const RuleSet rules{group(0), group(1), group(2)};
    const QString page = served(f[10]);

    const ItemTexts t = parseDetail(page, rules);
    check.deep = !t.web_title.isEmpty() && !t.web_doc.isEmpty();
    for (const QString *s : {&t.web_title, &t.web_doc, &t.web_key}) {
        check.that(textLength(*s) <= kWorkTextLimit, "a page text past the work-box limit");
        check.that(s->isValidUtf16(), "a page text cut inside a surrogate pair");
    }
    const QString prefix = outside::descriptionPrefix();
    check.that(t.web_url.startsWith(prefix), "a description address elsewhere");
    check.that(t.web_url.size() <= prefix.size() + page.size(), "a description address longer than the page");
    const QString path = t.web_url.mid(prefix.size());
    const bool blank = std::any_of(path.begin(), path.end(), [](QChar c) { return c.unicode() <= 0x20; });
    if (!page.contains(QLatin1Char('\'') + prefix))
        check.that(!blank && !path.contains(QLatin1Char('"')) && !path.contains(QLatin1Char('\'')),
                   "a description address read loosely with blanks or quotes in it");
    check.that(t.web_content.size() <= page.size(), "an attribute list longer than the page");

    const ListedItem l = parseListFields(page);
    check.that(noLineBreaksOrTabs(l.title) && trimmedOfBlanks(l.title), "a heading not on one line");
    check.that(plainNumber(l.money), "a price that is not a plain number");
    check.that(l.web_pic.size() <= page.size() + 5, "a picture address longer than the page");
    check.that(!l.web_pic.startsWith(QLatin1String("//")), "a picture address without its scheme");

    if (isUnavailable(page))
        check.that(page.contains(outside::unavailableText1) || page.contains(outside::unavailableText2),
                   "unavailable without the notice");
}

// leadingNumber: a text in UTF-8.
QList<QByteArray> leadingNumberSeeds(const QList<QByteArray> &)
{
    QList<QByteArray> out;
    for (const char *s : {"128.00</strong>", "-0.50\xe5\x85\x83", "+.5", "19.90 ", ".", "-", "1.2.3", "00012",
                          "\xef\xbc\x91\xef\xbc\x92", "99999999999999999999999.5", "7e3"})
        out << QByteArray(s);
    return out;
}

void checkLeadingNumber(const QByteArray &input, Check &check)
{
    const QString text = QString::fromUtf8(input);
    const QString n = leadingNumber(text);
    check.deep = n != QLatin1String("0");
    check.that(plainNumber(n), "not a plain number");
    qsizetype i = (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'))) ? 1 : 0;
    if (i < text.size() && text[i] == QLatin1Char('.'))
        ++i;
    if (!(i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')))
        check.that(n == QLatin1String("0"), "a number from a text that does not begin with one");
}

// pageCharset and decodePage: a Content-Type value, then the body.
QList<QByteArray> charsetSeeds(const QList<QByteArray> &fixtures)
{
    QList<QByteArray> out;
    for (const QByteArray &f : fixtures)
        for (const char *type : {"", "text/html", "text/html; charset=utf-8", "text/html;charset=\"GBK\"",
                                 "text/html; charset=gb18030", "text/html; charset=big5", "text/html; charset=utf-7",
                                 "text/html; charset=utf-16le"})
            out << joined({QByteArray(type), f});
    return out;
}

void checkCharset(const QByteArray &input, Check &check)
{
    const QList<QByteArray> f = fields(input, 2);
    const QByteArray &type = f[0], &body = f[1];
    const QString charset = pageCharset(body, type, QStringLiteral("GB2312"));
    const QString text = decodePage(body, type, QStringLiteral("GB2312"));
    check.deep = charset != QLatin1String("GB2312");
    check.that(!charset.isEmpty(), "no charset decided");
    check.that(text.isValidUtf16(), "the decoded page holds a lone surrogate half");
    check.that(text.size() <= 2 * body.size(), "more than two UTF-16 units a byte");
    // Whatever the page says of itself, plain ASCII reads as itself unless the reply says
    // otherwise.
    const bool printable = std::all_of(body.begin(), body.end(), [](char c) {
        return (uchar(c) >= 0x20 && uchar(c) < 0x7f) || c == '\t' || c == '\n' || c == '\r';
    });
    if (printable && contentTypeCharset(type).isEmpty())
        check.that(text == QString::fromLatin1(body), "an ASCII page not read as ASCII");
}

// judgeReply and cutClickUrl: the raw reply, read as UTF-8 as the conversion channel reads it.
void checkConvertReply(const QByteArray &input, Check &check)
{
    const QString reply = QString::fromUtf8(input);
    const ConvertReply judged = judgeReply(reply);
    check.deep = judged.ok && !judged.clickurl.isEmpty();
    const QString &mark = outside::convertSuccessMark;
    const qsizetype at = reply.indexOf(mark);
    const bool within = at >= 0 && at + mark.size() <= outside::convertSuccessWithin;
    // Bytes that are no text are no page of the tool's, whatever their first line says.
    check.that(judged.ok == (within && isReadableText(reply)),
               "success judged other than by the mark in the first 50 characters of a text");
    check.that(judged.clickurl == cutClickUrl(reply), "the judged link differs from the cut one");
    check.that(judged.clickurl.size() <= reply.size(), "a link longer than the reply");
    if (!reply.contains(QLatin1String("click_url")))
        check.that(judged.clickurl.isEmpty(), "a link without a click_url");
    const QString &link = judged.clickurl;
    const bool web = link.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
                     || link.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    const bool clean = std::none_of(link.begin(), link.end(), [](QChar c) {
        return c.unicode() <= 0x20 || c == QLatin1Char('"') || c == QLatin1Char('<') || c == QLatin1Char('>');
    });
    check.that(link.isEmpty() || (web && clean), "a link that is not a clean web address");
}

// splitmd5: a typed text (a password), at most 64 KB of it.
void checkSplitmd5(const QByteArray &input, Check &check)
{
    const QString text = typedText(input.left(64 * 1024));
    const QString d = splitmd5(text);
    check.deep = !d.isEmpty();
    check.that(d.isEmpty() == text.isEmpty(), "a digest of nothing, or none of something");
    const bool hex = std::all_of(d.begin(), d.end(), [](QChar c) { return hexDigit(c, false); });
    check.that(d.isEmpty() || (d.size() == 32 && hex), "not 32 lower-case hex digits");
    const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii) {
        const QByteArray standard = QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Md5).toHex();
        check.that(md5(text) == QString::fromLatin1(standard), "the MD5 of ASCII text is not the standard one");
    }
}

// The simulator's request reader ends on any bytes, never takes more than it was given, and
// keeps to its limits.
void checkSimRequest(const QByteArray &input, Check &check)
{
    const HttpLimits limits{4096, 65536};
    const ParsedRequest p = parseRequest(input, limits);
    check.deep = p.outcome == ParsedRequest::Complete;
    check.that(p.consumed >= 0 && p.consumed <= input.size(), "consumed more than it was given");
    if (p.outcome == ParsedRequest::Complete) {
        check.that(p.consumed > 0, "a request of no bytes");
        check.that(p.request.raw.size() == p.consumed, "the request's bytes are not what it consumed");
        check.that(p.request.body.size() <= limits.body, "a body past the limit");
    }
    if (p.outcome == ParsedRequest::Error)
        check.that(!p.status.isEmpty() && !p.status.contains('\n'), "a refusal without a clean status line");
    check.that(p.expected <= limits.head + limits.body, "expects more than the limits allow");
}

// The description clean-up: no wrapper left to cut is no body; a body only grows by the CR
// before each line feed and the image page's longer prefix.
void checkPagebody(const QByteArray &input, Check &check)
{
    const QString doc = bytestostr(input, QStringLiteral("gb2312"));
    const auto page = pagebody(doc, QStringLiteral("/shop"));
    check.deep = page.has_value() && !page->isEmpty();
    check.that(page.has_value() == (doc.size() >= 13), "a body decided other than by the wrapper's length");
    if (!page)
        return;
    check.that(!page->contains(QLatin1Char('\\')), "a backslash left in the body");
    check.that(!page->contains(outside::imageDomainSuffix), "the image domain left unmasked");
    check.that(page->size() <= 2 * doc.size() + 16, "a body out of proportion to its document");
}

void checkLoginReply(const QByteArray &input, Check &check)
{
    const QString reply = bytestostr(input, QStringLiteral("gb2312"));
    const SiteLogin::Result r = SiteLogin::judge(reply);
    check.deep = r == SiteLogin::Result::LoggedIn;
    check.that((r == SiteLogin::Result::LoggedIn) == (reply == outside::loginOk), "a login judged other than by OK alone");
    const auto noid = SiteLogin::challenge(reply);
    check.that(noid.has_value() == reply.contains(outside::challengeMarker), "a challenge found other than by its mark");
    // One pass removes the marks; what their removal joins up ("NONOID:ID:") may read as one.
    if (noid)
        check.that(noid->size() <= reply.size() - outside::challengeMarker.size(), "the mark not removed from the challenge");
}

} // namespace

QList<Target> targets()
{
    const QList<QByteArray> page = pageMarkers();
    const QByteArray loneHigh = "\x3d\xd8", loneLow = QByteArrayLiteral("\x00\xdc");   // as UTF-16 units
    const QByteArray smile = "\xf0\x9f\x98\x80";
    return {
        {"getbetween", {}, page, getbetweenSeeds, checkGetbetween},
        {"urlencode", {}, {"%", "+", " ", "\xe2\x80\x9c", smile, loneHigh, loneLow}, typedSeeds, checkUrlencode},
        {"bytestostr", {}, {"\xef\xbb\xbf", "\xc0\x80", "\xed\xa0\x80", "\x81", "\xa1\xa1", "\x80", "\xff"},
         bytestostrSeeds, checkBytestostr},
        {"inflate", {},
         {QByteArrayLiteral("\x1f\x8b\x08\x00"), "\x78\x9c", QByteArrayLiteral("\x00\x00\xff\xff"),
          QByteArrayLiteral("\x03\x00")},
         inflateSeeds, checkInflate},
        {"listpage", {"list-"}, page, listPageSeeds, checkListPage},
        {"itempage", {"item-"}, page, itemPageSeeds, checkItemPage},
        {"leadingnumber", {}, {"-", "+", ".", "0", "9", "e5", "\xef\xbc\x91", "\xd9\xa3"}, leadingNumberSeeds,
         checkLeadingNumber},
        {"charset", {"item-", "list-", "convert-", "desc-"},
         {"<meta ", "charset=", "http-equiv=\"Content-Type\"", "content=\"", "<!--", "-->", "\xef\xbb\xbf", "\xff\xfe",
          "utf-8", "gbk", "gb18030", "utf-16", "IBM037", "\"", "'", ">", ";"},
         charsetSeeds, checkCharset},
        {"convertreply", {"convert-"},
         {outside::clickUrlStart.toLatin1(), outside::clickUrlEnd.toLatin1(), "amp;", "200 OK", "\r\n", "<click_url>",
          "</click_url>", "\"click_url\":\"", "&quot;click_url&quot;:&quot;", "<![CDATA[", "]]>", "&lt;![CDATA[", "]]&gt;",
          "\\/", "\\u0026", "http://", "https://", "\"", "&quot;"},
         asIs, checkConvertReply},
        {"splitmd5", {"text-", "convert-"}, {"\xe6\xbc\x94", smile, loneLow, "a"}, typedSeeds, checkSplitmd5},
        {"simrequest", {"request-"},
         {"\r\n", "\r\n\r\n", "Content-Length: ", "Content-Length:-1", "Content-Length: 99999999999999999999",
          "Host: ", "GET ", "POST ", " HTTP/1.0", ":"},
         asIs, checkSimRequest},
        {"pagebody", {"desc-"}, {"\\", "\n", "&nbsp;", "src=\"http://", "src=http://", ".taobaocdn.com"}, asIs,
         checkPagebody},
        {"loginreply", {"login-"}, {"NOID:", "OK", "ERR", "\r\n", " "}, asIs, checkLoginReply},
    };
}

} // namespace fuzz
