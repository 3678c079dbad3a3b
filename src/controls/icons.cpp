#include "controls/icons.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace bankprep {

namespace {

constexpr int kSize = 32;

QPixmap canvas()
{
    QPixmap pm(kSize, kSize);
    pm.fill(Qt::transparent);
    return pm;
}

QPolygonF triangle(qreal x, bool pointsLeft)
{
    const qreal w = 9;
    if (pointsLeft)
        return QPolygonF({QPointF(x + w, 7), QPointF(x, 16), QPointF(x + w, 25)});
    return QPolygonF({QPointF(x, 7), QPointF(x + w, 16), QPointF(x, 25)});
}

} // namespace

QIcon glyphIcon(const QString& glyph, const QColor& tile)
{
    QPixmap pm = canvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(1, 1, kSize - 2, kSize - 2), 6, 6);
    QFont f;
    f.setPixelSize(20);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, kSize, kSize), Qt::AlignCenter, glyph);
    p.end();
    QIcon icon(pm);
    // A disabled command shows a grey tile.
    QPixmap grey = canvas();
    QPainter g(&grey);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(0xc8, 0xc8, 0xc8));
    g.drawRoundedRect(QRectF(1, 1, kSize - 2, kSize - 2), 6, 6);
    g.setFont(f);
    g.setPen(QColor(0xf4, 0xf4, 0xf4));
    g.drawText(QRect(0, 0, kSize, kSize), Qt::AlignCenter, glyph);
    g.end();
    icon.addPixmap(grey, QIcon::Disabled);
    return icon;
}

namespace {

// The glyphs that move the current row; false for any other.
bool drawMoveGlyph(QPainter& p, NavGlyph glyph)
{
    switch (glyph) {
    case NavGlyph::First:
        p.drawLine(QPointF(8, 7), QPointF(8, 25));
        p.drawPolygon(triangle(12, true));
        break;
    case NavGlyph::Prior10:
        p.drawPolygon(triangle(6, true));
        p.drawPolygon(triangle(16, true));
        break;
    case NavGlyph::Prior:
        p.drawPolygon(triangle(11, true));
        break;
    case NavGlyph::Next:
        p.drawPolygon(triangle(12, false));
        break;
    case NavGlyph::Next10:
        p.drawPolygon(triangle(7, false));
        p.drawPolygon(triangle(17, false));
        break;
    case NavGlyph::Last:
        p.drawPolygon(triangle(11, false));
        p.drawLine(QPointF(24, 7), QPointF(24, 25));
        break;
    default:
        return false;
    }
    return true;
}

// The glyphs that edit, store, re-read or mark rows.
void drawEditGlyph(QPainter& p, NavGlyph glyph, const QColor& ink)
{
    switch (glyph) {
    case NavGlyph::Insert:
        p.drawLine(QPointF(16, 7), QPointF(16, 25));
        p.drawLine(QPointF(7, 16), QPointF(25, 16));
        break;
    case NavGlyph::Delete:
        p.drawLine(QPointF(7, 16), QPointF(25, 16));
        break;
    case NavGlyph::Edit:
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(9, 23), QPointF(22, 10));
        p.drawLine(QPointF(8, 25), QPointF(12, 24));
        p.drawLine(QPointF(20, 8), QPointF(24, 12));
        break;
    case NavGlyph::Post:
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(7, 17), QPointF(13, 23), QPointF(25, 9)}));
        break;
    case NavGlyph::Cancel:
        p.drawLine(QPointF(9, 9), QPointF(23, 23));
        p.drawLine(QPointF(23, 9), QPointF(9, 23));
        break;
    case NavGlyph::Refresh:
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(8, 8, 16, 16), 30 * 16, 280 * 16);
        p.setBrush(ink);
        p.drawPolygon(QPolygonF({QPointF(20, 5), QPointF(26, 11), QPointF(19, 12)}));
        break;
    case NavGlyph::SetBookmark:
        p.drawPolygon(QPolygonF(
            {QPointF(10, 6), QPointF(22, 6), QPointF(22, 26), QPointF(16, 20), QPointF(10, 26)}));
        break;
    case NavGlyph::GotoBookmark:
        p.setBrush(Qt::NoBrush);
        p.drawPolygon(QPolygonF(
            {QPointF(10, 6), QPointF(22, 6), QPointF(22, 26), QPointF(16, 20), QPointF(10, 26)}));
        break;
    default:
        break;
    }
}

QPixmap navigatorPixmap(NavGlyph glyph, const QColor& ink)
{
    QPixmap pm = canvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(ink, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(ink);
    if (!drawMoveGlyph(p, glyph))
        drawEditGlyph(p, glyph, ink);
    p.end();
    return pm;
}

} // namespace

QIcon navigatorIcon(NavGlyph glyph)
{
    QIcon icon(navigatorPixmap(glyph, QColor(0x1f, 0x5f, 0xa8)));
    icon.addPixmap(navigatorPixmap(glyph, QColor(0xb8, 0xb8, 0xb8)), QIcon::Disabled);
    return icon;
}

} // namespace bankprep
