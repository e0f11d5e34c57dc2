#pragma once

#include <QIcon>
#include <QLocale>

// What every window of the program shares: its names, its icon and Qt's own texts in the
// operator's language.
namespace appsetup {

// The program's icon, drawn at the sizes a desktop asks for.
QIcon programIcon();

// The program speaks Chinese: a Chinese locale is taken as it is, any other gives zh_CN.
QLocale uiLocale(const QLocale &system = QLocale::system());

// Loads Qt's own translations (message box buttons, a text box's context menu, the dialogs)
// for the locale, else for zh_CN; false when neither can be found.
bool installQtTranslations(const QLocale &locale);

// Names, icon and translations, before the first window opens.
void setup();

} // namespace appsetup
