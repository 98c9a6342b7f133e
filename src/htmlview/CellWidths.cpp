#include "htmlview/CellWidths.h"

#include <algorithm>

namespace {

// The renderer's box values of a cell, which only derived classes may reach.
struct TCellAccess : litehtml::html_tag {
    static const litehtml::css_margins& Padding(const litehtml::html_tag& cell) {
        return cell.*(&TCellAccess::m_css_padding);
    }
    static const litehtml::css_borders& Borders(const litehtml::html_tag& cell) {
        return cell.*(&TCellAccess::m_css_borders);
    }
    static litehtml::box_sizing Sizing(const litehtml::html_tag& cell) {
        return cell.*(&TCellAccess::m_box_sizing);
    }
};

int Pixels(const litehtml::css_length& length) {
    if (length.is_predefined() || length.units() == litehtml::css_units_percentage) return 0;
    return std::max(0, static_cast<int>(length.val()));
}

int BorderWidth(const litehtml::css_border& border) {
    if (border.style == litehtml::border_style_none || border.style == litehtml::border_style_hidden)
        return 0;
    return Pixels(border.width);
}

// The first cell of one column that has a width: the one the renderer took the column's from.
const litehtml::html_tag* WidthCell(litehtml::table_grid& grid, int column) {
    for (int row = 0; row < grid.rows_count(); ++row) {
        const litehtml::table_cell* cell = grid.cell(column, row);
        if (!cell || !cell->el || cell->colspan > 1) continue;
        if (!cell->el->get_css_width().is_predefined())
            return dynamic_cast<const litehtml::html_tag*>(cell->el.get());
    }
    return nullptr;
}

}  // namespace

TCellWidths::TCellWidths(litehtml::table_grid* grid, bool separateBorders) : grid_(grid) {
    if (!grid_) return;
    for (int column = 0; column < grid_->cols_count(); ++column) {
        litehtml::css_length& width = grid_->column(column).css_width;
        // A width attribute's bare number is pixels.
        if (width.is_predefined() ||
            (width.units() != litehtml::css_units_px && width.units() != litehtml::css_units_none))
            continue;
        const litehtml::html_tag* cell = WidthCell(*grid_, column);
        if (!cell || TCellAccess::Sizing(*cell) == litehtml::box_sizing_border_box) continue;
        const litehtml::css_margins& padding = TCellAccess::Padding(*cell);
        int extra = Pixels(padding.left) + Pixels(padding.right);
        if (separateBorders) {
            const litehtml::css_borders& borders = TCellAccess::Borders(*cell);
            extra += BorderWidth(borders.left) + BorderWidth(borders.right);
        }
        if (extra <= 0) continue;
        saved_.emplace_back(column, width);
        width.set_value(width.val() + static_cast<float>(extra), litehtml::css_units_px);
    }
}

TCellWidths::~TCellWidths() {
    for (const auto& [column, width] : saved_) grid_->column(column).css_width = width;
}
