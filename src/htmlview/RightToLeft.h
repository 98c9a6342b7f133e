#pragma once

#include <litehtml.h>

// Right-to-left documents for a renderer that knows only left to right. The default style sheet
// turns dir="rtl" and dir="ltr" into the direction property, which the renderer keeps and
// inherits without reading it; what it means is given here:
// - before the first layout, text aligned to the start stands on the right of a right-to-left
//   block, and the padding and margins the default style sheet gives the left of lists and
//   definitions move to the right (as style of the element, so that later layouts keep it);
// - after each layout, the cells of a right-to-left table are mirrored inside it, and the words of
//   each line are put in the order the bidirectional algorithm gives (BidiLines.h).

// Whether an element's direction, declared or inherited, is right to left.
bool IsRightToLeft(const litehtml::element& element);

// Lays a document out at a width (RenderCollapsingMargins) in its directions.
void RenderInDirection(litehtml::document& document, int width);

// The deepest element at a document point by the laid-out boxes of its text and pictures, or
// null: the renderer finds an inline element by the span from its first to its last piece, which
// a line in right-to-left order turns around.
litehtml::element::ptr PieceAt(const litehtml::element::ptr& root, int x, int y);
