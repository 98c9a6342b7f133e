#pragma once

// The style that the presentational attributes of older pages and e-mails stand for (bgcolor,
// align, border, cellpadding, font face, list types, ...), written in front of an element's own
// style. Internal to the HTML view.
#include <gumbo.h>

#include <string>

namespace htmlclean {

// What an element passes on to its descendants for their hints.
struct THintContext {
    int tableBorder = 0;   // border attribute of the table the subtree is in
    int cellPadding = -1;  // its cellpadding, -1 when absent
    // Alignment by an align attribute or <center>: browsers centre (or right-align) the block
    // boxes inside too, and a table inside takes the alignment for itself but starts its own
    // text at the left again.
    enum class TAlign { None, Center, Right } legacyAlign = TAlign::None;
};

// The declarations for the element's presentational attributes; `frame` is the context the
// element was given by its parent and becomes that of its children. Link colours of the body go
// to bodyRules as a style sheet.
std::string PresentationalStyle(const GumboElement& element, THintContext& frame, std::string& bodyRules);

// Whether the attribute is taken over by the hints entirely, so that the renderer must not
// interpret it as well (it would let align="center" of a cell centre the text of every table
// inside).
bool IsReplacedAttribute(GumboTag tag, const std::string& name);

// The relative font sizes "smaller" and "larger", which the renderer does not know, as the
// factors browsers use.
std::string FontSizeKeywords(std::string css);

}  // namespace htmlclean
