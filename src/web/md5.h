#pragma once

#include <QString>

// MD5 (RFC 1321) of a text taken one message byte per character: a character's value is
// its GBK code; a two-byte code counts as a signed 16-bit number, sign-extended and shifted
// into its byte's place of the 32-bit word. For ASCII this is the plain MD5 of the bytes.
// 32 lower-case hex digits.
QString md5(const QString &text);

// The digest the mirror site's login uses: the text reversed, split in two halves (the
// middle character goes right), md5 of the two halves' md5 texts joined. Empty for empty.
QString splitmd5(const QString &text);
