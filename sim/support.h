#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// Small pieces the simulator's roles share.
namespace sim {

// Text in the GBK bytes the simulated Chinese sites serve.
QByteArray gb(const QString &text);
// Text made safe for HTML markup and attribute values.
QString html(QString text);
// A stable 32-bit number for a text, for seeded choices and made-up identifiers.
quint32 hashOf(const QString &text);

enum class Charset { Gbk, Utf8 };
// A percent-encoded query or form value in the charset its sender encodes it in.
QString decodeValue(QByteArray value, Charset charset, bool plusIsSpace);
// An application/x-www-form-urlencoded body or query: name -> value.
QMap<QString, QString> parseForm(const QByteArray &form, Charset charset);

} // namespace sim
