#include "web/md5.h"
#include "web/text.h"

#include <array>
#include <cstdint>
#include <vector>

namespace {

constexpr std::array<uint32_t, 64> K = [] {
    std::array<uint32_t, 64> k{};
    const uint32_t v[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
        0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
        0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
        0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
        0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
        0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
        0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
    for (int i = 0; i < 64; ++i)
        k[i] = v[i];
    return k;
}();

constexpr int S[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                       5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                       4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                       6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

uint32_t rotl(uint32_t x, int c)
{
    return (x << c) | (x >> (32 - c));
}

// A character's code as the message byte of its position: one GBK byte as is, a two-byte
// code as a signed 16-bit number widened with its sign.
int32_t charCode(QChar c)
{
    const QByteArray b = gbkBytes(QString(c));
    if (b.size() >= 2)
        return int32_t(int16_t(uint16_t((uchar(b[0]) << 8) | uchar(b[1]))));
    return b.isEmpty() ? '?' : uchar(b[0]);
}

// The message words: one byte position per character, the 0x80 end mark, zero padding to
// 56 bytes mod 64, and the length in bits (characters x 8) in the last two words.
std::vector<uint32_t> wordArray(const QString &text)
{
    const size_t n = size_t(text.size());
    const size_t words = (((n + 8) / 64) + 1) * 16;
    std::vector<uint32_t> w(words, 0);
    for (size_t i = 0; i < n; ++i) {
        const uint32_t code = uint32_t(charCode(text.at(qsizetype(i))));
        w[i / 4] |= code << ((i % 4) * 8);
    }
    w[n / 4] |= uint32_t(0x80) << ((n % 4) * 8);
    const uint64_t bits = uint64_t(n) * 8;
    w[words - 2] = uint32_t(bits);
    w[words - 1] = uint32_t(bits >> 32);
    return w;
}

} // namespace

QString md5(const QString &text)
{
    const std::vector<uint32_t> m = wordArray(text);
    uint32_t a0 = 0x67452301, b0 = 0xefcdab89, c0 = 0x98badcfe, d0 = 0x10325476;
    for (size_t block = 0; block < m.size(); block += 16) {
        uint32_t a = a0, b = b0, c = c0, d = d0;
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            const uint32_t next = d;
            d = c;
            c = b;
            b = b + rotl(a + f + K[i] + m[block + g], S[i]);
            a = next;
        }
        a0 += a;
        b0 += b;
        c0 += c;
        d0 += d;
    }
    QString out;
    for (uint32_t v : {a0, b0, c0, d0})
        for (int byte = 0; byte < 4; ++byte)
            out += QStringLiteral("%1").arg((v >> (8 * byte)) & 0xff, 2, 16, QLatin1Char('0'));
    return out;
}

QString splitmd5(const QString &text)
{
    if (text.isEmpty())
        return {};
    QString reversed(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        reversed[i] = text.at(text.size() - 1 - i);
    const qsizetype half = reversed.size() / 2;
    return md5(md5(reversed.left(half)) + md5(reversed.mid(half)));
}
