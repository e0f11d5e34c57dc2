#include "rules/rules.h"

int textLength(const QString &text)
{
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++n)
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    return n;
}

QString cutText(const QString &text, int n)
{
    qsizetype i = 0;
    for (int chars = 0; i < text.size() && chars < n; ++i, ++chars)
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    return i == text.size() ? text : text.left(i);
}

QString applyrules(const QString &text, const RuleGroup &group)
{
    QString t = cutText(text, kWorkTextLimit);
    // QString::replace with an empty needle would insert between every character.
    if (group.replaceOn && !group.find.isEmpty())
        t = cutText(QString(t).replace(group.find, group.replacement, Qt::CaseSensitive), kWorkTextLimit);
    if (group.addOn)
        t = cutText(group.addBefore ? group.addText + t : t + group.addText, kWorkTextLimit);
    return t;
}

RuleCheck checkrules(const RuleSet &rules)
{
    const struct { bool on; const QString &box; const char *name; const char *message; } checks[] = {
        {rules.title.replaceOn, rules.title.find, "ttx_1", "标题中要查找的替换字符串不能为空"},
        {rules.title.addOn, rules.title.addText, "ttx_3", "标题中添加的字符串不能为空"},
        {rules.key.replaceOn, rules.key.find, "ktx_1", "关键词中要查找的替换字符串不能为空"},
        {rules.key.addOn, rules.key.addText, "ktx_3", "关键词中添加的字符串不能为空"},
        {rules.doc.replaceOn, rules.doc.find, "dtx_1", "页面描述中要查找的替换字符串不能为空"},
        {rules.doc.addOn, rules.doc.addText, "dtx_3", "页面描述中添加的字符串不能为空"},
    };
    for (const auto &c : checks)
        if (c.on && c.box.isEmpty())
            return {QString::fromUtf8(c.message), QString::fromLatin1(c.name)};
    // What the rules put into the page texts is published: no control character goes with it.
    const struct { const QString &box; const char *name; } texts[] = {
        {rules.title.find, "ttx_1"}, {rules.title.replacement, "ttx_2"}, {rules.title.addText, "ttx_3"},
        {rules.key.find, "ktx_1"},   {rules.key.replacement, "ktx_2"},   {rules.key.addText, "ktx_3"},
        {rules.doc.find, "dtx_1"},   {rules.doc.replacement, "dtx_2"},   {rules.doc.addText, "dtx_3"},
    };
    for (const auto &t : texts)
        for (QChar ch : t.box)
            if (ch.category() == QChar::Other_Control)
                return {QStringLiteral("替换规则中不能含有控制字符"), QString::fromLatin1(t.name)};
    return {};
}
