#pragma once

#include <QColor>
#include <QPainter>
#include <QPixmap>
#include <QRect>

#include <litehtml.h>

struct THtmlFont;

// Drawing of the renderer's boxes with QPainter.
namespace htmlpaint {

// Coordinates the renderer computes can be anything; Qt's are kept well within int.
constexpr long long kCoordinateLimit = 1 << 24;
inline int Coordinate(long long value) {
    return static_cast<int>(value < -kCoordinateLimit
                                ? -kCoordinateLimit
                                : (value > kCoordinateLimit ? kCoordinateLimit : value));
}

QColor ToColor(const litehtml::web_color& color);
QRect ToRect(const litehtml::position& position);

// A background colour and picture (repeat and position as the renderer computed them). The root
// background covers the whole canvas. The picture is drawn through a brush transform, so a huge
// background size never needs a scaled copy of it.
void DrawBackground(QPainter& painter, const litehtml::background_paint& background, const QPixmap& picture,
                    const QRect& canvas);

// The four borders of a box with their styles, colours and corner radii.
void DrawBorders(QPainter& painter, const litehtml::borders& borders, const litehtml::position& box);

// A bullet, a numbered marker or a marker picture. A number of a right-to-left item starts a little
// after the item's text and reads from the right (".3").
void DrawListMarker(QPainter& painter, const litehtml::list_marker& marker, const QPixmap& picture,
                    THtmlFont* font, bool rightToLeft = false);

// The marker text of a numbered list item ("3.", "c.", "iv."); empty for bullets.
QString MarkerText(litehtml::list_style_type type, int index);

// Clipping to a box (rounded by the radii); every PushClip is paired with a PopClip.
void PushClip(QPainter& painter, const litehtml::position& box, const litehtml::border_radiuses& radii,
              bool validX, bool validY);
void PopClip(QPainter& painter);

QPainterPath RoundedPath(const QRectF& rect, const litehtml::border_radiuses& radii);

}  // namespace htmlpaint
