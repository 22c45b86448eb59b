// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace veltrane::gui {
namespace {

// One picture of the pair, drawn in the icon's 256-unit design grid with its top-left corner
// at (x, y): a white card, the picture in the eye's tint, a mountain and a sun.
void PaintPicture(QPainter& p, qreal x, qreal y, const QColor& tint, const QColor& mountain) {
    p.setPen(QPen(QColor(0x10, 0x24, 0x2F), 4));
    p.setBrush(QColor(0xFF, 0xFF, 0xFF));
    p.drawRoundedRect(QRectF(x, y, 124, 100), 12, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(tint);
    p.drawRect(QRectF(x + 10, y + 10, 104, 80));
    p.setBrush(mountain);
    const QPolygonF hills({QPointF(x + 10, y + 90), QPointF(x + 44, y + 44), QPointF(x + 64, y + 68),
                           QPointF(x + 82, y + 52), QPointF(x + 114, y + 90)});
    p.drawPolygon(hills);
    p.setBrush(QColor(0xFF, 0xE6, 0x8A));
    p.drawEllipse(QPointF(x + 92, y + 30), 10, 10);
}

}  // namespace

QImage AppIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    QLinearGradient tile(0, 16, 0, 240);
    tile.setColorAt(0, QColor(0x2E, 0x5E, 0x7E));
    tile.setColorAt(1, QColor(0x1B, 0x3A, 0x50));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(16, 16, 224, 224), 40, 40);

    PaintPicture(p, 40, 52, QColor(0xD9, 0x53, 0x4F), QColor(0x8E, 0x2C, 0x29));   // left eye
    PaintPicture(p, 92, 104, QColor(0x2B, 0xA3, 0xC4), QColor(0x17, 0x5E, 0x73));  // right eye
    p.end();
    return image;
}

QIcon AppIcon() {
    QIcon drawn;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) drawn.addPixmap(QPixmap::fromImage(AppIconImage(size)));
    return QIcon::fromTheme(QStringLiteral("veltrane"), drawn);
}

QIcon ExifWindowIcon() {
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x10, 0x3E, 0x7A), 1));
    p.setBrush(QColor(0x2A, 0x6F, 0xC9));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xFF, 0xFF));
    p.drawEllipse(QRectF(6.75, 3, 2.5, 2.5));
    p.drawRect(QRectF(6.75, 6.5, 2.5, 6.5));
    p.end();
    return QIcon(QPixmap::fromImage(image));
}

QPixmap CloseGlyph() {
    QImage image(20, 17, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The door frame, the open door leaf swung towards the viewer, and its knob.
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(QColor(0x20, 0x20, 0x20));
    p.drawRect(QRectF(5.5, 1.5, 10, 14));
    p.setPen(QPen(QColor(0x5A, 0x36, 0x12), 1));
    p.setBrush(QColor(0xB0, 0x72, 0x32));
    p.drawPolygon(QPolygonF({QPointF(5.5, 1.5), QPointF(11.5, 3.5), QPointF(11.5, 16.5), QPointF(5.5, 15.5)}));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xD7, 0x00));
    p.drawEllipse(QPointF(10, 9.5), 1, 1);
    p.end();
    return QPixmap::fromImage(image);
}

}  // namespace veltrane::gui
