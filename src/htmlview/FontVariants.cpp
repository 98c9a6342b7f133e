#include "htmlview/FontVariants.h"

#include <QString>
#include <algorithm>
#include <string>

#include "base/Text.h"
#include "htmlview/HtmlFonts.h"
#include "htmlview/ScriptFallback.h"

namespace {

// The renderer's font and line values, which only derived classes may reach.
struct TFontAccess : litehtml::html_tag {
    static litehtml::uint_ptr& Font(litehtml::html_tag& element) { return element.*(&TFontAccess::m_font); }
    static litehtml::font_metrics& Metrics(litehtml::html_tag& element) {
        return element.*(&TFontAccess::m_font_metrics);
    }
    static int& LineHeight(litehtml::html_tag& element) { return element.*(&TFontAccess::m_line_height); }
    static bool Normal(litehtml::html_tag& element) { return element.*(&TFontAccess::m_lh_predefined); }
};

// A declared keyword in lower case, without "!important".
std::string Keyword(const char* text) {
    std::string value = Lower(text ? text : "");
    const size_t bang = value.find('!');
    if (bang != std::string::npos) value.erase(bang);
    return Trim(value);
}

// A spacing in pixels: "normal" is 0, em counts the element's own font size; false when the value
// cannot be read, so that the inherited value stays.
bool Spacing(const std::string& value, int fontSize, double& pixels) {
    if (value.empty() || value == "inherit") return false;
    if (value == "normal" || value == "initial" || value == "unset") {
        pixels = 0;
        return true;
    }
    litehtml::css_length length;
    length.fromString(value);
    switch (length.units()) {
        case litehtml::css_units_px: pixels = length.val(); break;
        case litehtml::css_units_em:
        case litehtml::css_units_rem: pixels = length.val() * fontSize; break;
        case litehtml::css_units_pt: pixels = length.val() * 96 / 72; break;
        case litehtml::css_units_none:
            if (length.val() != 0) return false;
            pixels = 0;
            break;
        default: return false;
    }
    pixels = std::clamp(pixels, -20.0, 100.0);
    return true;
}

// The fallback families that the words directly inside an element are drawn with.
void AddFallbacks(litehtml::element& element, TFontVariant& variant) {
    TScriptFallback fallback;
    std::string text;
    const size_t count = element.get_children_count();
    for (size_t i = 0; i < count; ++i) {
        const litehtml::element::ptr child = element.get_child(static_cast<int>(i));
        if (!child || child->get_display() != litehtml::display_inline_text) continue;
        text.clear();
        child->get_text(text);
        fallback.Add(text);
    }
    variant.fallbackLanguage = fallback.CjkLanguage(variant.language);
    variant.emojiFallback = fallback.emoji;
}

void Apply(const litehtml::element::ptr& element, TFontVariant inherited, THtmlFonts& fonts) {
    auto* tag = dynamic_cast<litehtml::html_tag*>(element.get());
    if (!tag || element->get_display() == litehtml::display_inline_text) return;
    TFontVariant variant = inherited;
    const int size = element->get_font_size();
    // Most elements declare none of these: their values are read only when present.
    double pixels = 0;
    if (const char* letter = element->get_style_property("letter-spacing", false);
        letter && Spacing(Keyword(letter), size, pixels))
        variant.letterSpacing = pixels;
    if (const char* word = element->get_style_property("word-spacing", false);
        word && Spacing(Keyword(word), size, pixels))
        variant.wordSpacing = pixels;
    // The font shorthand is taken apart into font-variant before the renderer reads it.
    if (const char* caps = element->get_style_property("font-variant", false)) {
        const std::string value = Keyword(caps);
        if (value == "small-caps" || value == "all-small-caps")
            variant.smallCaps = true;
        else if (value == "normal")
            variant.smallCaps = false;
    }
    if (const char* lang = element->get_attr("lang")) {
        // Only the languages whose script has generic families of its own make a variant.
        const QString language = QString::fromUtf8(lang).trimmed().toLower();
        const bool script = language.startsWith(QLatin1String("ja")) ||
                            language.startsWith(QLatin1String("zh")) ||
                            language.startsWith(QLatin1String("ko"));
        variant.language = script ? language : QString();
    }

    // The fallback families are the element's own, not inherited.
    TFontVariant own = variant;
    AddFallbacks(*element, own);
    litehtml::uint_ptr& font = TFontAccess::Font(*tag);
    const THtmlFont* current = THtmlFonts::From(font);
    if (current && (current->base || !(own == TFontVariant{}))) {
        litehtml::font_metrics metrics;
        const litehtml::uint_ptr chosen = fonts.Variant(font, own, &metrics);
        if (chosen != font) {
            font = chosen;
            TFontAccess::Metrics(*tag) = metrics;
            if (TFontAccess::Normal(*tag)) TFontAccess::LineHeight(*tag) = metrics.height;
            // The words directly inside were measured with the font they had.
            const size_t count = element->get_children_count();
            for (size_t i = 0; i < count; ++i) {
                const litehtml::element::ptr child = element->get_child(static_cast<int>(i));
                if (child && child->get_display() == litehtml::display_inline_text) child->parse_styles(true);
            }
        }
    }
    const size_t count = element->get_children_count();
    for (size_t i = 0; i < count; ++i)
        if (litehtml::element::ptr child = element->get_child(static_cast<int>(i)))
            Apply(child, variant, fonts);
}

}  // namespace

void ApplyFontVariants(const litehtml::element::ptr& root, THtmlFonts& fonts) {
    if (root) Apply(root, TFontVariant{}, fonts);
}
