#include "htmlview/HtmlPainter.h"

#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>

#include "htmlview/HtmlFonts.h"

namespace htmlpaint {

namespace {

bool HasRadius(const litehtml::border_radiuses& r) {
    return r.top_left_x > 0 || r.top_left_y > 0 || r.top_right_x > 0 || r.top_right_y > 0 ||
           r.bottom_left_x > 0 || r.bottom_left_y > 0 || r.bottom_right_x > 0 || r.bottom_right_y > 0;
}

// A radius less a border width; radii from hostile styles can be any int.
int ShrunkRadius(int radius, double by) {
    const double value = static_cast<double>(radius) - by;
    return value <= 0 ? 0 : static_cast<int>(std::min(value, 1e7));
}

litehtml::border_radiuses Shrunk(const litehtml::border_radiuses& r, double left, double top, double right,
                                 double bottom) {
    litehtml::border_radiuses s = r;
    s.top_left_x = ShrunkRadius(r.top_left_x, left);
    s.top_left_y = ShrunkRadius(r.top_left_y, top);
    s.top_right_x = ShrunkRadius(r.top_right_x, right);
    s.top_right_y = ShrunkRadius(r.top_right_y, top);
    s.bottom_right_x = ShrunkRadius(r.bottom_right_x, right);
    s.bottom_right_y = ShrunkRadius(r.bottom_right_y, bottom);
    s.bottom_left_x = ShrunkRadius(r.bottom_left_x, left);
    s.bottom_left_y = ShrunkRadius(r.bottom_left_y, bottom);
    return s;
}

enum TSide { kLeft, kTop, kRight, kBottom };

// The colour of a 3-D border side: darker on the shaded sides.
QColor Shade(const QColor& color, bool dark) {
    if (dark) return color.darker(160);
    return color.lighter(130);
}

// The region of one side: the trapezoid between the outer and the inner edge, with the corner
// joins on the diagonals.
QPolygonF SidePolygon(TSide side, const QRectF& outer, const QRectF& inner) {
    switch (side) {
        case kTop: return QPolygonF({outer.topLeft(), outer.topRight(), inner.topRight(), inner.topLeft()});
        case kRight:
            return QPolygonF({outer.topRight(), outer.bottomRight(), inner.bottomRight(), inner.topRight()});
        case kBottom:
            return QPolygonF(
                {outer.bottomRight(), outer.bottomLeft(), inner.bottomLeft(), inner.bottomRight()});
        case kLeft:
            return QPolygonF({outer.bottomLeft(), outer.topLeft(), inner.topLeft(), inner.bottomLeft()});
    }
    return {};
}

// The wedge of one side towards the centre, for clipping rounded rings.
QPolygonF SideWedge(TSide side, const QRectF& outer) {
    const QPointF c = outer.center();
    switch (side) {
        case kTop: return QPolygonF({outer.topLeft(), outer.topRight(), c});
        case kRight: return QPolygonF({outer.topRight(), outer.bottomRight(), c});
        case kBottom: return QPolygonF({outer.bottomRight(), outer.bottomLeft(), c});
        case kLeft: return QPolygonF({outer.bottomLeft(), outer.topLeft(), c});
    }
    return {};
}

QRectF Inset(const QRectF& r, double l, double t, double rt, double b) {
    return QRectF(r.left() + l, r.top() + t, std::max(0.0, r.width() - l - rt),
                  std::max(0.0, r.height() - t - b));
}

}  // namespace

QColor ToColor(const litehtml::web_color& c) {
    return QColor(c.red, c.green, c.blue, c.alpha);
}

QRect ToRect(const litehtml::position& p) {
    return QRect(p.x, p.y, std::max(0, p.width), std::max(0, p.height));
}

QPainterPath RoundedPath(const QRectF& rect, const litehtml::border_radiuses& radii) {
    const litehtml::border_radiuses r = Shrunk(radii, 0, 0, 0, 0);
    QPainterPath path;
    if (!HasRadius(r)) {
        path.addRect(rect);
        return path;
    }
    // Radii that do not fit are scaled down together, as CSS asks.
    double scale = 1.0;
    auto fit = [&](double a, double b, double length) {
        if (a + b > length && a + b > 0) scale = std::min(scale, length / (a + b));
    };
    fit(r.top_left_x, r.top_right_x, rect.width());
    fit(r.bottom_left_x, r.bottom_right_x, rect.width());
    fit(r.top_left_y, r.bottom_left_y, rect.height());
    fit(r.top_right_y, r.bottom_right_y, rect.height());
    const double tlx = r.top_left_x * scale, tly = r.top_left_y * scale;
    const double trx = r.top_right_x * scale, try_ = r.top_right_y * scale;
    const double brx = r.bottom_right_x * scale, bry = r.bottom_right_y * scale;
    const double blx = r.bottom_left_x * scale, bly = r.bottom_left_y * scale;
    const double x = rect.left(), y = rect.top(), w = rect.width(), h = rect.height();
    path.moveTo(x + tlx, y);
    path.lineTo(x + w - trx, y);
    if (trx > 0 && try_ > 0) path.arcTo(x + w - 2 * trx, y, 2 * trx, 2 * try_, 90, -90);
    path.lineTo(x + w, y + h - bry);
    if (brx > 0 && bry > 0) path.arcTo(x + w - 2 * brx, y + h - 2 * bry, 2 * brx, 2 * bry, 0, -90);
    path.lineTo(x + blx, y + h);
    if (blx > 0 && bly > 0) path.arcTo(x, y + h - 2 * bly, 2 * blx, 2 * bly, 270, -90);
    path.lineTo(x, y + tly);
    if (tlx > 0 && tly > 0) path.arcTo(x, y, 2 * tlx, 2 * tly, 180, -90);
    path.closeSubpath();
    return path;
}

void DrawBackground(QPainter& painter, const litehtml::background_paint& bg, const QPixmap& picture,
                    const QRect& canvas) {
    const QRect clip = bg.is_root ? canvas : ToRect(bg.clip_box);
    if (clip.isEmpty()) return;
    const bool rounded = !bg.is_root && HasRadius(bg.border_radius);
    const QPainterPath area = RoundedPath(clip, bg.border_radius);
    painter.save();
    if (rounded) painter.setRenderHint(QPainter::Antialiasing, true);
    if (bg.color.alpha > 0) {
        if (rounded)
            painter.fillPath(area, ToColor(bg.color));
        else
            painter.fillRect(clip, ToColor(bg.color));
    }
    if (!picture.isNull() && picture.width() > 0 && picture.height() > 0) {
        double w = bg.image_size.width > 0 ? bg.image_size.width : picture.width();
        double h = bg.image_size.height > 0 ? bg.image_size.height : picture.height();
        const double px = bg.position_x, py = bg.position_y;
        QRectF tiles = clip;
        switch (bg.repeat) {
            case litehtml::background_repeat_repeat: break;
            case litehtml::background_repeat_repeat_x:
                tiles = tiles.intersected(QRectF(tiles.left(), py, tiles.width(), h));
                break;
            case litehtml::background_repeat_repeat_y:
                tiles = tiles.intersected(QRectF(px, tiles.top(), w, tiles.height()));
                break;
            case litehtml::background_repeat_no_repeat:
                tiles = tiles.intersected(QRectF(px, py, w, h));
                break;
        }
        if (!tiles.isEmpty() && w >= 1 && h >= 1) {
            QBrush brush(picture);
            QTransform transform;
            transform.translate(px, py);
            transform.scale(w / picture.width(), h / picture.height());
            brush.setTransform(transform);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, w * h < 4096.0 * 4096.0);
            if (rounded) {
                QPainterPath tilePath;
                tilePath.addRect(tiles);
                painter.fillPath(area.intersected(tilePath), brush);
            } else {
                painter.fillRect(tiles, brush);
            }
        }
    }
    painter.restore();
}

