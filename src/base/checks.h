#pragma once

#include "rules/rules.h"

#include <QString>

// The first failing check of a form: its message and the control to focus (its objectName;
// empty: none). An empty message means every check passed.
struct FieldCheck {
    QString message;
    QString focus;
    bool ok() const { return message.isEmpty(); }
};

// The site-settings save checks. The site domain loses one trailing "/" first (the caller
// writes the shortened text back into its box, whatever the outcome); it must then be a host
// name, optionally with a port and a path, as every address to the site is built from it.
FieldCheck checkSiteSettings(const QString &user, const QString &pass, QString &server);

// The values that go into requests unchanged, checked before they are kept: the publisher ID
// and the shop's seller ID are digits (or nothing), the shop address a host name (or nothing).
FieldCheck checkPublisherId(const QString &pid);
FieldCheck checkShopSid(const QString &sid);
FieldCheck checkShopAddress(const QString &shop);

// A host name, optionally ":port", optionally followed by a path, with nothing in it that could
// end or bend an address (blanks, control characters, "?", "#", "\", "@").
bool isSiteAddress(const QString &text, bool pathAllowed);

// The two address boxes keep bare host names: an "http://" prefix is thrown away.
// The text the box holds after a change, and after it loses the focus.
QString normaliseOnChange(const QString &text);
QString normaliseOnLeave(const QString &text);

// "http://" + the box's text for the open buttons, or empty when the box is too short.
QString browserAddress(const QString &box);

// The item editor's save checks; tag is the editor's current row ("0": none).
FieldCheck checkEdit(const QString &tag, const QString &title, const QString &doc, const QString &key);

// The rules save: each ticked switch needs its find or add text, and no rule text may hold a
// control character.
FieldCheck checkrules(const RuleSet &rules);
