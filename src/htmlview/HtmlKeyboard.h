#pragma once

#include <QRect>
#include <memory>
#include <vector>

#include <litehtml.h>

#include "base/Text.h"

class QPainter;
class QWidget;
class THtmlViewPrivate;

// Keyboard travel through the document on show: its links and its form controls are the stops
// of Tab and Shift+Tab, in document order. A control takes the keyboard focus itself; a link is
// focused inside the view, which draws a ring around it and follows it on Enter.
class THtmlKeyboard {
public:
    explicit THtmlKeyboard(THtmlViewPrivate& view) : view_(view) {}

    // Moves to the next (or previous) stop from where the focus is now; false when there is
    // none that way, and then no link keeps the focus.
    bool Move(bool next);
    // The target of the link that has the focus; empty while none has.
    ByteString FocusedTarget() const;
    // The link that has the focus; null while none has.
    litehtml::element::ptr FocusedElement() const;
    // The ring around the focused link, while the view has the focus.
    void Paint(QPainter& painter) const;

private:
    struct TStop {
        litehtml::element::ptr element;
        QWidget* control = nullptr;  // null: a link
    };
    std::vector<TStop> Stops() const;
    void Collect(const litehtml::element::ptr& element, std::vector<TStop>& stops) const;
    int Current(const std::vector<TStop>& stops) const;
    litehtml::element::ptr FocusedLink() const;
    std::vector<QRect> Boxes(const litehtml::element::ptr& element) const;  // document coordinates
    void Reveal(const litehtml::element::ptr& element);

    THtmlViewPrivate& view_;
    std::weak_ptr<litehtml::element> focused_;
    std::weak_ptr<litehtml::document> document_;
};
