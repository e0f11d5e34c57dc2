#include "web/inflate.h"

#include <zlib.h>

namespace {

std::optional<QByteArray> run(const QByteArray &body, int windowBits)
{
    z_stream zs{};
    if (inflateInit2(&zs, windowBits) != Z_OK)
        return std::nullopt;
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.constData()));
    zs.avail_in = uInt(body.size());
    QByteArray out;
    char buffer[16384];
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_out = reinterpret_cast<Bytef *>(buffer);
        zs.avail_out = sizeof buffer;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END)
            break;
        out.append(buffer, qsizetype(sizeof buffer - zs.avail_out));
        if (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0)
            break;   // input ended before the stream did
    }
    inflateEnd(&zs);
    if (rc != Z_STREAM_END)
        return std::nullopt;
    return out;
}

} // namespace

std::optional<QByteArray> inflateBody(const QByteArray &body)
{
    // 15 + 32: gzip or zlib, told apart by the header; servers that say "deflate" often
    // send a raw deflate stream without the zlib header, so that is tried last.
    if (auto out = run(body, 15 + 32))
        return out;
    return run(body, -15);
}

QByteArray deflateBody(const QByteArray &body, bool gzip)
{
    z_stream zs{};
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, gzip ? 15 + 16 : 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(qsizetype(deflateBound(&zs, uLong(body.size()))) + 32, Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.constData()));
    zs.avail_in = uInt(body.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(qsizetype(zs.total_out));
    deflateEnd(&zs);
    return out;
}
