#pragma once

#include "store/profiledb.h"

#include <QString>
#include <optional>

// What one upload to the mirror site carries; pure functions of the stored row and the
// description document fetched for it.

// The description document cleaned for the site: the wrapper cut off (10 characters before,
// 3 after), escaping backslashes removed, line ends as CR LF, &nbsp; as spaces, image sources
// pointed at the site's own image page (in the folder the site lives in, outside::siteFolder)
// and the image CDN's domain masked. nullopt for a text too short to hold a wrapper: a
// document that could not be read, or a row never collected.
std::optional<QString> pagebody(const QString &document, const QString &siteFolder);

// The form record: the fields in their fixed order, every value through urlencode; the
// taokei field (the row's html column) only for an upload by hand.
QString uploadbody(const ItemRecord &row, const QString &pagebody, bool withTaokei);
