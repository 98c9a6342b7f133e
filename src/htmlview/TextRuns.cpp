#include "htmlview/TextRuns.h"

#include <algorithm>

#include "htmlview/HtmlFonts.h"
#include "htmlview/HtmlPainter.h"

#include <el_text.h>

std::vector<TTextRun> CollectTextRuns(litehtml::document& document) {
    std::vector<TTextRun> runs;
    if (!document.root()) return runs;
    // Document order without recursion.
    struct TItem {
        litehtml::element::ptr element;
        int x, y;  // absolute position of the element's parent content box
    };
    std::vector<TItem> items{{document.root(), 0, 0}};
    while (!items.empty()) {
        TItem item = std::move(items.back());
        items.pop_back();
        litehtml::element* element = item.element.get();
        if (element->get_display() == litehtml::display_none || element->skip()) continue;
        const litehtml::position& pos = element->get_position();
        const int x = htmlpaint::Coordinate(static_cast<long long>(item.x) + pos.x);
        const int y = htmlpaint::Coordinate(static_cast<long long>(item.y) + pos.y);
        if (auto* text = dynamic_cast<litehtml::el_text*>(element)) {
            if (element->get_visibility() != litehtml::visibility_visible) continue;
            std::string utf8;
            text->get_text(utf8);
            TTextRun run;
            run.box = QRect(x, y, htmlpaint::Coordinate(std::max(0, pos.width)),
                            htmlpaint::Coordinate(std::max(0, pos.height)));
            run.text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
            run.font = THtmlFonts::From(text->get_font());
            runs.push_back(std::move(run));
            continue;
        }
        const int count = static_cast<int>(element->get_children_count());
        for (int i = count; i-- > 0;) {
            litehtml::element::ptr child = element->get_child(i);
            if (child) items.push_back({child, x, y});
        }
    }
    return runs;
}
