#include "htmlview/HtmlElements.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "htmlview/CellWidths.h"
#include "htmlview/DocumentContainer.h"
#include "htmlview/HtmlCleaner.h"
#include "htmlview/InlineBoxes.h"
#include "htmlview/RightToLeft.h"

namespace {

std::string Keyword(const char* text) {
    std::string value = text ? text : "";
    std::transform(value.begin(), value.end(), value.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // Trailing "!important" and blanks do not change the keyword.
    const size_t bang = value.find('!');
    if (bang != std::string::npos) value.erase(bang);
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.pop_back();
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.front()))) value.erase(0, 1);
    return value;
}

// A length of a flex property in pixels (px or a plain number; em counted at 16 pixels).
int Pixels(const std::string& value) {
    if (value.empty()) return 0;
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    if (end == value.c_str()) return 0;
    const std::string unit(end);
    const double px = unit == "em" || unit == "rem" ? number * 16 : number;
    return static_cast<int>(std::clamp(px, 0.0, 1000.0));
}

// Access to the renderer's display value of any element, which only derived classes may set.
struct TDisplayAccess : litehtml::html_tag {
    static void Set(litehtml::html_tag* element, litehtml::style_display display) {
        element->*(&TDisplayAccess::m_display) = display;
    }
    static void SetWhiteSpace(litehtml::html_tag* element, litehtml::white_space value) {
        element->*(&TDisplayAccess::m_white_space) = value;
    }
};

// Declarations that win over the element's own style, which the renderer reads later.
std::string Important(const std::string& declarations) {
    std::string result;
    size_t from = 0;
    while (from < declarations.size()) {
        size_t end = declarations.find(';', from);
        if (end == std::string::npos) end = declarations.size();
        if (end > from) result += declarations.substr(from, end - from) + " !important;";
        from = end + 1;
    }
    return result;
}

}  // namespace

void TWordElement::parse_styles(bool is_reparse) {
    litehtml::html_tag::parse_styles(is_reparse);
    auto parent = this->parent();
    auto value = [&](const char* name) {
        return Keyword(parent ? parent->get_style_property(name, true) : nullptr);
    };
    const std::string wrap = value("overflow-wrap"), legacy = value("word-wrap"),
                      breaking = value("word-break");
    const bool breaks = wrap == "break-word" || wrap == "anywhere" || legacy == "break-word" ||
                        legacy == "anywhere" || breaking == "break-all" || breaking == "break-word";
    if (breaks || (parent && parent->get_white_space() != litehtml::white_space_normal &&
                   parent->get_white_space() != litehtml::white_space_pre_line)) {
        // The pieces flow with the text around and break where the line ends.
        TDisplayAccess::Set(this, litehtml::display_inline);
    } else {
        // One box that does not break inside.
        TDisplayAccess::Set(this, litehtml::display_inline_block);
        TDisplayAccess::SetWhiteSpace(this, litehtml::white_space_nowrap);
    }
}

// A declared value of an element: its inline style first (the renderer reads that only when it
// parses the element's styles), then what the style sheets gave it.
std::string Declared(const litehtml::element::ptr& element, const char* name) {
    if (const char* inlineStyle = element->get_attr("style")) {
        litehtml::style style;
        style.add(inlineStyle, nullptr, element.get());
        if (const char* value = style.get_property(name)) return Keyword(value);
    }
    return Keyword(element->get_style_property(name, false));
}

