#pragma once

#include <litehtml.h>

#include <vector>

// litehtml 0.6 takes a cell's width as the width of its whole column, padding and border included,
// where browsers add the cell's padding and border to it (a th width=110 with cellpadding=6 is 122
// pixels wide). For the layout of a table, the columns whose width comes from such a cell are
// widened by the cell's padding and border, and set back afterwards. Cells whose box-sizing is
// border-box (the widths of <col> elements) keep their width as it is.
class TCellWidths {
public:
    // Widens the columns of a table's grid; nothing when it has none.
    explicit TCellWidths(litehtml::table_grid* grid, bool separateBorders);
    ~TCellWidths();
    TCellWidths(const TCellWidths&) = delete;
    TCellWidths& operator=(const TCellWidths&) = delete;

private:
    litehtml::table_grid* grid_;
    std::vector<std::pair<int, litehtml::css_length>> saved_;  // column, its width as it was
};
