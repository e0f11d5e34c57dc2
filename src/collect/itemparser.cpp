#include "collect/itemparser.h"
#include "outside/outside.h"
#include "web/text.h"

#include <QUrl>
#include <QRegularExpression>

namespace {

const QString kLdquo = QStringLiteral("&ldquo;");
const QString kRdquo = QStringLiteral("&rdquo;");

// What the work box makes of a text written into it.
QString box(const QString &text)
{
    return cutText(text, kWorkTextLimit);
}

QString quotes(QString text)
{
    return text.replace(kLdquo, QStringLiteral("“")).replace(kRdquo, QStringLiteral("”"));
}

// Line breaks and tabs out, then the blanks at both ends (blanks only: other white space stays).
QString oneLine(QString text)
{
    text.remove(QLatin1Char('\n')).remove(QLatin1Char('\r')).remove(QLatin1Char('\t'));
    qsizetype b = 0, e = text.size();
    while (b < e && text[b] == QLatin1Char(' '))
        ++b;
    while (e > b && text[e - 1] == QLatin1Char(' '))
        --e;
    return text.mid(b, e - b);
}

constexpr int kMaxItemsPerPage = 20;
// Longer than any marketplace ID; a longer run of digits is not one.
constexpr int kMaxItemIdDigits = 20;

// Bounds of the readers below: no tag, address or price element of a real page comes near them.
constexpr int kMaxTag = 2048;
constexpr int kMaxAddress = 2048;
constexpr int kMaxPriceElement = 1024;

bool endsWithAt(QStringView text, qsizetype end, QStringView word)
{
    return end >= word.size() && text.mid(end - word.size(), word.size()) == word;
}

// Nothing an address may not hold: no blank, control character, quote, angle bracket or
// backslash.
bool plainAddress(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f || c == QLatin1Char('"') || c == QLatin1Char('\'')
            || c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('\\'))
            return false;
    return true;
}

// The description address as later pages write it: in double quotes as well as single, without
// its scheme ("//" + host, inside a test of location.protocol), or in JSON with every slash
// escaped. The first such address on the description host counts; none gives an empty text.
QString looseDescriptionAddress(const QString &page)
{
    const QStringView text(page);
    const QString &host = outside::descHost;
    for (qsizetype at = text.indexOf(host); at >= 0; at = text.indexOf(host, at + 1)) {
        qsizetype b = at;
        if (endsWithAt(text, b, u"\\/\\/"))
            b -= 4;
        else if (endsWithAt(text, b, u"//"))
            b -= 2;
        else
            continue;
        if (endsWithAt(text, b, u"https:"))
            b -= 6;
        else if (endsWithAt(text, b, u"http:"))
            b -= 5;
        const QChar quote = b > 0 ? text[b - 1] : QChar();
        if (quote != QLatin1Char('\'') && quote != QLatin1Char('"'))
            continue;
        qsizetype p = at + host.size();
        if (text.mid(p, 2) == u"\\/")
            p += 2;
        else if (text.mid(p, 1) == u"/")
            p += 1;
        else
            continue;   // another host that begins with this one's name
        const qsizetype close = text.mid(p, kMaxAddress + 1).indexOf(quote);
        if (close < 0)
            continue;
        const QString path = text.mid(p, close).toString().replace(QStringLiteral("\\/"), QStringLiteral("/"));
        if (path.isEmpty() || !plainAddress(path))
            continue;
        return outside::descriptionPrefix() + path;
    }
    return {};
}

// The tag around position `at`: from the "<" before it to the ">" after it; empty when `at`
// lies in no tag of a sane length.
QString tagAround(const QString &page, qsizetype at)
{
    const qsizetype from = qMax<qsizetype>(0, at - kMaxTag);
    const QStringView before = QStringView(page).mid(from, at - from + 1);
    const qsizetype lt = before.lastIndexOf(QLatin1Char('<'));
    if (lt < 0 || before.lastIndexOf(QLatin1Char('>')) > lt)
        return {};
    const qsizetype gt = QStringView(page).mid(at, kMaxTag).indexOf(QLatin1Char('>'));
    if (gt < 0 || at + gt - (from + lt) > kMaxTag)
        return {};
    return page.mid(from + lt, at + gt - (from + lt) + 1);
}