void TFlexCandidate::parse_styles(bool is_reparse) {
    // Most blocks are no flex containers: their inline style is read only when it names flex.
    const char* inlineStyle = get_attr("style");
    const char* sheetDisplay = m_style.get_property("display");
    if (converted_ || ((!inlineStyle || !std::strstr(inlineStyle, "flex")) &&
                       (!sheetDisplay || !std::strstr(sheetDisplay, "flex")))) {
        litehtml::html_tag::parse_styles(is_reparse);
        return;
    }
    auto self = shared_from_this();
    auto property = [&](const char* name) { return Declared(self, name); };
    const std::string display = property("display");
    if (!converted_ && (display == "flex" || display == "inline-flex")) {
        converted_ = true;
        const std::string direction = property("flex-direction");
        const std::string justify = property("justify-content");
        const std::string align = property("align-items");
        std::string gapText = property("column-gap");
        if (gapText.empty()) gapText = property("gap");
        const std::string rowGapText = property("row-gap");
        const int gap = Pixels(gapText.substr(0, gapText.find(' ')));
        const int rowGap =
            rowGapText.empty() ? Pixels(gapText.substr(0, gapText.find(' '))) : Pixels(rowGapText);
        // White space between the items is no item.
        std::vector<litehtml::element::ptr> items;
        for (const auto& child : m_children) {
            if (child->is_white_space()) continue;
            items.push_back(child);
        }
        for (const auto& child : std::vector<litehtml::element::ptr>(m_children))
            if (child->is_white_space()) removeChild(child);
        const bool column = direction == "column" || direction == "column-reverse";
        if (column) {
            add_style(Important(display == "inline-flex" ? "display:inline-block" : "display:block"), "");
            bool first = true;
            for (const auto& item : items) {
                if (!item->get_tagName() || !*item->get_tagName()) continue;
                std::string style = "display:block;";
                if (!first && rowGap > 0) style += "margin-top:" + std::to_string(rowGap) + "px;";
                item->add_style(Important(style), "");
                first = false;
            }
        } else {
            std::string style = display == "inline-flex" ? "display:inline-table;" : "display:table;";
            style += "border-collapse:separate;";
            if (gap > 0 && items.size() > 1) {
                // The gap: cells of its width between the items.
                for (const auto& child : std::vector<litehtml::element::ptr>(m_children)) removeChild(child);
                for (size_t i = 0; i < items.size(); ++i) {
                    if (i > 0) {
                        auto spacer = std::make_shared<litehtml::html_tag>(get_document());
                        spacer->set_tagName("qv-gap");
                        spacer->add_style(Important("display:table-cell;width:" + std::to_string(gap) +
                                                    "px;padding:0;border:none"),
                                          "");
                        appendChild(spacer);
                    }
                    appendChild(items[i]);
                }
            }
            bool grows = false;
            for (const auto& item : items) {
                const std::string flex = Declared(item, "flex");
                const std::string grow = Declared(item, "flex-grow");
                if ((!flex.empty() && flex != "none" && flex != "0" && flex.rfind("0 ", 0) != 0) ||
                    (!grow.empty() && grow != "0"))
                    grows = true;
            }
            const bool sized = !property("width").empty();
            if (grows || justify == "space-between" || justify == "space-around" ||
                justify == "space-evenly") {
                if (!sized) style += "width:100%;";
            } else if (justify == "center") {
                style += "margin-left:auto;margin-right:auto;";
            } else if (justify == "flex-end" || justify == "end" || justify == "right") {
                style += "margin-left:auto;";
            }
            add_style(Important(style), "");
            const char* vertical = align == "center"                         ? "middle"
                                   : (align == "flex-end" || align == "end") ? "bottom"
                                   : align == "baseline"                     ? "baseline"
                                                                             : "top";
            for (size_t i = 0; i < items.size(); ++i) {
                const auto& item = items[i];
                if (!item->get_tagName() || !*item->get_tagName()) continue;
                std::string cell = std::string("display:table-cell;vertical-align:") + vertical + ";";
                // Spare width goes between the items: the first keeps to the start, the last to the end.
                const bool last = i + 1 == items.size();
                if (!grows && justify == "space-between" && i > 0)
                    cell += last ? "text-align:right;" : "text-align:center;";
                item->add_style(Important(cell), "");
            }
        }
    }
    litehtml::html_tag::parse_styles(is_reparse);
}

