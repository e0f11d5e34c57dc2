#pragma once

#include <QString>

#include <iterator>

// The three page texts are built in edit boxes that take at most this many characters;
// whatever is written into them is cut to it.
constexpr int kWorkTextLimit = 250;

// Characters as the operator sees them: a character outside the basic plane (an emoji) is one
// character, though it takes two UTF-16 units.
int textLength(const QString &text);
// The first n characters of a text; a cut never splits a character into half a pair.
QString cutText(const QString &text, int n);

// The replace rule and add rule of one page text, as the rule controls hold them now.
struct RuleGroup {
    bool replaceOn = false;
    QString find;
    QString replacement;
    bool addOn = false;
    QString addText;
    bool addBefore = false;   // the "标题前" option; otherwise the text goes after
};

// Applies a group to a work text: the replace rule first, then the add rule, each result
// cut to the work-text limit as the box would cut it.
QString applyrules(const QString &text, const RuleGroup &group);

// The rules of the three page texts.
struct RuleSet {
    RuleGroup title, doc, key;
};

// Where each group is kept in the settings row, and the names of its controls: three switches,
// <switches>_1 to _3 (replace on, add on, add position), and three texts, <texts>_1 to _3 (find,
// replacement, add text). In the settings row's order.
struct RuleColumns {
    RuleGroup RuleSet::*group;
    const char *switches, *texts;
    const char *name;   // how the operator's messages name the group

    QString switchColumn(int n) const { return QString::fromLatin1(switches) + QLatin1Char('_') + QString::number(n); }
    QString textColumn(int n) const { return QString::fromLatin1(texts) + QLatin1Char('_') + QString::number(n); }
};
inline constexpr RuleColumns kRuleColumns[] = {
    {&RuleSet::title, "t", "ttx", "标题"},
    {&RuleSet::doc, "d", "dtx", "页面描述"},
    {&RuleSet::key, "k", "ktx", "关键词"},
};
static_assert(std::size(kRuleColumns) == 3, "one entry for each group of a RuleSet");
// The groups as the rules page shows them, top to bottom.
inline constexpr RuleGroup RuleSet::*kRulePageOrder[] = {&RuleSet::title, &RuleSet::key, &RuleSet::doc};
inline const RuleColumns &columnsOf(RuleGroup RuleSet::*group)
{
    for (const RuleColumns &c : kRuleColumns)
        if (c.group == group)
            return c;
    Q_UNREACHABLE();
}
