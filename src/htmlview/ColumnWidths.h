#pragma once

// Widths that a table's <col> and <colgroup> elements give its columns. The renderer builds its
// table grid from rows and cells only, so the cleaner hands each width to a cell of that column:
// the first cell in layout order that starts there and spans one column. Internal to the HTML view.
#include <gumbo.h>

#include <string>
#include <unordered_map>

namespace htmlclean {

class TColumnWidths {
public:
    // Reads the columns of a table element (anything else is ignored) and picks the cells that
    // carry their widths.
    void Read(const GumboNode* node);

    // The declaration for a cell that carries its column's width, or nothing.
    std::string CellHint(const GumboNode* cell) const;

private:
    std::unordered_map<const GumboNode*, std::string> cellWidths_;
};

}  // namespace htmlclean
