#pragma once

#include <litehtml.h>

// The boxes an inline element's background and borders are drawn in, one per line it covers. The
// renderer spans each line from the element's first piece to its last in source order; once the
// words of a line are put in right-to-left order (BidiLines.h) that span runs backwards, and a
// padded link drawn as a button keeps only a sliver of its colour. Here each line's box spans the
// leftmost to the rightmost of the element's pieces on that line, as browsers draw it; the left
// padding and border go to the first line of a left-to-right element and to the last of a
// right-to-left one. Lines whose pieces stand in source order keep the renderer's own boxes.
void InlineBoxesInOrder(litehtml::html_tag& element, litehtml::position::vector& boxes);

// An element class whose inline boxes follow the pieces where they stand.
template <class TBase>
class TInlineBoxes : public TBase {
public:
    using TBase::TBase;
    void get_inline_boxes(litehtml::position::vector& boxes) override { InlineBoxesInOrder(*this, boxes); }
};
