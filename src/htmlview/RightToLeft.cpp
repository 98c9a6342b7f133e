#include "htmlview/RightToLeft.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "htmlview/BidiLines.h"
#include "htmlview/MarginCollapse.h"

#include <el_text.h>

namespace {

// Set on the root once the document's directions were given: "1" when it holds right-to-left
// text or blocks, "0" when there is nothing to turn around.
constexpr const char* kDirectionsAttribute = "data-qv-bidi";

std::string Keyword(const char* value) {
    std::string word = value ? value : "";
    const size_t bang = word.find('!');
    if (bang != std::string::npos) word.erase(bang);
    std::string result;
    for (char c : word)
        if (!std::isspace(static_cast<unsigned char>(c)))
            result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

std::string Own(const litehtml::element& element, const char* name) {
    return Keyword(element.get_style_property(name, false));
}

bool IsZero(const std::string& length) {
    return length.empty() || length.find_first_not_of("0.px") == std::string::npos;
}

enum class TAlign { Left, Right, Other };

struct TAlignAccess : litehtml::html_tag {
    static void Set(litehtml::html_tag& tag, litehtml::text_align align) {
        tag.*(&TAlignAccess::m_text_align) = align;
    }
};

struct TWalkState {
    bool rtl = false;
    TAlign align = TAlign::Left;  // what the renderer lets the element inherit
    bool physical = false;        // an ancestor declared left, right, center or justify
};

// Adds declarations last in the element's own style; only properties that no rule declares for
// the element (or the default sheet's sides of lists) are given, so no rule of the document's is
// overridden.
void AddStyle(litehtml::element& element, const std::string& declarations) {
    const char* style = element.get_attr("style");
    const std::string joined = style ? std::string(style) + ";" + declarations : declarations;
    element.set_attr("style", joined.c_str());
    element.parse_styles(true);
}

// The default sheet indents lists and definitions on the left; a browser indents them at their
// start, on the right of a right-to-left block.
std::string MirroredIndent(const litehtml::element& element) {
    const char* tag = element.get_tagName();
    if (!tag) return {};
    const bool list = !std::strcmp(tag, "ul") || !std::strcmp(tag, "ol") || !std::strcmp(tag, "menu") ||
                      !std::strcmp(tag, "dir");
    const char* side = list ? "padding" : !std::strcmp(tag, "dd") ? "margin" : nullptr;
    if (!side) return {};
    const std::string left = Own(element, (std::string(side) + "-left").c_str());
    const std::string right = Own(element, (std::string(side) + "-right").c_str());
    if (left != "40px" || !IsZero(right)) return {};
    return std::string(side) + "-left:0;" + side + "-right:40px";
}

// Whether UTF-8 text holds a letter of a right-to-left script (Hebrew, Arabic, Syriac, Thaana,
// N'Ko and their presentation forms).
bool HasRightToLeftLetters(const std::string& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = bytes[i];
        if (c < 0xD6) continue;
        const unsigned char next = i + 1 < text.size() ? bytes[i + 1] : 0;
        if (c == 0xD6 && next >= 0x90) return true;
        if (c >= 0xD7 && c <= 0xDF) return true;
        if (c == 0xE0 && next >= 0xA0 && next <= 0xA3) return true;
        if (c == 0xEF && next >= 0xAC && next <= 0xBB) return true;
        if (c == 0xF0 && (next == 0x90 || next == 0x9E) && i + 2 < text.size() && bytes[i + 2] >= 0xA0)
            return true;
    }
    return false;
}

// Gives the start alignment and the mirrored indents of right-to-left blocks; true when the
// document holds right-to-left text or blocks.
bool GiveDirections(const litehtml::element::ptr& root) {
    bool found = false;
    struct TItem {
        litehtml::element::ptr element;
        TWalkState state;
    };
    std::vector<TItem> items{{root, {}}};
    while (!items.empty()) {
        TItem item = std::move(items.back());
        items.pop_back();
        litehtml::element& element = *item.element;
        if (auto* text = dynamic_cast<litehtml::el_text*>(&element)) {
            if (!found) {
                std::string utf8;
                text->get_text(utf8);
                found = HasRightToLeftLetters(utf8);
            }
            continue;
        }
        TWalkState state = item.state;
        const std::string direction = Own(element, "direction");
        if (direction == "rtl") state.rtl = true;
        if (direction == "ltr") state.rtl = false;
        found = found || state.rtl;
        std::string declarations;
        if (state.rtl) declarations = MirroredIndent(element);
        const std::string align = Own(element, "text-align");
        const bool start =
            align == "start" || align == "initial" || align == "unset" || align == "-webkit-auto";
        if (align == "left" || align == "right" || align == "center" || align == "justify" ||
            align == "-webkit-center") {
            state.physical = true;
            state.align = align == "left" ? TAlign::Left : align == "right" ? TAlign::Right : TAlign::Other;
        } else if (start || align == "end" || (align.empty() && !state.physical)) {
            // Resolved by the element's own direction; the renderer knows left and right only.
            const bool right = state.rtl != (align == "end");
            const TAlign wanted = right ? TAlign::Right : TAlign::Left;
            if (wanted != state.align || !align.empty()) {
                if (!declarations.empty()) declarations += ';';
                declarations += right ? "text-align:right" : "text-align:left";
            }
            state.align = wanted;
            if (!align.empty()) state.physical = false;
        }
        if (!declarations.empty()) AddStyle(element, declarations);
        // The renderer read the inherited alignment of the descendants before their ancestor's
        // style was given; what a later parse of their styles reads is the same.
        auto* tag = dynamic_cast<litehtml::html_tag*>(&element);
        if (tag && state.align != TAlign::Other)
            TAlignAccess::Set(
                *tag, state.align == TAlign::Right ? litehtml::text_align_right : litehtml::text_align_left);
        const int count = static_cast<int>(element.get_children_count());
        for (int i = count; i-- > 0;)
            if (auto child = element.get_child(i)) items.push_back({child, state});
    }
    return found;
}

bool IsTableBox(const litehtml::element& element) {
    const litehtml::style_display display = element.get_display();
    return display == litehtml::display_table || display == litehtml::display_inline_table;
}

// Mirrors the cells of a right-to-left table inside its box: the first column stands on the
// right, spans and the widths of the columns stay as laid out.
void MirrorCells(const litehtml::element::ptr& table) {
    const int width = table->get_position().width;
    struct TItem {
        litehtml::element::ptr element;
        int x;  // the left of the element's parent, inside the table
    };
    std::vector<TItem> items;
    for (int i = 0; i < static_cast<int>(table->get_children_count()); ++i)
        if (auto child = table->get_child(i)) items.push_back({child, 0});
    while (!items.empty()) {
        TItem item = std::move(items.back());
        items.pop_back();
        litehtml::element& element = *item.element;
        switch (element.get_display()) {
            case litehtml::display_table_cell: {
                const int left = item.x + element.left();
                element.get_position().x += width - element.width() - left - left;
                break;
            }
            case litehtml::display_table_row:
            case litehtml::display_table_row_group:
            case litehtml::display_table_header_group:
            case litehtml::display_table_footer_group:
                for (int i = 0; i < static_cast<int>(element.get_children_count()); ++i)
                    if (auto child = element.get_child(i))
                        items.push_back({child, item.x + element.get_position().x});
                break;
            default: break;
        }
    }
}

// After a layout: right-to-left tables mirrored, the lines of every block in bidirectional order.
void ArrangeDirections(const litehtml::element::ptr& root) {
    std::vector<litehtml::element::ptr> items{root};
    while (!items.empty()) {
        litehtml::element::ptr element = std::move(items.back());
        items.pop_back();
        if (element->get_display() == litehtml::display_none || element->skip()) continue;
        if (dynamic_cast<litehtml::el_text*>(element.get())) continue;
        if (IsTableBox(*element) && IsRightToLeft(*element)) MirrorCells(element);
        OrderBidiLines(element);
        for (int i = static_cast<int>(element->get_children_count()); i-- > 0;)
            if (auto child = element->get_child(i)) items.push_back(std::move(child));
    }
}

}  // namespace

