#include "htmlview/HtmlKeyboard.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>
#include <cstring>

#include "htmlview/HtmlAccessible.h"
#include "htmlview/HtmlViewPrivate.h"

namespace {

bool IsLink(const litehtml::element::ptr& element) {
    const char* tag = element->get_tagName();
    if (!tag || std::strcmp(tag, "a") != 0) return false;
    const char* href = element->get_attr("href");
    return href && *href;
}

bool Shown(litehtml::element::ptr element) {
    for (; element; element = element->parent())
        if (!element->is_visible()) return false;
    return true;
}

// Wide enough to be seen at a glance on any background the document gives.
constexpr int kRingWidth = 2;

}  // namespace

std::vector<THtmlKeyboard::TStop> THtmlKeyboard::Stops() const {
    std::vector<TStop> stops;
    if (const auto& document = view_.Document(); document && document->root())
        Collect(document->root(), stops);
    return stops;
}

void THtmlKeyboard::Collect(const litehtml::element::ptr& element, std::vector<TStop>& stops) const {
    if (IsLink(element) && Shown(element) && !Boxes(element).empty()) {
        stops.push_back({element, nullptr});
    } else if (const int index = view_.forms.IndexOf(element.get()); index >= 0) {
        QWidget* control = view_.forms.Widget(index);
        if (control && control->isVisible() && control->isEnabled() &&
            (control->focusPolicy() & Qt::TabFocus))
            stops.push_back({element, control});
    }
    for (size_t i = 0; i < element->get_children_count(); ++i)
        Collect(element->get_child(static_cast<int>(i)), stops);
}

litehtml::element::ptr THtmlKeyboard::FocusedLink() const {
    if (document_.lock() != view_.Document()) return nullptr;
    return focused_.lock();
}

int THtmlKeyboard::Current(const std::vector<TStop>& stops) const {
    QWidget* focus = QApplication::focusWidget();
    const litehtml::element::ptr link = view_.q->hasFocus() ? FocusedLink() : nullptr;
    for (size_t i = 0; i < stops.size(); ++i) {
        const TStop& stop = stops[i];
        if (stop.control ? focus && (stop.control == focus || stop.control->isAncestorOf(focus))
                         : stop.element == link)
            return static_cast<int>(i);
    }
    return -1;
}

bool THtmlKeyboard::Move(bool next) {
    const std::vector<TStop> stops = Stops();
    const int at = Current(stops);
    const int count = static_cast<int>(stops.size());
    const int to = at < 0 ? (next ? 0 : count - 1) : at + (next ? 1 : -1);
    view_.q->viewport()->update();
    if (to < 0 || to >= count) {
        focused_.reset();
        return false;
    }
    const TStop& stop = stops[static_cast<size_t>(to)];
    const Qt::FocusReason reason = next ? Qt::TabFocusReason : Qt::BacktabFocusReason;
    if (stop.control) {
        focused_.reset();
        stop.control->setFocus(reason);
        return true;
    }
    focused_ = stop.element;
    document_ = view_.Document();
    if (!view_.q->hasFocus()) view_.q->setFocus(reason);
    Reveal(stop.element);
    THtmlAccessibleDocument::LinkFocused(view_.q, stop.element);
    return true;
}

litehtml::element::ptr THtmlKeyboard::FocusedElement() const {
    return view_.q->hasFocus() ? FocusedLink() : nullptr;
}

ByteString THtmlKeyboard::FocusedTarget() const {
    const litehtml::element::ptr link = FocusedElement();
    if (!link) return {};
    const char* href = link->get_attr("href");
    return href ? ByteString(href) : ByteString();
}

std::vector<QRect> THtmlKeyboard::Boxes(const litehtml::element::ptr& element) const {
    litehtml::position::vector boxes;
    element->get_inline_boxes(boxes);
    std::vector<QRect> rects;
    for (const litehtml::position& box : boxes)
        if (box.width > 0 && box.height > 0) rects.emplace_back(box.x, box.y, box.width, box.height);
    if (rects.empty()) {
        const litehtml::position place = element->get_placement();
        if (place.width > 0 && place.height > 0)
            rects.emplace_back(place.x, place.y, place.width, place.height);
    }
    return rects;
}

void THtmlKeyboard::Reveal(const litehtml::element::ptr& element) {
    QRect whole;
    for (const QRect& box : Boxes(element)) whole |= view_.Scaled(box);
    if (whole.isEmpty()) return;
    const int margin = view_.marginHeight > 0 ? view_.marginHeight : 0;
    const int top = whole.top() + view_.marginHeight - margin;
    const int bottom = whole.bottom() + view_.marginHeight + margin;
    int target = view_.vpos;
    if (top < target)
        target = top;
    else if (bottom >= target + view_.ViewHeight())
        target = std::min(top, bottom - view_.ViewHeight() + 1);
    view_.ScrollTo(target, view_.hpos);
}

void THtmlKeyboard::Paint(QPainter& painter) const {
    const litehtml::element::ptr link = view_.q->hasFocus() ? FocusedLink() : nullptr;
    if (!link) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(view_.q->palette().color(QPalette::Highlight), kRingWidth));
    painter.setBrush(Qt::NoBrush);
    for (const QRect& box : Boxes(link))
        painter.drawRect(
            view_.ToView(box).adjusted(-kRingWidth, -kRingWidth, kRingWidth - 1, kRingWidth - 1));
    painter.restore();
}