void TFlexCandidate::draw_background(litehtml::uint_ptr hdc, int x, int y, const litehtml::position* clip) {
    const char* shadow = m_style.get_property("box-shadow");
    auto document = get_document();
    if (shadow && document && get_visibility() == litehtml::visibility_visible) {
        // "x y [blur [spread]] colour"; the colour may come first, "inset" shadows are left out.
        std::string text = Keyword(shadow);
        const size_t comma = text.find(',', text.find(')') == std::string::npos ? 0 : text.find(')'));
        if (comma != std::string::npos) text.erase(comma);
        std::vector<int> lengths;
        std::string color, token;
        int depth = 0;
        for (char c : text + " ") {
            if (c == '(') ++depth;
            if (c == ')') --depth;
            if (c == ' ' && depth == 0) {
                if (!token.empty()) {
                    if (std::isdigit(static_cast<unsigned char>(token[0])) || token[0] == '-' ||
                        token[0] == '.')
                        lengths.push_back(token[0] == '-' ? -Pixels(token.substr(1)) : Pixels(token));
                    else if (token != "inset")
                        color = token;
                    else
                        lengths.clear();
                }
                token.clear();
            } else {
                token += c;
            }
        }
        if (lengths.size() >= 2 && text.find("inset") == std::string::npos) {
            litehtml::position box = m_pos;
            box.x += x;
            box.y += y;
            box += m_padding;
            box += m_borders;
            const litehtml::web_color shade =
                color.empty() ? litehtml::web_color(0, 0, 0, 128)
                              : litehtml::web_color::from_string(color.c_str(), document->container());
            const litehtml::border_radiuses radii = m_css_borders.radius.calc_percents(box.width, box.height);
            if (auto* container = dynamic_cast<THtmlContainer*>(document->container()))
                container->DrawShadow(box, radii, lengths[0], lengths[1], lengths.size() > 2 ? lengths[2] : 0,
                                      lengths.size() > 3 ? lengths[3] : 0, shade);
        }
    }
    litehtml::html_tag::draw_background(hdc, x, y, clip);
}

void TFlexCandidate::get_inline_boxes(litehtml::position::vector& boxes) {
    InlineBoxesInOrder(*this, boxes);
}

TImageElement::TImageElement(const std::shared_ptr<litehtml::document>& doc, THtmlContainer* container)
    : litehtml::el_image(doc), container_(container), quirks_(container->QuirksMode()) {}

bool TImageElement::Missing() {
    const char* src = get_attr("src");
    return container_->PictureMissing(src ? src : "");
}

bool TImageElement::ShowsAltText() {
    const char* alt = get_attr("alt");
    return alt && *alt && Missing();
}

bool TImageElement::Sized() const {
    return !m_css_width.is_predefined() || !m_css_height.is_predefined();
}

bool TImageElement::AltTextInFrame() const {
    return quirks_ && Sized();
}

int TImageElement::render(int x, int y, int max_width, bool second_pass) {
    int result = litehtml::el_image::render(x, y, max_width, second_pass);
    if (ShowsAltText() && !AltTextInFrame()) {
        // As in browsers, the alt text stands in the line like words, after a small picture of a
        // broken picture; in quirks mode a picture with a size keeps it, the text drawn inside.
        litehtml::font_metrics metrics;
        const litehtml::uint_ptr font = get_font(&metrics);
        m_pos.width = kIconSide + 2 + container_->text_width(get_attr("alt"), font);
        m_pos.height = std::max(metrics.height, kIconSide);
        result = m_pos.width + content_margins_left() + content_margins_right();
    }
    return result;
}

int TImageElement::get_base_line() {
    if (!ShowsAltText() || AltTextInFrame()) return litehtml::el_image::get_base_line();
    litehtml::font_metrics metrics;
    get_font(&metrics);
    return metrics.descent + content_margins_bottom();
}

int TImageElement::line_height() const {
    return height();
}

void TImageElement::draw(litehtml::uint_ptr hdc, int x, int y, const litehtml::position* clip) {
    litehtml::el_image::draw(hdc, x, y, clip);
    if (!Missing()) return;
    const char* alt = get_attr("alt");
    litehtml::position box = m_pos;
    box.x += x;
    box.y += y;
    const bool framed = alt && *alt ? AltTextInFrame() : Sized();
    container_->DrawMissingPicture(box, alt ? alt : "", get_font(), get_color("color", true), framed);
}

