#include "htmlview/FixedPitchSizes.h"

#include <string>

#include "base/Text.h"

namespace {

// Marks a document whose sizes were fitted, and the elements given their parent's size.
constexpr const char* kFittedAttribute = "data-quorvel-pitch";
// The default style sheet's scale of the fixed-pitch elements, as it writes it.
constexpr const char* kDefaultScale = "0.8125em";

std::string Declared(const litehtml::element& element, const char* property, bool inherited) {
    const char* value = element.get_style_property(property, inherited);
    std::string text = Lower(value ? value : "");
    const size_t bang = text.find('!');
    if (bang != std::string::npos) text.erase(bang);
    return Trim(text);
}

// Whether a declared size fixes the size for the elements inside, as browsers count it: lengths
// other than those relative to a font do; keywords make it follow the default again; em and per
// cent keep what the parent's was.
bool FixesSize(const std::string& size, bool parentFixed) {
    if (size.empty() || size == "inherit") return parentFixed;
    if (size.find("em") != std::string::npos || size.find('%') != std::string::npos ||
        size.find("ex") != std::string::npos || size.find("ch") != std::string::npos)
        return parentFixed;
    for (const std::string unit : {"px", "pt", "pc", "cm", "mm", "in"})
        if (size.size() > unit.size() && size.compare(size.size() - unit.size(), unit.size(), unit) == 0)
            return true;
    return false;
}

// Only the generic family alone is scaled.
bool GenericFixedPitch(const std::string& family) {
    std::string bare;
    for (char c : family)
        if (c != '"' && c != '\'') bare += c;
    return Trim(bare) == "monospace";
}

// The element's styles parsed again, and those of everything inside, whose sizes and words'
// widths follow its font.
void Reparse(const litehtml::element::ptr& element) {
    element->parse_styles(true);
    const size_t count = element->get_children_count();
    for (size_t i = 0; i < count; ++i)
        if (const litehtml::element::ptr child = element->get_child(static_cast<int>(i))) Reparse(child);
}

void Fit(const litehtml::element::ptr& element, bool parentFixed, bool parentFixedPitch) {
    if (!element || element->get_display() == litehtml::display_inline_text) return;
    const std::string size = Declared(*element, "font-size", false);
    const bool fixedPitch = GenericFixedPitch(Declared(*element, "font-family", true));
    const bool scaled = size == kDefaultScale;
    if (scaled && (parentFixed || parentFixedPitch || !fixedPitch)) {
        const char* style = element->get_attr("style");
        // Last in the element's own style, and important, so that only the default's rule loses.
        std::string fitted = style ? std::string(style) + ";" : std::string();
        fitted += "font-size:1em !important";
        element->set_attr("style", fitted.c_str());
        element->set_attr(kFittedAttribute, "");
        Reparse(element);
    }
    const bool fixed = scaled ? parentFixed : FixesSize(size, parentFixed);
    const size_t count = element->get_children_count();
    for (size_t i = 0; i < count; ++i) Fit(element->get_child(static_cast<int>(i)), fixed, fixedPitch);
}

}  // namespace

void FitFixedPitchSizes(const litehtml::element::ptr& root) {
    if (!root || root->get_attr(kFittedAttribute)) return;
    root->set_attr(kFittedAttribute, "");
    Fit(root, false, false);
}
