#include "htmlview/HtmlAccessibleText.h"

#include <algorithm>

void THtmlAccessibleText::selection(int, int* startOffset, int* endOffset) const {
    *startOffset = 0;
    *endOffset = 0;
}

QString THtmlAccessibleText::text(int startOffset, int endOffset) const {
    const QString whole = PlainText();
    const int size = static_cast<int>(whole.size());
    if (endOffset < 0 || endOffset > size) endOffset = size;
    startOffset = std::clamp(startOffset, 0, endOffset);
    return whole.mid(startOffset, endOffset - startOffset);
}

QString THtmlAccessibleText::attributes(int offset, int* startOffset, int* endOffset) const {
    // One run without attributes of its own.
    *startOffset = 0;
    *endOffset = std::max(offset, characterCount());
    return {};
}
