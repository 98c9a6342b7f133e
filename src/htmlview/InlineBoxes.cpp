#include "htmlview/InlineBoxes.h"

#include <algorithm>
#include <vector>

#include "htmlview/RightToLeft.h"

namespace {

struct TLineBoxAccess : litehtml::element {
    static litehtml::box* LineOf(const litehtml::element& element) {
        return element.*(&TLineBoxAccess::m_box);
    }
};

// One laid-out piece of the element (a word, a space, a picture), in the element's coordinates.
struct TPiece {
    litehtml::box* line = nullptr;
    int left = 0, right = 0, top = 0, height = 0;
};

// The element's pieces in source order; a nested inline element's padding, border and margin
// widen its own first and last pieces.
void CollectPieces(const litehtml::element& element, std::vector<TPiece>& pieces) {
    const int count = static_cast<int>(element.get_children_count());
    for (int i = 0; i < count; ++i) {
        const litehtml::element::ptr child = element.get_child(i);
        if (!child || child->skip()) continue;
        if (litehtml::box* line = TLineBoxAccess::LineOf(*child)) {
            pieces.push_back({line, child->left() + child->margin_left(),
                              child->right() - child->margin_right(), child->top(), child->height()});
        } else if (child->get_display() == litehtml::display_inline) {
            const size_t first = pieces.size();
            CollectPieces(*child, pieces);
            if (pieces.size() == first) continue;
            pieces[first].left -= child->margin_left() + child->padding_left() + child->border_left();
            pieces.back().right += child->margin_right() + child->padding_right() + child->border_right();
        }
    }
}

// Whether each line's pieces stand right of one another in source order.
bool InSourceOrder(const std::vector<TPiece>& pieces) {
    for (size_t i = 1; i < pieces.size(); ++i)
        if (pieces[i].line == pieces[i - 1].line && pieces[i].left < pieces[i - 1].left) return false;
    return true;
}

}  // namespace

void InlineBoxesInOrder(litehtml::html_tag& element, litehtml::position::vector& boxes) {
    std::vector<TPiece> pieces;
    CollectPieces(element, pieces);
    if (InSourceOrder(pieces)) {
        element.litehtml::html_tag::get_inline_boxes(boxes);
        return;
    }
    const litehtml::margins padding = element.get_paddings(), borders = element.get_borders();
    const size_t first = boxes.size();
    litehtml::box* line = nullptr;
    for (const TPiece& piece : pieces) {
        if (piece.line != line || boxes.size() == first) {
            line = piece.line;
            boxes.push_back({piece.left, piece.top, piece.right - piece.left, piece.height});
            continue;
        }
        litehtml::position& box = boxes.back();
        const int left = std::min(box.x, piece.left), right = std::max(box.right(), piece.right);
        const int top = std::min(box.y, piece.top), bottom = std::max(box.bottom(), piece.top + piece.height);
        box = {left, top, right - left, bottom - top};
    }
    if (boxes.size() == first) return;
    for (size_t i = first; i < boxes.size(); ++i) {
        boxes[i].y -= padding.top + borders.top;
        boxes[i].height += padding.top + padding.bottom + borders.top + borders.bottom;
    }
    const bool rtl = IsRightToLeft(element);
    litehtml::position& leftEdge = rtl ? boxes.back() : boxes[first];
    litehtml::position& rightEdge = rtl ? boxes[first] : boxes.back();
    leftEdge.x -= padding.left + borders.left;
    leftEdge.width += padding.left + borders.left;
    rightEdge.width += padding.right + borders.right;
}
