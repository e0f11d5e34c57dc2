#pragma once

// What the fuzz targets build their cases from and check them by: the fields of an input, the
// encodings, and the properties of a clean text.
#include <QByteArray>
#include <QList>
#include <QString>

namespace fuzz {

// Separates the leading fields of an input (markers, a limit, a page number) from the rest.
constexpr char kSep = '\x1f';

// The first n - 1 fields up to each kSep, the last one everything after; missing fields empty.
QList<QByteArray> fields(const QByteArray &input, int n);
QByteArray joined(const QList<QByteArray> &parts);
QByteArray gbk(const QString &text);
QString fromGbk(const QByteArray &bytes);
// A marketplace page as the fetch service reads one whose reply names no charset: in the one
// its own <meta> names, else GBK.
QString served(const QByteArray &bytes);
// Typed text: UTF-8 after an even first byte; after an odd one raw UTF-16 units, so lone
// surrogate halves (which no decoder yields) reach the code too.
QString typedText(const QByteArray &input);
// Both forms of typedText for each fixture.
QList<QByteArray> typedSeeds(const QList<QByteArray> &fixtures);
QByteArray le(quint64 value, int bytes);
quint64 fromLe(const QByteArray &bytes, int n);
// A strict UTF-8 check (shortest forms only, no surrogates, nothing past U+10FFFF), written
// here so the decoder is not checked against itself.
bool strictUtf8(const QByteArray &b);
bool noLineBreaksOrTabs(const QString &s);
bool trimmedOfBlanks(const QString &s);
// "0", or a finite number written without trailing zeros.
bool plainNumber(const QString &s);
QList<QByteArray> pageMarkers();
QList<QByteArray> asIs(const QList<QByteArray> &fixtures);

} // namespace fuzz