bool IsRightToLeft(const litehtml::element& element) {
    return Keyword(element.get_style_property("direction", true)) == "rtl";
}

void RenderInDirection(litehtml::document& document, int width) {
    const litehtml::element::ptr root = document.root();
    if (root && !root->get_attr(kDirectionsAttribute))
        root->set_attr(kDirectionsAttribute, GiveDirections(root) ? "1" : "0");
    RenderCollapsingMargins(document, width);
    if (!root || std::strcmp(root->get_attr(kDirectionsAttribute, "0"), "1") != 0) return;
    ArrangeDirections(root);
}

litehtml::element::ptr PieceAt(const litehtml::element::ptr& root, int x, int y) {
    litehtml::element::ptr found;
    if (!root || std::strcmp(root->get_attr(kDirectionsAttribute, "0"), "1") != 0) return found;
    struct TItem {
        litehtml::element::ptr element;
        int x, y;  // the parent's content box in the document
    };
    std::vector<TItem> items{{root, 0, 0}};
    while (!items.empty()) {
        TItem item = std::move(items.back());
        items.pop_back();
        litehtml::element& element = *item.element;
        if (element.get_display() == litehtml::display_none || element.skip() ||
            element.get_visibility() != litehtml::visibility_visible)
            continue;
        const litehtml::position& pos = element.get_position();
        const int left = item.x + pos.x, top = item.y + pos.y;
        const int count = static_cast<int>(element.get_children_count());
        if (count == 0) {
            if (x >= left && x < left + pos.width && y >= top && y < top + pos.height) found = item.element;
            continue;
        }
        for (int i = count; i-- > 0;)
            if (auto child = element.get_child(i)) items.push_back({child, left, top});
    }
    return found;
}