// The value of a tag's attribute, quoted or bare; empty when the tag has none.
QString attribute(const QString &tag, const QString &name)
{
    const QRegularExpression re(QStringLiteral("\\s%1\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))")
                                    .arg(QRegularExpression::escape(name)),
                                QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(tag);
    if (!m.hasMatch())
        return {};
    for (int i = 1; i <= 3; ++i)
        if (m.capturedLength(i) > 0)
            return m.captured(i).trimmed();
    return {};
}

// A picture address that stands in for the real one until a script loads it: nothing, a
// data URI, or one of the blank images the marketplace serves for the purpose.
bool placeholderPicture(const QString &src)
{
    if (src.trimmed().isEmpty() || src.trimmed().startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return true;
    static const QStringList blanks = {QStringLiteral("s.gif"), QStringLiteral("spaceball.gif"),
                                       QStringLiteral("blank.gif"), QStringLiteral("spacer.gif")};
    const QString file = src.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('/'), -1).toLower();
    return blanks.contains(file);
}

// What a lazy-loading page puts in place of a placeholder src: the address a script would load,
// a web address only (a script address there is no picture).
QString lazyPicture(const QString &tag)
{
    for (const QString &name : {QStringLiteral("data-src"), QStringLiteral("data-ks-lazyload")}) {
        const QString value = attribute(tag, name).trimmed();
        const bool web = value.startsWith(QLatin1String("//")) || value.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
                         || value.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
        if (web && !placeholderPicture(value))
            return value;
    }
    return {};
}

// A picture address without its scheme is fetched over http, as the pages themselves are.
QString absolutePicture(const QString &address)
{
    return address.startsWith(QLatin1String("//")) ? QStringLiteral("http:") + address : address;
}

// The picture as the marker gives it, unless that is a placeholder: then the tag's own src when
// the marker missed it, or the address the page loads lazily.
QString pictureOf(const QString &cut, QString tag)
{
    if (!placeholderPicture(cut))
        return absolutePicture(cut);
    if (!tag.startsWith(QLatin1String("<img"), Qt::CaseInsensitive))
        tag.clear();
    QString src = cut.isEmpty() ? attribute(tag, QStringLiteral("src")) : cut;
    if (placeholderPicture(src)) {
        const QString lazy = lazyPicture(tag);
        if (!lazy.isEmpty())
            src = lazy;
    }
    return absolutePicture(src.isEmpty() ? cut : src);
}

// The text of the price element, its inner tags and currency signs dropped: a page that wraps
// the figures in tags of their own ("<em>&yen;</em><em>128.00</em>") still has a price.
QString priceText(const QString &page)
{
    const qsizetype at = page.indexOf(outside::priceMarker);
    if (at < 0)
        return {};
    const QString tag = tagAround(page, at);
    static const QRegularExpression nameRe(QStringLiteral("^<([A-Za-z][A-Za-z0-9]*)"));
    const QString name = nameRe.match(tag).captured(1);
    if (name.isEmpty())
        return {};
    const qsizetype open = page.indexOf(QLatin1Char('>'), at);
    const qsizetype close = open < 0 ? -1 : page.indexOf(QStringLiteral("</") + name, open, Qt::CaseInsensitive);
    if (close < 0 || close - open > kMaxPriceElement)
        return {};
    QString text;
    bool inTag = false;
    for (QChar c : QStringView(page).mid(open + 1, close - open - 1)) {
        if (c == QLatin1Char('<'))
            inTag = true;
        else if (c == QLatin1Char('>'))
            inTag = false;
        else if (!inTag && !c.isSpace())
            text += c;
    }
    for (const char *sign : {"&yen;", "&#165;", "&#xa5;", "&#xA5;", "&nbsp;", "\u00a5", "\uffe5", "\u5143"})
        text.remove(QString::fromUtf8(sign));
    return text;
}

} // namespace

bool isItemId(const QString &text)
{
    if (text.isEmpty() || text.size() > kMaxItemIdDigits)
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

QString manualItemId(const QString &address)
{
    // An address with more parameters after the ID is refused along with the malformed ones.
    const qsizetype at = address.indexOf(QStringLiteral("id="));
    if (address.size() < 8 || address.contains(QLatin1Char('&')) || at < 0)
        return {};
    const QString id = address.mid(at + 3);
    if (!isItemId(id))
        return {};
    // Only what the marketplace's item pages are: no file, no other host, nothing to smuggle in.
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || !outside::itemHosts.contains(url.host().toLower()) || url.port() != -1 || !url.userInfo().isEmpty()
        || url.path() != QLatin1String("/item.htm") || url.query() != QStringLiteral("id=") + id || url.hasFragment())
        return {};
    return id;
}

bool isUnavailable(const QString &page)
{
    return page.contains(outside::unavailableText1) || page.contains(outside::unavailableText2);
}

bool isItemPage(const QString &page)
{
    return page.contains(QStringLiteral("<title>"))
           && (page.contains(outside::descriptionMarker) || page.contains(outside::keywordsMarker));
}

ItemTexts parseDetail(const QString &page, const RuleSet &rules)
{
    ItemTexts t;
    const QString quote = QStringLiteral("\"");

    QString title = box(getbetween(page, QStringLiteral("<title>"), QStringLiteral("</title>"))
                            .remove(outside::titleSuffixShop));
    title = quotes(title.remove(outside::titleSuffixMall));
    t.web_title = applyrules(title, rules.title);

    QString doc = box(getbetween(page, outside::descriptionMarker, quote));
    doc = quotes(doc.remove(outside::descriptionBoilerplate));
    t.web_doc = applyrules(doc, rules.doc);

    QString key = box(getbetween(page, outside::keywordsMarker, quote).remove(outside::keywordsBoilerplate));
    t.web_key = applyrules(quotes(key), rules.key);

    const QString prefix = outside::descriptionPrefix();
    const QString quoted = getbetween(page, QLatin1Char('\'') + prefix, QStringLiteral("'"));
    const QString loose = quoted.isEmpty() ? looseDescriptionAddress(page) : QString();
    t.web_url = loose.isEmpty() ? prefix + quoted : loose;

    t.web_content = getbetween(page, outside::attributesMarker, QStringLiteral("</ul>")).remove(QStringLiteral("\r\n"));
    return t;
}

