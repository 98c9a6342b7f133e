#include "htmlview/ExactFontSizes.h"

#include <cmath>

namespace {

// The renderer's margins as its style gave them, which only derived classes may reach.
struct TMarginAccess : litehtml::html_tag {
    static litehtml::css_margins& Margins(litehtml::html_tag& tag) {
        return tag.*(&TMarginAccess::m_css_margins);
    }
};

// A margin in em, computed again with the exact size.
void Fit(litehtml::element& element, const char* property, litehtml::css_length& margin, double size) {
    const char* value = element.get_style_property(property, false, nullptr);
    if (!value) return;
    litehtml::css_length length;
    length.fromString(value, "auto");
    if (length.is_predefined() || length.units() != litehtml::css_units_em) return;
    margin.set_value(static_cast<float>(std::round(length.val() * size)), litehtml::css_units_px);
}

}  // namespace

double ExactFontSize(litehtml::element& element) {
    const double rounded = element.get_font_size();
    const char* value = element.get_style_property("font-size", false, nullptr);
    litehtml::element::ptr parent = element.parent();
    if (!value || !*value) return parent ? ExactFontSize(*parent) : rounded;
    litehtml::css_length length;
    length.fromString(value, "");
    if (length.is_predefined()) return rounded;
    const double around = parent ? ExactFontSize(*parent) : rounded;
    double exact = 0;
    switch (length.units()) {
        case litehtml::css_units_px: exact = length.val(); break;
        case litehtml::css_units_em: exact = length.val() * around; break;
        case litehtml::css_units_percentage: exact = length.val() * around / 100; break;
        default: return rounded;
    }
    // Only a size the renderer rounded to its whole pixels is carried: anything else it computed
    // by rules of its own.
    return std::abs(exact - rounded) < 1 ? exact : rounded;
}

void FitMarginsToExactFontSizes(const litehtml::element::ptr& root) {
    if (!root) return;
    if (auto* tag = dynamic_cast<litehtml::html_tag*>(root.get())) {
        const double size = ExactFontSize(*tag);
        if (std::abs(size - tag->get_font_size()) > 0.01) {
            litehtml::css_margins& margins = TMarginAccess::Margins(*tag);
            Fit(*tag, "margin-top", margins.top, size);
            Fit(*tag, "margin-bottom", margins.bottom, size);
        }
    }
    const size_t count = root->get_children_count();
    for (size_t i = 0; i < count; ++i)
        if (litehtml::element::ptr child = root->get_child(static_cast<int>(i)))
            FitMarginsToExactFontSizes(child);
}
