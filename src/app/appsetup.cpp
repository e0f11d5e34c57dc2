#include "app/appsetup.h"

#include <QApplication>
#include <QImage>
#include <QLibraryInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTranslator>

namespace {

// The icon of the package's menu entry, drawn on a 64 × 64 grid: the shop's item, an arrow,
// its mirrored copy, and a V below.
void paintIcon(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0xa6));
    p.drawRoundedRect(QRectF(4, 4, 56, 56), 11, 11);
    QPainterPath top;
    top.moveTo(15, 4);
    top.lineTo(49, 4);
    top.arcTo(QRectF(38, 4, 22, 22), 90, -90);
    top.lineTo(60, 32);
    top.lineTo(4, 32);
    top.lineTo(4, 15);
    top.arcTo(QRectF(4, 4, 22, 22), 180, -90);
    top.closeSubpath();
    p.fillPath(top, QColor(0x2f, 0x80, 0xd1));

    const QColor white(Qt::white), orange(0xf0, 0xa0, 0x30);
    for (int copy = 0; copy < 2; ++copy) {
        const qreal x = copy ? 26 : 0;
        p.setOpacity(copy ? 0.55 : 1.0);
        p.setBrush(white);
        p.drawRoundedRect(QRectF(11 + x, 13, 16, 20), 2.5, 2.5);
        p.setOpacity(copy ? 0.8 : 1.0);
        p.setBrush(orange);
        p.drawRoundedRect(QRectF(14 + x, 17, 10, 7), 1, 1);
        p.setOpacity(1.0);
        p.setPen(QPen(QColor(0x1a, 0x4f, 0x8c), 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(14 + x, 27), QPointF(24 + x, 27));
        p.drawLine(QPointF(14 + x, 30), QPointF(21 + x, 30));
        p.setPen(Qt::NoPen);
    }
    p.setPen(QPen(white, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(28.5, 23), QPointF(35, 23));
    p.setPen(Qt::NoPen);
    p.setBrush(white);
    p.drawPolygon(QPolygonF({QPointF(33, 19.5), QPointF(37, 23), QPointF(33, 26.5)}));
    p.drawPolygon(QPolygonF({QPointF(17, 38), QPointF(24.5, 38), QPointF(32, 52), QPointF(39.5, 38), QPointF(47, 38),
                             QPointF(35.5, 57), QPointF(28.5, 57)}));
}

bool load(const QLocale &locale)
{
    auto *t = new QTranslator(QCoreApplication::instance());
    if (!t->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    QCoreApplication::installTranslator(t);
    return true;
}

} // namespace

QIcon appsetup::programIcon()
{
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256}) {
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.scale(side / 64.0, side / 64.0);
        paintIcon(p);
        p.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

QLocale appsetup::uiLocale(const QLocale &system)
{
    return system.language() == QLocale::Chinese ? system : QLocale(QLocale::Chinese, QLocale::China);
}

bool appsetup::installQtTranslations(const QLocale &locale)
{
    return load(locale) || load(QLocale(QLocale::Chinese, QLocale::China));
}

void appsetup::setup()
{
    QApplication::setApplicationName(QStringLiteral("Velorix"));
    QApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QApplication::setWindowIcon(programIcon());
    const QLocale locale = uiLocale();
    QLocale::setDefault(locale);
    if (!installQtTranslations(locale))
        qWarning("Qt's Chinese texts (qtbase_zh_CN.qm) were not found in %s",
                 qPrintable(QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
}
