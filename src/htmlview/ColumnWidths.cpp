#include "htmlview/ColumnWidths.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

#include "htmlview/HtmlGumbo.h"

namespace htmlclean {

namespace {

// Beyond these a hostile table costs more than its widths are worth.
constexpr int kMaxColumns = 1000;
constexpr int kMaxRowsSearched = 64;

const GumboElement* ElementOf(const GumboNode* node, GumboTag tag) {
    return node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == tag ? &node->v.element : nullptr;
}

// A length the renderer takes as a column width: a number in pixels, per cent or em, or a
// bare number (pixels) when it comes from an attribute.
std::string Length(std::string text, bool attribute) {
    text = Lower(Trim(text));
    size_t digits = 0;
    bool point = false;
    while (digits < text.size() &&
           (std::isdigit(static_cast<unsigned char>(text[digits])) || (text[digits] == '.' && !point))) {
        point = point || text[digits] == '.';
        ++digits;
    }
    if (digits == 0 || digits > 8 || !std::isdigit(static_cast<unsigned char>(text[0]))) return {};
    const std::string unit = Trim(text.substr(digits));
    if (unit.empty() && attribute) return text.substr(0, digits) + "px";
    if (unit == "%" || unit == "px" || unit == "em" || unit == "pt") return text.substr(0, digits) + unit;
    return {};
}

// The width declared in a style attribute (the last one), or nothing.
std::string StyleWidth(const std::string& style) {
    std::string width;
    size_t start = 0;
    while (start < style.size()) {
        size_t end = style.find(';', start);
        if (end == std::string::npos) end = style.size();
        const std::string declaration = style.substr(start, end - start);
        const size_t colon = declaration.find(':');
        if (colon != std::string::npos && Lower(Trim(declaration.substr(0, colon))) == "width") {
            const std::string value = Length(declaration.substr(colon + 1), false);
            if (!value.empty()) width = value;
        }
        start = end + 1;
    }
    return width;
}

// The width of a col or colgroup element: its style's over its attribute's.
std::string ElementWidth(const GumboElement& element) {
    const std::string styled = StyleWidth(AttributeText(element, "style"));
    return styled.empty() ? Length(AttributeText(element, "width"), true) : styled;
}

int SpanOf(const GumboElement& element, const char* name, int fallback, int most) {
    int32_t span = fallback;
    if (!AttributeNumber(element, name, span)) span = fallback;
    return std::clamp<int32_t>(span, 0, most);
}

// The width of each column, empty where none is given.
std::vector<std::string> Columns(const GumboElement& table) {
    std::vector<std::string> columns;
    auto add = [&](const GumboElement& element, const std::string& width) {
        const int span = std::max(1, SpanOf(element, "span", 1, kMaxColumns));
        for (int i = 0; i < span && static_cast<int>(columns.size()) < kMaxColumns; ++i)
            columns.push_back(width);
    };
    for (unsigned i = 0; i < table.children.length; ++i) {
        const GumboElement* group =
            ElementOf(static_cast<const GumboNode*>(table.children.data[i]), GUMBO_TAG_COLGROUP);
        if (!group) continue;
        bool hasColumns = false;
        for (unsigned j = 0; j < group->children.length; ++j) {
            const GumboElement* column =
                ElementOf(static_cast<const GumboNode*>(group->children.data[j]), GUMBO_TAG_COL);
            if (!column) continue;
            hasColumns = true;
            add(*column, ElementWidth(*column));
        }
        if (!hasColumns) add(*group, ElementWidth(*group));
    }
    return columns;
}

// The row groups of a table in layout order: the first header, the bodies, then the footers.
std::vector<const GumboElement*> RowGroups(const GumboElement& table) {
    std::vector<const GumboElement*> head, body, foot;
    for (unsigned i = 0; i < table.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(table.children.data[i]);
        if (child->type != GUMBO_NODE_ELEMENT) continue;
        const GumboTag tag = child->v.element.tag;
        if (tag == GUMBO_TAG_THEAD && head.empty())
            head.push_back(&child->v.element);
        else if (tag == GUMBO_TAG_TFOOT)
            foot.push_back(&child->v.element);
        else if (tag == GUMBO_TAG_THEAD || tag == GUMBO_TAG_TBODY)
            body.push_back(&child->v.element);
    }
    head.insert(head.end(), body.begin(), body.end());
    head.insert(head.end(), foot.begin(), foot.end());
    return head;
}

}  // namespace

void TColumnWidths::Read(const GumboNode* node) {
    const GumboElement* table = ElementOf(node, GUMBO_TAG_TABLE);
    if (!table) return;
    const std::vector<std::string> columns = Columns(*table);
    size_t unplaced = std::count_if(columns.begin(), columns.end(), [](const auto& w) { return !w.empty(); });
    if (unplaced == 0) return;
    std::vector<bool> placed(columns.size(), false);
    int rows = 0;
    for (const GumboElement* group : RowGroups(*table)) {
        // Rows still covered by a cell above, per column; spans end with their group.
        std::vector<int> covered(columns.size(), 0);
        for (unsigned r = 0; r < group->children.length && unplaced > 0 && rows < kMaxRowsSearched; ++r) {
            const GumboElement* row =
                ElementOf(static_cast<const GumboNode*>(group->children.data[r]), GUMBO_TAG_TR);
            if (!row) continue;
            ++rows;
            const std::vector<int> above = covered;
            size_t column = 0;
            for (unsigned c = 0; c < row->children.length && column < columns.size(); ++c) {
                const auto* cellNode = static_cast<const GumboNode*>(row->children.data[c]);
                const GumboElement* cell = ElementOf(cellNode, GUMBO_TAG_TD);
                if (!cell) cell = ElementOf(cellNode, GUMBO_TAG_TH);
                if (!cell) continue;
                while (column < columns.size() && above[column] > 0) ++column;
                if (column >= columns.size()) break;
                const size_t span = std::max(1, SpanOf(*cell, "colspan", 1, kMaxColumns));
                // rowspan=0 reaches to the end of the group.
                const int down = SpanOf(*cell, "rowspan", 1, 65534);
                if (span == 1 && !placed[column] && !columns[column].empty() &&
                    !HasAttribute(*cell, "width")) {
                    cellWidths_[cellNode] = "width:" + columns[column] + ";box-sizing:border-box;";
                    placed[column] = true;
                    --unplaced;
                }
                for (size_t i = column; i < std::min(column + span, columns.size()); ++i)
                    covered[i] = down == 0 ? 65534 : down;
                column += span;
            }
            for (size_t i = 0; i < covered.size(); ++i)
                if (covered[i] > 0) --covered[i];
        }
    }
}

std::string TColumnWidths::CellHint(const GumboNode* cell) const {
    const auto found = cellWidths_.find(cell);
    return found == cellWidths_.end() ? std::string() : found->second;
}

}  // namespace htmlclean
