#pragma once

#include <litehtml.h>

// litehtml 0.6 cuts a line height such as 13 px x 1.45 to whole pixels (18 instead of 18.85), so
// every line of a long list or table ends a little higher than in a browser, and the document ends
// short. After a layout, each block whose lines are of such a height gets the whole pixel below or
// above it, chosen in document order so that the fractions carried so far stay under half a line;
// blocks are changed in the renderer's computed values only. Returns whether any block changed, in
// which case the document must be laid out again.
bool CarryLineFractions(const litehtml::element::ptr& root);
