#pragma once

#include <QString>

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
