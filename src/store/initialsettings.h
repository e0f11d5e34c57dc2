#pragma once

#include <QString>

// What the settings page shows before any settings row is loaded, and what a new
// profile's settings row starts with. The demo site is the one the simulator serves.
namespace initial {
inline const QString webServer = QStringLiteral("mirror.velorix.test");
inline const QString webUser = QStringLiteral("demoadmin");
inline const QString webPass = QStringLiteral("plumo");
inline const QString webAdminPath = QStringLiteral("admin");
}