QString leadingNumber(const QString &text)
{
    // A sign, digits and one decimal point, as far as they go.
    qsizetype i = 0;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        ++i;
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isDigit() && c.unicode() < 128)
            digits = true;
        else if (c == QLatin1Char('.') && !point)
            point = true;
        else
            break;
    }
    if (!digits)
        return QStringLiteral("0");
    bool ok = false;
    const double value = text.left(i).toDouble(&ok);
    return ok ? QString::number(value, 'g', 15) : QStringLiteral("0");
}

ListedItem parseListFields(const QString &page)
{
    ListedItem l;
    QString heading = getbetween(page, QStringLiteral("<h3>"), QStringLiteral("</h3>"));
    // A later page's heading carries attributes of its own.
    if (!page.contains(QStringLiteral("<h3>"))) {
        const qsizetype h3 = page.indexOf(QStringLiteral("<h3 "));
        const qsizetype open = h3 < 0 ? -1 : page.indexOf(QLatin1Char('>'), h3);
        if (open >= 0)
            heading = getbetween(page.mid(open), QStringLiteral(">"), QStringLiteral("</h3>"));
    }
    l.title = oneLine(heading);
    QString price = getbetween(page, outside::priceMarker, QStringLiteral("元"));
    price.remove(QLatin1Char('>')).remove(QLatin1Char('<'));
    l.money = leadingNumber(oneLine(price));
    if (l.money == QLatin1String("0"))
        l.money = leadingNumber(priceText(page));
    const qsizetype booth = page.indexOf(QStringLiteral("J_ImgBooth"));
    l.web_pic = pictureOf(getbetween(page, outside::pictureMarker, QStringLiteral("\"")),
                          booth < 0 ? QString() : tagAround(page, booth));
    return l;
}

ListPage parseListPage(const QString &text, int page)
{
    ListPage p;
    if (!text.contains(outside::pageInfoMarker))
        return p;
    p.ok = true;
    const QString info = getbetween(text, outside::pageInfoMarker, QStringLiteral("<"));
    const qsizetype slash = info.indexOf(QLatin1Char('/'));
    const QString count = (slash < 0 ? info : info.mid(slash + 1)).trimmed();
    bool numeric = false;
    const int n = count.toInt(&numeric);
    // The page counter is a 16-bit number; a larger count is not a shop's but a broken page's.
    p.countOk = numeric && n >= 0 && n <= kMaxPageCount;
    p.pageCount = p.countOk ? n : 0;

    const QString quote = QStringLiteral("\"");
    qsizetype from = text.indexOf(outside::itemBlockSeparator);
    for (int i = 1; from >= 0; ++i) {
        from += outside::itemBlockSeparator.size();
        const qsizetype next = text.indexOf(outside::itemBlockSeparator, from);
        const QString block = text.mid(from, next < 0 ? -1 : next - from);
        from = next;

        ListedItem l;
        l.item = getbetween(block, QStringLiteral("id="), QStringLiteral("&"));
        if (l.item.isEmpty())
            l.item = getbetween(block, QStringLiteral("id="), quote);
        if (!isItemId(l.item) || i > kMaxItemsPerPage)
            break;
        const qsizetype src = block.indexOf(outside::listPictureMarker);
        const qsizetype img = src >= 0 ? src : block.indexOf(QStringLiteral("<img"), 0, Qt::CaseInsensitive);
        l.web_pic = pictureOf(getbetween(block, outside::listPictureMarker, quote),
                              img < 0 ? QString() : tagAround(block, img + 1));
        l.title = oneLine(getbetween(block, outside::listTitleMarker, QStringLiteral("<")));
        // A grid whose links carry more attributes after the class still has its titles.
        const qsizetype link = l.title.isEmpty() ? block.indexOf(QStringLiteral("permalink\"")) : -1;
        const qsizetype linkEnd = link < 0 ? -1 : block.indexOf(QLatin1Char('>'), link);
        if (linkEnd >= 0)
            l.title = oneLine(getbetween(block.mid(linkEnd), QStringLiteral(">"), QStringLiteral("<")));
        l.money = getbetween(block, QStringLiteral("<strong>"), QStringLiteral("<"))
                      .remove(QLatin1Char(' '))
                      .remove(QStringLiteral("元"));
        l.byid = qint64(page - 1) * kMaxItemsPerPage + i;
        p.items << l;
    }
    return p;
}