void DrawBorders(QPainter& painter, const litehtml::borders& borders, const litehtml::position& box) {
    if (!borders.is_visible()) return;
    const QRectF outer(box.x, box.y, std::max(0, box.width), std::max(0, box.height));
    if (outer.isEmpty()) return;
    const litehtml::border* sides[4] = {&borders.left, &borders.top, &borders.right, &borders.bottom};
    double widths[4];
    for (int i = 0; i < 4; ++i) {
        const auto style = sides[i]->style;
        const bool shown = style != litehtml::border_style_none && style != litehtml::border_style_hidden &&
                           sides[i]->width > 0 && sides[i]->color.alpha > 0;
        widths[i] = shown ? std::min<double>(sides[i]->width, 10000) : 0;
    }
    const bool rounded = HasRadius(borders.radius);
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setRenderHint(QPainter::Antialiasing, rounded);
    // A rounded dotted or dashed frame of one kind all round is one stroked path.
    const auto style = borders.top.style;
    const bool broken = style == litehtml::border_style_dotted || style == litehtml::border_style_dashed;
    bool uniform = true;
    for (int i = 0; i < 4; ++i)
        uniform = uniform && sides[i]->style == style && widths[i] == widths[1] &&
                  ToColor(sides[i]->color) == ToColor(borders.top.color);
    if (rounded && broken && uniform && widths[1] > 0) {
        const double half = widths[1] / 2;
        QPen pen(ToColor(borders.top.color), widths[1],
                 style == litehtml::border_style_dotted ? Qt::DotLine : Qt::DashLine, Qt::FlatCap);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(RoundedPath(Inset(outer, half, half, half, half),
                                     Shrunk(borders.radius, half, half, half, half)));
        painter.restore();
        return;
    }
    for (int i = 0; i < 4; ++i) {
        if (widths[i] <= 0) continue;
        const TSide side = static_cast<TSide>(i);
        const litehtml::border& border = *sides[i];
        const QColor color = ToColor(border.color);
        const double w = widths[i];
        if (!rounded && (border.style == litehtml::border_style_dotted ||
                         border.style == litehtml::border_style_dashed)) {
            QPen pen(color, w, border.style == litehtml::border_style_dotted ? Qt::DotLine : Qt::DashLine,
                     Qt::FlatCap);
            painter.setPen(pen);
            const double half = w / 2;
            switch (side) {
                case kTop:
                    painter.drawLine(QPointF(outer.left(), outer.top() + half),
                                     QPointF(outer.right(), outer.top() + half));
                    break;
                case kBottom:
                    painter.drawLine(QPointF(outer.left(), outer.bottom() - half),
                                     QPointF(outer.right(), outer.bottom() - half));
                    break;
                case kLeft:
                    painter.drawLine(QPointF(outer.left() + half, outer.top()),
                                     QPointF(outer.left() + half, outer.bottom()));
                    break;
                case kRight:
                    painter.drawLine(QPointF(outer.right() - half, outer.top()),
                                     QPointF(outer.right() - half, outer.bottom()));
                    break;
            }
            painter.setPen(Qt::NoPen);
            continue;
        }
        // Bands of the side from the outside in, each with its colour.
        struct TBand {
            double from, to;
            QColor color;
        };
        std::vector<TBand> bands;
        const bool darkSide = side == kTop || side == kLeft;
        switch (border.style) {
            case litehtml::border_style_double:
                if (w >= 3) {
                    bands.push_back({0, w / 3, color});
                    bands.push_back({w * 2 / 3, w, color});
                } else {
                    bands.push_back({0, w, color});
                }
                break;
            case litehtml::border_style_inset: bands.push_back({0, w, Shade(color, darkSide)}); break;
            case litehtml::border_style_outset: bands.push_back({0, w, Shade(color, !darkSide)}); break;
            case litehtml::border_style_groove:
                bands.push_back({0, w / 2, Shade(color, darkSide)});
                bands.push_back({w / 2, w, Shade(color, !darkSide)});
                break;
            case litehtml::border_style_ridge:
                bands.push_back({0, w / 2, Shade(color, !darkSide)});
                bands.push_back({w / 2, w, Shade(color, darkSide)});
                break;
            default: bands.push_back({0, w, color}); break;
        }
        for (const TBand& band : bands) {
            const double f0 = band.from / w, f1 = band.to / w;
            const QRectF bandOuter =
                Inset(outer, widths[0] * f0, widths[1] * f0, widths[2] * f0, widths[3] * f0);
            const QRectF bandInner =
                Inset(outer, widths[0] * f1, widths[1] * f1, widths[2] * f1, widths[3] * f1);
            if (!rounded) {
                painter.setBrush(band.color);
                painter.drawPolygon(SidePolygon(side, bandOuter, bandInner));
                continue;
            }
            QPainterPath ring = RoundedPath(bandOuter, Shrunk(borders.radius, widths[0] * f0, widths[1] * f0,
                                                              widths[2] * f0, widths[3] * f0));
            ring =
                ring.subtracted(RoundedPath(bandInner, Shrunk(borders.radius, widths[0] * f1, widths[1] * f1,
                                                              widths[2] * f1, widths[3] * f1)));
            QPainterPath wedge;
            wedge.addPolygon(SideWedge(side, outer));
            wedge.closeSubpath();
            painter.fillPath(ring.intersected(wedge), band.color);
        }
    }
    painter.restore();
}

