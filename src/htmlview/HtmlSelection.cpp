#include "htmlview/HtmlSelection.h"

#include <algorithm>
#include <climits>

#include "htmlview/EmojiText.h"
#include "htmlview/HtmlFonts.h"
#include "htmlview/TextRuns.h"

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
    runs_ = CollectTextRuns(*document);
    for (size_t i = 0; i < runs_.size(); ++i)
        byPosition_.insert(Key(runs_[i].box.x(), runs_[i].box.y()), static_cast<int>(i));
}

int THtmlSelection::OffsetAt(const TTextRun& run, int x) const {
    if (x <= run.box.left() || run.text.isEmpty()) return 0;
    if (x >= run.box.right() || !run.font) return static_cast<int>(run.text.size());
    for (int i = 1; i <= run.text.size(); ++i) {
        const int left = emojitext::Width(*run.font, run.text.left(i - 1));
        const int right = emojitext::Width(*run.font, run.text.left(i));
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
        const TTextRun& run = runs_[static_cast<size_t>(i)];
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
