#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// A gzip (one member or several, one after the other), zlib or raw deflate body, unpacked;
// nullopt when it is none of them, broken, cut short, followed by stray bytes, or would
// unpack to more than limit bytes. reason, when given, says which.
std::optional<QByteArray> inflateBody(const QByteArray &body, qsizetype limit, QString *reason = nullptr);

// Packs a body as gzip (gzip = true) or as zlib-wrapped deflate.
QByteArray deflateBody(const QByteArray &body, bool gzip);
