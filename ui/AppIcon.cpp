#include "ui/AppIcon.h"

#include <cmath>

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

namespace quernfold {

namespace {

/** The page: a sheet with its top right corner folded over and three lines of text. */
void DrawPage(QPainter& painter, double s) {
    const double left = 0.30 * s, top = 0.12 * s, right = 0.84 * s, bottom = 0.80 * s, fold = 0.18 * s;
    QPainterPath sheet;
    sheet.moveTo(left, top);
    sheet.lineTo(right - fold, top);
    sheet.lineTo(right, top + fold);
    sheet.lineTo(right, bottom);
    sheet.lineTo(left, bottom);
    sheet.closeSubpath();
    painter.setPen(QPen(QColor(40, 60, 90), std::max(1.0, s / 40)));
    painter.setBrush(QColor(250, 250, 245));
    painter.drawPath(sheet);

    QPainterPath corner;
    corner.moveTo(right - fold, top);
    corner.lineTo(right - fold, top + fold);
    corner.lineTo(right, top + fold);
    corner.closeSubpath();
    painter.setBrush(QColor(200, 210, 225));
    painter.drawPath(corner);

    painter.setPen(QPen(QColor(70, 120, 200), std::max(1.0, s / 22), Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
        const double y = top + fold + (0.10 + 0.11 * i) * s;
        painter.drawLine(QPointF(0.52 * s, y), QPointF(right - 0.07 * s, y));
    }
}

/** The quern: a round stone with its eye in the middle and the grooves that grind. */
void DrawMillstone(QPainter& painter, double s) {
    const QPointF centre(0.34 * s, 0.64 * s);
    const double radius = 0.28 * s;
    QRadialGradient stone(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    stone.setColorAt(0.0, QColor(215, 205, 190));
    stone.setColorAt(1.0, QColor(120, 110, 98));
    painter.setPen(QPen(QColor(70, 62, 55), std::max(1.0, s / 35)));
    painter.setBrush(stone);
    painter.drawEllipse(centre, radius, radius);

    painter.setPen(QPen(QColor(90, 80, 70), std::max(1.0, s / 45)));
    const double eye = 0.07 * s;
    for (int i = 0; i < 6; ++i) {
        const double angle = i * 3.14159265358979 / 3 + 0.3;
        const QPointF direction(std::cos(angle), std::sin(angle));
        painter.drawLine(centre + direction * (eye * 1.3), centre + direction * (radius * 0.85));
    }
    painter.setBrush(QColor(50, 45, 40));
    painter.drawEllipse(centre, eye, eye);
}

}  // namespace

QImage DrawProductPicture(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size;

    QLinearGradient sky(0, 0, 0, s);
    sky.setColorAt(0.0, QColor(60, 130, 210));
    sky.setColorAt(1.0, QColor(25, 70, 140));
    painter.setPen(Qt::NoPen);
    painter.setBrush(sky);
    painter.drawRoundedRect(QRectF(0, 0, s, s), 0.16 * s, 0.16 * s);

    DrawPage(painter, s);
    DrawMillstone(painter, s);
    return image;
}

QIcon ProductIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(QPixmap::fromImage(DrawProductPicture(size)));
    }
    return icon;
}

}  // namespace quernfold
