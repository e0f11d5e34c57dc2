#include "collect/itemparser.h"
#include "outside/outside.h"
#include "web/text.h"

#include <QUrl>

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
    t.web_url = prefix + getbetween(page, QLatin1Char('\'') + prefix, QStringLiteral("'"));

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
    l.title = oneLine(getbetween(page, QStringLiteral("<h3>"), QStringLiteral("</h3>")));
    QString price = getbetween(page, outside::priceMarker, QStringLiteral("元"));
    price.remove(QLatin1Char('>')).remove(QLatin1Char('<'));
    l.money = leadingNumber(oneLine(price));
    l.web_pic = getbetween(page, outside::pictureMarker, QStringLiteral("\""));
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
        l.web_pic = getbetween(block, outside::listPictureMarker, quote);
        l.title = oneLine(getbetween(block, outside::listTitleMarker, QStringLiteral("<")));
        l.money = getbetween(block, QStringLiteral("<strong>"), QStringLiteral("<"))
                      .remove(QLatin1Char(' '))
                      .remove(QStringLiteral("元"));
        l.byid = qint64(page - 1) * kMaxItemsPerPage + i;
        p.items << l;
    }
    return p;
}
