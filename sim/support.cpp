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

QString decodeValue(QByteArray value, bool plusIsSpace)
{
    if (plusIsSpace)
        value.replace('+', ' ');
    const QByteArray bytes = QByteArray::fromPercentEncoding(value);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder gbk("GBK");
    return gbk.decode(bytes);
}

QMap<QString, QString> parseForm(const QByteArray &form)
{
    QMap<QString, QString> fields;
    for (const QByteArray &pair : form.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype eq = pair.indexOf('=');
        const QByteArray key = eq < 0 ? pair : pair.left(eq);
        fields.insert(QString::fromLatin1(key), eq < 0 ? QString() : decodeValue(pair.mid(eq + 1), true));
    }
    return fields;
}

} // namespace sim
