#include "htmlview/HtmlSelection.h"

#include <algorithm>
#include <climits>

#include "htmlview/HtmlFonts.h"
#include "htmlview/HtmlPainter.h"

#include <el_text.h>

namespace {

quint64 Key(int x, int y) {
    return (quint64(quint32(x)) << 32) | quint32(y);
}

}  // namespace

void THtmlSelection::SetDocument(const std::shared_ptr<litehtml::document>& document) {
    document_ = document;
    Clear();
    runsValid_ = false;
}

void THtmlSelection::Clear() {
    anchor_ = focus_ = TPosition();
}

void THtmlSelection::EnsureRuns() const {
    if (runsValid_) return;
    runsValid_ = true;
    runs_.clear();
    byPosition_.clear();
    auto document = document_.lock();
    if (!document || !document->root()) return;
    // Document order without recursion; hidden subtrees are skipped.
    struct TItem {
        litehtml::element::ptr element;
        int x, y;  // absolute position of the element's parent content box
    };
    std::vector<TItem> items{{document->root(), 0, 0}};
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
            TRun run;
            run.box = QRect(x, y, htmlpaint::Coordinate(std::max(0, pos.width)),
                            htmlpaint::Coordinate(std::max(0, pos.height)));
            run.text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
            run.font = THtmlFonts::From(text->get_font());
            byPosition_.insert(Key(x, y), static_cast<int>(runs_.size()));
            runs_.push_back(std::move(run));
            continue;
        }
        const int count = static_cast<int>(element->get_children_count());
        for (int i = count; i-- > 0;) {
            litehtml::element::ptr child = element->get_child(i);
            if (child) items.push_back({child, x, y});
        }
    }
}

int THtmlSelection::OffsetAt(const TRun& run, int x) const {
    if (x <= run.box.left() || run.text.isEmpty()) return 0;
    if (x >= run.box.right() || !run.font) return static_cast<int>(run.text.size());
    for (int i = 1; i <= run.text.size(); ++i) {
        const int left = run.font->metrics.horizontalAdvance(run.text.left(i - 1));
        const int right = run.font->metrics.horizontalAdvance(run.text.left(i));
        if (x < run.box.left() + (left + right) / 2) return i - 1;
    }
    return static_cast<int>(run.text.size());
}

THtmlSelection::TPosition THtmlSelection::HitTest(QPoint point) const {
    EnsureRuns();
    TPosition best;
    long long bestScore = LLONG_MAX;
    for (size_t i = 0; i < runs_.size(); ++i) {
        const QRect& box = runs_[i].box;
        const long long dy = point.y() < box.top()
                                 ? box.top() - point.y()
                                 : (point.y() > box.bottom() ? point.y() - box.bottom() : 0);
        const long long dx = point.x() < box.left() ? box.left() - point.x()
                                                    : (point.x() > box.right() ? point.x() - box.right() : 0);
        const long long score = dy * 100000 + dx;
        if (score < bestScore) {
            bestScore = score;
            best.run = static_cast<int>(i);
            if (score == 0) break;
        }
    }
    if (best.run >= 0) best.offset = OffsetAt(runs_[static_cast<size_t>(best.run)], point.x());
    return best;
}

void THtmlSelection::Begin(QPoint point) {
    anchor_ = focus_ = HitTest(point);
}

void THtmlSelection::Extend(QPoint point) {
    if (anchor_.run < 0) return;
    focus_ = HitTest(point);
}

void THtmlSelection::SelectWord(QPoint point) {
    TPosition hit = HitTest(point);
    if (hit.run < 0) return;
    anchor_ = {hit.run, 0};
    focus_ = {hit.run, static_cast<int>(runs_[static_cast<size_t>(hit.run)].text.size())};
}

void THtmlSelection::SelectAll() {
    EnsureRuns();
    if (runs_.empty()) return;
    anchor_ = {0, 0};
    focus_ = {static_cast<int>(runs_.size()) - 1, static_cast<int>(runs_.back().text.size())};
}

bool THtmlSelection::Empty() const {
    return anchor_.run < 0 || anchor_ == focus_;
}

QString THtmlSelection::Text() const {
    if (Empty()) return {};
    EnsureRuns();
    TPosition from = std::min(anchor_, focus_), to = std::max(anchor_, focus_);
    QString text;
    for (int i = from.run; i <= to.run && i < static_cast<int>(runs_.size()); ++i) {
        const TRun& run = runs_[static_cast<size_t>(i)];
        if (i > from.run && run.box.top() >= runs_[static_cast<size_t>(i - 1)].box.bottom()) {
            while (text.endsWith(QLatin1Char(' '))) text.chop(1);
            text += QLatin1Char('\n');
        }
        const int start = i == from.run ? from.offset : 0;
        const int end = i == to.run ? to.offset : static_cast<int>(run.text.size());
        QString piece = run.text.mid(start, end - start);
        piece.remove(QChar(0x200B));
        if (piece == QLatin1String("\n") && text.endsWith(QLatin1Char('\n'))) continue;
        if (piece.trimmed().isEmpty() &&
            (text.isEmpty() || text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char(' '))))
            continue;
        text += piece.trimmed().isEmpty() && piece != QLatin1String("\n") ? QStringLiteral(" ") : piece;
    }
    return text.trimmed();
}

bool THtmlSelection::RangeAt(int x, int y, int& from, int& to) const {
    if (Empty()) return false;
    EnsureRuns();
    auto found = byPosition_.constFind(Key(x, y));
    if (found == byPosition_.constEnd()) return false;
    const int run = found.value();
    TPosition first = std::min(anchor_, focus_), last = std::max(anchor_, focus_);
    if (run < first.run || run > last.run) return false;
    from = run == first.run ? first.offset : 0;
    to = run == last.run ? last.offset : static_cast<int>(runs_[static_cast<size_t>(run)].text.size());
    return to > from;
}

QRect THtmlSelection::Bounds() const {
    if (anchor_.run < 0) return {};
    EnsureRuns();
    TPosition first = std::min(anchor_, focus_), last = std::max(anchor_, focus_);
    QRect bounds;
    for (int i = first.run; i <= last.run && i < static_cast<int>(runs_.size()); ++i)
        bounds = bounds.united(runs_[static_cast<size_t>(i)].box);
    return bounds;
}
