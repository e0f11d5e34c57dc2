#pragma once

#include "rules/rules.h"
#include "store/profiledb.h"

// Reading the marketplace's pages: pure functions of the page text (and the rules in force),
// so they end on any input and can be checked case by case.

// An item page that says the item is gone or hidden.
bool isUnavailable(const QString &page);

// A page with what every item page has (its title and its description or keywords), so that an
// error page or another site's page that came with "200 OK" is not stored as an item.
bool isItemPage(const QString &page);

// The page title, description, keywords (each cleaned, rewritten by its rule group and cut as
// the work boxes cut), the description document's address and the attribute list. The
// description address is the one in single quotes after the description prefix; a page
// without it may give it in double quotes, without its scheme or with JSON's escaped slashes,
// and an address on any other host is none (the prefix alone).
ItemTexts parseDetail(const QString &page, const RuleSet &rules);

// What a page read by hand gives for the list columns: its heading (whatever attributes it
// carries), its price as a number (read from the element's text when tags wrap the figures),
// its main picture (the address a lazy-loading page puts beside a placeholder src; "//"
// addresses as http).
ListedItem parseListFields(const QString &page);

// The leading number of a text as a number ("128.00</strong>" gives 128), 0 when it does not
// begin with one; written without trailing zeros.
QString leadingNumber(const QString &text);

// No shop lists more pages than this (the page counter's range).
constexpr int kMaxPageCount = 32767;

// One page of the shop's item list. A block's picture and title are read as parseListFields
// reads the picture, and whatever attributes follow the title link's class.
struct ListPage {
    bool ok = false;          // the page carries the page-info marker
    bool countOk = false;     // and its page count is a number
    int pageCount = 0;
    QList<ListedItem> items;  // at most 20, in page order; byid from the page number
};
ListPage parseListPage(const QString &text, int page);

// A marketplace item ID: a run of decimal digits.
bool isItemId(const QString &text);

// The item ID of an address typed for the manual add, empty when it is not one: an http or https
// address of an item page on the marketplace's item hosts whose query is "id=" and the digits of
// the ID, nothing after them.
QString manualItemId(const QString &address);
