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
