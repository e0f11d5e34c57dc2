#pragma once

#include <QByteArray>
#include <optional>

// A gzip, zlib or raw deflate body, unpacked; nullopt when it is none of them or broken.
std::optional<QByteArray> inflateBody(const QByteArray &body);

// Packs a body as gzip (gzip = true) or as zlib-wrapped deflate.
QByteArray deflateBody(const QByteArray &body, bool gzip);
