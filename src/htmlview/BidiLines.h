#pragma once

#include <litehtml.h>

// Puts the words of each laid-out line of a block in the visual order of the Unicode
// bidirectional algorithm. litehtml 0.6 places a line's pieces (words, spaces, pictures, inline blocks) left
// to right in source order; the levels are resolved over each block's text as one paragraph (a line break
// ends one) in the block's direction, and each line's pieces are then reordered (rule L2) within the room
// they took. A word whose letters do not all run left to right is drawn inside an embedding of its level, so
// that its neutral characters (".", "!", brackets) and digits stand where the paragraph puts them. Blocks
// that run left to right and hold no right-to-left letter are left as they are.
//
// libfribidi resolves the levels: Qt's own implementation of the algorithm is private, and laying
// each line out again with QTextLayout only to read back the order of its runs would shape every
// line twice.
void OrderBidiLines(const litehtml::element::ptr& block);
