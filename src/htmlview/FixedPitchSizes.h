#pragma once

#include <litehtml.h>

// Browsers draw the generic fixed-pitch family at 13 pixels where the text around has 16 only while
// the size still follows the default: once the document gives an ancestor an absolute size (pixels,
// points), `pre` and `code` take that size unchanged. The default style sheet scales them; this pass
// gives the elements under an absolute size, or with a named fixed-pitch family, their parent's size
// back. Done once per document, before its first layout.
void FitFixedPitchSizes(const litehtml::element::ptr& root);