QString MarkerText(litehtml::list_style_type type, int index) {
    auto alpha = [](int n, char first) {
        QString text;
        while (n > 0) {
            --n;
            text.prepend(QChar(first + n % 26));
            n /= 26;
        }
        return text;
    };
    auto roman = [](int n, bool upper) {
        if (n <= 0 || n >= 4000) return QString::number(n);
        static const std::pair<int, const char*> kDigits[] = {
            {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
            {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
        QString text;
        for (const auto& [value, letters] : kDigits)
            while (n >= value) {
                text += QLatin1String(letters);
                n -= value;
            }
        return upper ? text.toUpper() : text;
    };
    switch (type) {
        case litehtml::list_style_type_decimal: return QString::number(index) + QLatin1Char('.');
        case litehtml::list_style_type_decimal_leading_zero:
            return QStringLiteral("%1.").arg(index, 2, 10, QLatin1Char('0'));
        case litehtml::list_style_type_lower_alpha:
        case litehtml::list_style_type_lower_latin: return alpha(index, 'a') + QLatin1Char('.');
        case litehtml::list_style_type_upper_alpha:
        case litehtml::list_style_type_upper_latin: return alpha(index, 'A') + QLatin1Char('.');
        case litehtml::list_style_type_lower_roman: return roman(index, false) + QLatin1Char('.');
        case litehtml::list_style_type_upper_roman: return roman(index, true) + QLatin1Char('.');
        case litehtml::list_style_type_none:
        case litehtml::list_style_type_disc:
        case litehtml::list_style_type_circle:
        case litehtml::list_style_type_square: return {};
        default: return QString::number(index) + QLatin1Char('.');
    }
}

void DrawListMarker(QPainter& painter, const litehtml::list_marker& marker, const QPixmap& picture,
                    THtmlFont* font, bool rightToLeft) {
    const QRectF box(marker.pos.x, marker.pos.y, marker.pos.width, marker.pos.height);
    const QColor color = ToColor(marker.color);
    painter.save();
    if (!picture.isNull()) {
        painter.drawPixmap(QPointF(box.left(), box.top() + (box.height() - picture.height()) / 2.0), picture);
        painter.restore();
        return;
    }
    QString text = MarkerText(marker.marker_type, marker.index);
    if (rightToLeft && text.endsWith(QLatin1Char('.'))) text = QLatin1Char('.') + text.chopped(1);
    if (!text.isEmpty()) {
        if (font) {
            painter.setFont(font->font);
            painter.setPen(color);
            const int width = font->metrics.horizontalAdvance(text);
            // Numbers end a little before the item's text, as in browsers.
            const double right =
                rightToLeft ? box.left() - box.width() * 0.5 + width : box.right() + box.width() * 0.5;
            const double baseline = box.bottom() - (box.height() - font->metrics.ascent()) / 2.0 + 1;
            painter.drawText(
                QPointF(right - width, std::max(baseline, box.top() + font->metrics.ascent() * 0.8)), text);
        }
        painter.restore();
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    switch (marker.marker_type) {
        case litehtml::list_style_type_circle:
            painter.setPen(QPen(color, 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(box.adjusted(0.5, 0.5, -0.5, -0.5));
            break;
        case litehtml::list_style_type_disc:
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
            painter.drawEllipse(box);
            break;
        case litehtml::list_style_type_square:
            painter.setRenderHint(QPainter::Antialiasing, false);
            painter.fillRect(box, color);
            break;
        default: break;
    }
    painter.restore();
}

void PushClip(QPainter& painter, const litehtml::position& box, const litehtml::border_radiuses& radii,
              bool validX, bool validY) {
    painter.save();
    constexpr int kFar = 1 << 24;
    QRectF rect(box.x, box.y, box.width, box.height);
    if (!validX) rect.setLeft(-kFar), rect.setRight(kFar);
    if (!validY) rect.setTop(-kFar), rect.setBottom(kFar);
    if (validX && validY && HasRadius(radii))
        painter.setClipPath(RoundedPath(rect, radii), Qt::IntersectClip);
    else
        painter.setClipRect(rect, Qt::IntersectClip);
}

void PopClip(QPainter& painter) {
    painter.restore();
}

}  // namespace htmlpaint
