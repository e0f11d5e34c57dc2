#include "sim/support.h"
#include "web/text.h"

#include <QCryptographicHash>
#include <QStringDecoder>

namespace sim {

QByteArray gb(const QString &text)
{
    return gbkBytes(text);
}

QString html(QString text)
{
    return text.replace('&', "&amp;").replace('<', "&lt;").replace('>', "&gt;").replace('"', "&quot;");
}

quint32 hashOf(const QString &text)
{
    const QByteArray h = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5);
    return quint32(uchar(h[0])) | quint32(uchar(h[1])) << 8 | quint32(uchar(h[2])) << 16 | quint32(uchar(h[3])) << 24;
}

QString decodeValue(QByteArray value, Charset charset, bool plusIsSpace)
{
    if (plusIsSpace)
        value.replace('+', ' ');
    const QByteArray bytes = QByteArray::fromPercentEncoding(value);
    // No guessing from the bytes: many GBK texts are valid UTF-8 as well (女装 reads as "Ůװ").
    QStringDecoder decoder = charset == Charset::Utf8
                                 ? QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless)
                                 : QStringDecoder("GBK");
    return decoder.decode(bytes);
}

QMap<QString, QString> parseForm(const QByteArray &form, Charset charset)
{
    QMap<QString, QString> fields;
    for (const QByteArray &pair : form.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype eq = pair.indexOf('=');
        const QByteArray key = eq < 0 ? pair : pair.left(eq);
        fields.insert(QString::fromLatin1(key), eq < 0 ? QString() : decodeValue(pair.mid(eq + 1), charset, true));
    }
    return fields;
}

} // namespace sim
