#include "htmlview/MarginCollapse.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

// Marks an element whose margin was adjusted, so that no later layout adjusts it again.
constexpr const char* kAdjustedAttribute = "data-quorvel-margin";

bool IsBlockLevel(const litehtml::element& element) {
    switch (element.get_display()) {
        case litehtml::display_block:
        case litehtml::display_list_item:
        case litehtml::display_table: return true;
        default: return false;
    }
}

bool LaysOutBlocks(const litehtml::element& element) {
    switch (element.get_display()) {
        case litehtml::display_block:
        case litehtml::display_list_item:
        case litehtml::display_table_cell:
        case litehtml::display_inline_block: return true;
        default: return false;
    }
}

bool InFlow(const litehtml::element& element) {
    if (element.skip() || element.get_display() == litehtml::display_none) return false;
    const litehtml::element_position position = element.get_element_position();
    return position != litehtml::element_position_absolute && position != litehtml::element_position_fixed &&
           element.get_float() == litehtml::float_none;
}

bool Adjusted(const litehtml::element& element) {
    return element.get_attr(kAdjustedAttribute) != nullptr;
}

// The top margins to give, by element; one entry an element, whichever rule set it.
using TMarginChanges = std::map<litehtml::element*, std::pair<litehtml::element::ptr, int>>;

int MarginTop(const litehtml::element::ptr& element, const TMarginChanges& changes) {
    const auto found = changes.find(element.get());
    return found == changes.end() ? element->margin_top() : found->second.second;
}

// The in-flow children that take part in block layout, whitespace between blocks left out. The
// children of an inline element that holds blocks (a <font> around paragraphs) are laid out among
// its parent's, so they count as the parent's.
void AddFlowChildren(const litehtml::element& parent, std::vector<litehtml::element::ptr>& children) {
    const size_t count = parent.get_children_count();
    for (size_t i = 0; i < count; ++i) {
        litehtml::element::ptr child = parent.get_child(static_cast<int>(i));
        if (!child || child->is_white_space() || !InFlow(*child)) continue;
        if (child->get_display() == litehtml::display_inline && child->get_children_count() > 0) {
            AddFlowChildren(*child, children);
            continue;
        }
        children.push_back(std::move(child));
    }
}

std::vector<litehtml::element::ptr> FlowChildren(const litehtml::element& parent) {
    std::vector<litehtml::element::ptr> children;
    AddFlowChildren(parent, children);
    return children;
}

// A padded or bordered first child loses its top margin to its parent in litehtml; a browser
// collapses it with the parent's own top margin.
void CollapseFirstChildren(const litehtml::element::ptr& parent, TMarginChanges& changes) {
    const std::vector<litehtml::element::ptr> children = FlowChildren(*parent);
    if (!children.empty() && (parent->get_display() == litehtml::display_block ||
                              parent->get_display() == litehtml::display_list_item)) {
        const litehtml::element::ptr& first = children.front();
        if (parent->collapse_top_margin() && IsBlockLevel(*first) && !first->collapse_top_margin() &&
            first->margin_top() > 0 && !Adjusted(*first) && !Adjusted(*parent)) {
            changes[parent.get()] = {parent, std::max(parent->margin_top(), first->margin_top())};
            changes[first.get()] = {first, 0};
        }
    }
    for (const litehtml::element::ptr& child : children) CollapseFirstChildren(child, changes);
}

// The bottom margin of a padded or bordered block is added to the next block's top margin instead
// of collapsing with it; the next one keeps only what exceeds it.
void CollapseSiblings(const litehtml::element::ptr& parent, TMarginChanges& changes) {
    const std::vector<litehtml::element::ptr> children = FlowChildren(*parent);
    if (LaysOutBlocks(*parent)) {
        for (size_t i = 1; i < children.size(); ++i) {
            const litehtml::element::ptr& before = children[i - 1];
            const litehtml::element::ptr& after = children[i];
            if (!IsBlockLevel(*before) || !IsBlockLevel(*after) || Adjusted(*after)) continue;
            const int top = MarginTop(after, changes);
            if (before->collapse_bottom_margin() || before->margin_bottom() <= 0 || top <= 0) continue;
            changes[after.get()] = {after, std::max(0, top - before->margin_bottom())};
        }
    }
    for (const litehtml::element::ptr& child : children) CollapseSiblings(child, changes);
}

}  // namespace

void RenderCollapsingMargins(litehtml::document& document, int width) {
    document.render(width);
    const litehtml::element::ptr root = document.root();
    if (!root) return;
    TMarginChanges changes;
    CollapseFirstChildren(root, changes);
    CollapseSiblings(root, changes);
    if (changes.empty()) return;
    for (const auto& [raw, change] : changes) {
        const litehtml::element::ptr& element = change.first;
        const char* style = element->get_attr("style");
        // Last in the element's own style, and important, so that no rule of the document's wins.
        std::string adjusted = style ? std::string(style) + ";" : std::string();
        adjusted += "margin-top:" + std::to_string(change.second) + "px !important";
        element->set_attr("style", adjusted.c_str());
        element->set_attr(kAdjustedAttribute, "");
        element->parse_styles(true);
    }
    document.render(width);
}
