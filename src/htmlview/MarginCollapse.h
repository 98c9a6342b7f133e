#pragma once

#include <litehtml.h>

// Lays a document out at a width with vertical margins collapsed as browsers collapse them.
// litehtml 0.6 keeps two margins apart where a browser keeps only the larger: between a block with a
// bottom border or padding and the block after it, and between a bordered or padded first child and
// its parent. After a first layout, such margins are given, as inline styles, the values that make
// the renderer's sum come out as the browser's maximum, and the document is laid out again; an
// element is adjusted once, so later layouts at other widths keep the adjustment. The fonts of
// spacing, small capitals and language are given before each layout (FontVariants.h), and line
// heights cut to whole pixels are carried in the same layout (LineHeights.h).
void RenderCollapsingMargins(litehtml::document& document, int width);
