#include "htmlview/MarginCollapse.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "htmlview/DocumentContainer.h"
#include "htmlview/ExactFontSizes.h"
#include "htmlview/FixedPitchSizes.h"
#include "htmlview/LineHeights.h"

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

// A padded or bordered last child keeps its bottom margin inside its parent in litehtml, which
// adds the parent's own below it; a browser collapses the two into the larger (a card with a
// margin at the end of the body). The parent takes the larger, the child none.
void CollapseLastChildren(const litehtml::element::ptr& parent, TMarginChanges& bottoms) {
    const std::vector<litehtml::element::ptr> children = FlowChildren(*parent);
    if (!children.empty() && (parent->get_display() == litehtml::display_block ||
                              parent->get_display() == litehtml::display_list_item)) {
        const litehtml::element::ptr& last = children.back();
        if (parent->collapse_bottom_margin() && IsBlockLevel(*last) && !last->collapse_bottom_margin() &&
            last->margin_bottom() > 0 && !Adjusted(*last) && !Adjusted(*parent)) {
            bottoms[parent.get()] = {parent, std::max(parent->margin_bottom(), last->margin_bottom())};
            bottoms[last.get()] = {last, 0};
        }
    }
    for (const litehtml::element::ptr& child : children) CollapseLastChildren(child, bottoms);
}

// The top margin a block's style gives it, before its first child's margin joined it.
int OwnMarginTop(const litehtml::element& element) {
    struct TMarginAccess : litehtml::html_tag {
        static const litehtml::css_margins& Margins(const litehtml::html_tag& tag) {
            return tag.*(&TMarginAccess::m_css_margins);
        }
    };
    const auto* tag = dynamic_cast<const litehtml::html_tag*>(&element);
    if (!tag) return element.margin_top();
    const litehtml::css_length& top = TMarginAccess::Margins(*tag).top;
    if (top.is_predefined() || top.units() == litehtml::css_units_percentage) return 0;
    return static_cast<int>(top.val());
}

// A block's bottom margin and the top margin of the next block's first child, which the next block
// takes over as its own: litehtml 0.6 collapses the bottom margin with the next block's own margin
// only and adds what the child brought. The child is given the margin that makes the sum the
// browser's largest of the three.
void CollapseThroughFirstChild(const litehtml::element::ptr& before, const litehtml::element::ptr& after,
                               TMarginChanges& changes) {
    if (before->margin_bottom() <= 0 || !after->collapse_top_margin() ||
        after->get_display() != litehtml::display_block)
        return;
    // Only a block whose margin grew in the layout took its child's.
    const int own = OwnMarginTop(*after), taken = after->margin_top();
    if (taken <= own) return;
    const std::vector<litehtml::element::ptr> children = FlowChildren(*after);
    if (children.empty() || !IsBlockLevel(*children.front())) return;
    const litehtml::element::ptr& child = children.front();
    if (Adjusted(*child) || changes.count(child.get()) != 0 || child->margin_top() != taken) return;
    const int collapsed = std::max(before->margin_bottom(), own);
    const int wanted = std::max(collapsed, taken);
    changes[child.get()] = {child, own + wanted - collapsed};
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
            if (before->collapse_bottom_margin()) {
                CollapseThroughFirstChild(before, after, changes);
                continue;
            }
            if (before->margin_bottom() <= 0 || top <= 0) continue;
            changes[after.get()] = {after, std::max(0, top - before->margin_bottom())};
        }
    }
    for (const litehtml::element::ptr& child : children) CollapseSiblings(child, changes);
}

}  // namespace

void RenderCollapsingMargins(litehtml::document& document, int width) {
    const litehtml::element::ptr root = document.root();
    auto* container = dynamic_cast<THtmlContainer*>(document.container());
    FitFixedPitchSizes(root);
    FitMarginsToExactFontSizes(root);
    if (container && root) container->ApplyFontVariants(root);
    document.render(width);
    if (!root) return;
    TMarginChanges changes, bottoms;
    CollapseFirstChildren(root, changes);
    CollapseSiblings(root, changes);
    CollapseLastChildren(root, bottoms);
    for (const auto& [margins, property] :
         {std::pair<const TMarginChanges*, const char*>{&changes, "margin-top:"},
          std::pair<const TMarginChanges*, const char*>{&bottoms, "margin-bottom:"}})
        for (const auto& [raw, change] : *margins) {
            const litehtml::element::ptr& element = change.first;
            const char* style = element->get_attr("style");
            // Last in the element's own style, and important, so that no rule of the document's wins.
            std::string adjusted = style ? std::string(style) + ";" : std::string();
            adjusted += property + std::to_string(change.second) + "px !important";
            element->set_attr("style", adjusted.c_str());
            element->set_attr(kAdjustedAttribute, "");
            element->parse_styles(true);
        }
    const bool changed = !changes.empty() || !bottoms.empty();
    // Parsing an element's styles again gave it its plain font back.
    if (container && changed) container->ApplyFontVariants(root);
    const bool lines = CarryLineFractions(root);
    if (!changed && !lines) return;
    document.render(width);
}
