#include "htmlview/LineHeights.h"

#include "htmlview/ExactFontSizes.h"

#include <algorithm>
#include <cmath>

namespace {

// The renderer's computed line height and line boxes, which only derived classes may reach.
struct TLineAccess : litehtml::html_tag {
    static int& LineHeight(litehtml::html_tag& element) { return element.*(&TLineAccess::m_line_height); }
    static bool Normal(litehtml::html_tag& element) { return element.*(&TLineAccess::m_lh_predefined); }
    static const litehtml::box::vector& Boxes(litehtml::html_tag& element) {
        return element.*(&TLineAccess::m_boxes);
    }
};

// The line height the style asks for, in pixels with their fraction, computed as the renderer
// computes it before cutting; 0 when it is "normal" or in units the view does not carry.
double ExactLineHeight(litehtml::html_tag& element) {
    if (TLineAccess::Normal(element)) return 0;
    const char* value = element.get_style_property("line-height", true, "normal");
    if (!value) return 0;
    litehtml::css_length length;
    length.fromString(value, "normal");
    if (length.is_predefined()) return 0;
    const double size = ExactFontSize(element);
    switch (length.units()) {
        case litehtml::css_units_none: return length.val() * size;
        case litehtml::css_units_em: return length.val() * size;
        case litehtml::css_units_percentage: return length.val() * size / 100;
        case litehtml::css_units_px: return length.val();
        default: return 0;
    }
}

// Lines of the block that are exactly its line height: lines of text, not lines a picture or an
// inline block made taller.
int TextLines(litehtml::html_tag& element, int lineHeight) {
    int lines = 0;
    for (const litehtml::box::ptr& box : TLineAccess::Boxes(element))
        if (box->get_type() == litehtml::box_line && box->height() == lineHeight) ++lines;
    return lines;
}

void Carry(const litehtml::element::ptr& element, double& carried, bool& changed) {
    if (auto* tag = dynamic_cast<litehtml::html_tag*>(element.get());
        tag && element->get_display() != litehtml::display_none && !TLineAccess::Boxes(*tag).empty()) {
        // Blocks that hold only blocks have no lines of their own.
        const auto& boxes = TLineAccess::Boxes(*tag);
        const bool hasLines = std::any_of(boxes.begin(), boxes.end(), [](const litehtml::box::ptr& box) {
            return box->get_type() == litehtml::box_line;
        });
        const double exact = hasLines ? ExactLineHeight(*tag) : 0;
        int& current = TLineAccess::LineHeight(*tag);
        const double below = std::floor(exact + 0.001);
        // A whole height may differ too, when the renderer rounded the font size (19.5 px x 2).
        const bool cut = exact - below > 0.01 || current != static_cast<int>(below);
        const int lines = exact > 0 && cut ? TextLines(*tag, current) : 0;
        // The renderer may have rounded the font size either way (150% of 13 px makes 19).
        if (lines > 0 && std::abs(current - exact) < 2) {
            const double shorter = lines * (below - exact);
            const double taller = lines * (below + 1 - exact);
            const bool up = std::abs(carried + taller) < std::abs(carried + shorter);
            carried += up ? taller : shorter;
            const int chosen = static_cast<int>(below) + (up ? 1 : 0);
            if (chosen != current) {
                current = chosen;
                changed = true;
            }
        }
    }
    const size_t count = element->get_children_count();
    for (size_t i = 0; i < count; ++i)
        if (litehtml::element::ptr child = element->get_child(static_cast<int>(i)))
            Carry(child, carried, changed);
}

}  // namespace

bool CarryLineFractions(const litehtml::element::ptr& root) {
    if (!root) return false;
    double carried = 0;
    bool changed = false;
    Carry(root, carried, changed);
    return changed;
}
