#pragma once

#include <QString>

// Everything the program knows of the outside services: hosts, paths, fixed texts and
// the markers it relies on in their replies. The other modules take them from here.
namespace outside {

// Marketplace hosts.
inline const QString itemHost = QStringLiteral("item.taobao.com");
inline const QString descHost = QStringLiteral("dsc.taobaocdn.com");
inline const QString imageDomainSuffix = QStringLiteral(".taobaocdn.com");
inline const QString apiToolHost = QStringLiteral("api.taobao.com");
inline const QString mallDomain = QStringLiteral("tmall.com");

// "http://" + item host + "/item.htm?id=" + the item ID.
QString itemPageAddress(const QString &itemId);

} // namespace outside