int TTableElement::render(int x, int y, int max_width, bool second_pass) {
    const TCellWidths widened(m_grid.get(), m_border_collapse == litehtml::border_collapse_separate);
    const int needed = ShareSpareWidth(x, y, max_width, second_pass);
    // Wider than offered only when its content cannot be narrower, as a block would report.
    return std::min(needed, std::max(max_width, width()));
}

int TTableElement::ShareSpareWidth(int x, int y, int max_width, bool second_pass) {
    int result = litehtml::el_table::render(x, y, max_width, second_pass);
    if (!m_grid || max_width <= 1 || m_grid->cols_count() < 2 || m_grid->rows_count() < 1) return result;
    const int count = m_grid->cols_count();
    // The columns without a width of their own share what the others leave.
    std::vector<int> automatic;
    long long available = 0, widest = 0, narrowest = 0;
    for (int col = 0; col < count; ++col) {
        const litehtml::table_column& column = m_grid->column(col);
        if (!column.css_width.is_predefined()) {
            if (column.css_width.units() == litehtml::css_units_percentage) return result;
            continue;
        }
        automatic.push_back(col);
        available += column.width;
        widest += column.max_width;
        narrowest += column.min_width;
    }
    if (automatic.size() < 2 || available <= 0) return result;
    std::vector<long long> target(automatic.size());
    for (size_t i = 0; i < automatic.size(); ++i) {
        const litehtml::table_column& column = m_grid->column(automatic[i]);
        if (available >= widest && widest > 0)
            target[i] = column.max_width + (available - widest) * column.max_width / widest;
        else if (available >= narrowest && widest > narrowest)
            target[i] = column.min_width + (available - narrowest) * (column.max_width - column.min_width) /
                                               (widest - narrowest);
        else
            return result;
    }
    long long sum = 0;
    for (long long t : target) sum += t;
    target.back() += available - sum;
    bool differs = false;
    for (size_t i = 0; i < automatic.size(); ++i)
        differs = differs || std::abs(target[i] - m_grid->column(automatic[i]).width) > 1;
    if (!differs) return result;
    // Laid out again with these widths, then the columns are automatic again for the next layout.
    for (size_t i = 0; i < automatic.size(); ++i)
        m_grid->column(automatic[i])
            .css_width.set_value(static_cast<float>(target[i]), litehtml::css_units_px);
    result = litehtml::el_table::render(x, y, max_width, second_pass);
    for (int col : automatic) m_grid->column(col).css_width.predef(0);
    return result;
}

void TListItem::NumberSiblings() {
    auto parent = this->parent();
    if (!parent) return;
    // Read as a browser does (leading digits, clamped to 32 bits); counted in 64 bits so a list
    // that starts at the largest number cannot overflow.
    const char* start = parent->get_attr("start");
    long long number = start ? std::clamp(std::strtoll(start, nullptr, 10), static_cast<long long>(INT32_MIN),
                                          static_cast<long long>(INT32_MAX))
                             : 1;
    const size_t count = parent->get_children_count();
    for (size_t i = 0; i < count; ++i) {
        const litehtml::element::ptr child = parent->get_child(static_cast<int>(i));
        const char* tag = child ? child->get_tagName() : nullptr;
        if (!tag || std::strcmp(tag, "li") != 0) continue;
        child->set_attr("list_index", std::to_string(number++).c_str());
        if (auto* item = dynamic_cast<TListItem*>(child.get())) item->numbered_ = true;
    }
}

int TListItem::render(int x, int y, int max_width, bool second_pass) {
    if (!numbered_) NumberSiblings();
    numbered_ = true;
    return litehtml::html_tag::render(x, y, max_width, second_pass);
}

void TListItem::draw(litehtml::uint_ptr hdc, int x, int y, const litehtml::position* clip) {
    // The first line's text is centred in the line height; a number, in the font's height. Only
    // the marker is drawn as text by the item itself: its content is drawn by its children.
    container_->SetMarkerShift(std::max(0, (m_line_height - m_font_metrics.height) / 2));
    container_->SetMarkerMirror(IsRightToLeft(*this), 2 * (x + m_pos.x) + m_pos.width);
    litehtml::html_tag::draw(hdc, x, y, clip);
    container_->SetMarkerShift(0);
    container_->SetMarkerMirror(false);
}
