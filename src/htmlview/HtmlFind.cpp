#include "htmlview/HtmlFind.h"

#include <algorithm>

#include "htmlview/EmojiText.h"
#include "htmlview/HtmlFonts.h"

namespace {

// The zero-width space marks where a long word may break; it is no part of what the reader sees.
constexpr char16_t kZeroWidthSpace = 0x200B;

QChar Folded(QChar c) {
    if (c.isSpace() || c == QChar(QChar::Nbsp)) return QLatin1Char(' ');
    return c.toCaseFolded();
}

QString FoldedText(const QString& text) {
    QString folded(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) folded[i] = Folded(text[i]);
    return folded;
}

}  // namespace

std::vector<std::pair<int, int>> THtmlFind::Occurrences(const QString& text, const QString& needle) {
    std::vector<std::pair<int, int>> found;
    if (needle.isEmpty()) return found;
    const QString haystack = FoldedText(text), wanted = FoldedText(needle);
    for (qsizetype at = haystack.indexOf(wanted); at >= 0; at = haystack.indexOf(wanted, at + wanted.size()))
        found.emplace_back(static_cast<int>(at), static_cast<int>(wanted.size()));
    return found;
}

void THtmlFind::SetDocument(const std::shared_ptr<litehtml::document>& document) {
    document_ = document;
    textValid_ = false;
    Run(0, -1);
}

void THtmlFind::Invalidate() {
    textValid_ = false;
    Run(0, current_);
}

void THtmlFind::EnsureText() const {
    if (textValid_) return;
    textValid_ = true;
    runs_.clear();
    text_.clear();
    sources_.clear();
    auto document = document_.lock();
    if (!document) return;
    runs_ = CollectTextRuns(*document);
    for (size_t i = 0; i < runs_.size(); ++i) {
        const TTextRun& run = runs_[i];
        if (i > 0 && run.box.top() > runs_[i - 1].box.bottom() && !text_.isEmpty() &&
            !text_.back().isSpace()) {
            text_ += QLatin1Char(' ');
            sources_.push_back({-1, 0});
        }
        for (qsizetype k = 0; k < run.text.size(); ++k) {
            if (run.text[k] == QChar(kZeroWidthSpace)) continue;
            text_ += run.text[k];
            sources_.push_back({static_cast<int>(i), static_cast<int>(k)});
        }
    }
}

int THtmlFind::Search(const QString& needle, int fromY) {
    needle_ = needle;
    Run(fromY, -1);
    return Count();
}

void THtmlFind::Run(int fromY, int keep) {
    matches_.clear();
    boxes_.clear();
    boxed_.clear();
    current_ = -1;
    if (needle_.isEmpty()) return;
    EnsureText();
    matches_ = Occurrences(text_, needle_);
    boxes_.resize(matches_.size());
    boxed_.assign(matches_.size(), false);
    if (matches_.empty()) return;
    if (keep >= 0) {
        current_ = std::min(keep, Count() - 1);
        return;
    }
    current_ = 0;
    for (int i = 0; i < Count(); ++i) {
        const std::vector<QRect>& boxes = Boxes(i);
        if (!boxes.empty() && boxes.front().top() >= fromY) {
            current_ = i;
            break;
        }
    }
}

int THtmlFind::Count() const {
    return static_cast<int>(matches_.size());
}

int THtmlFind::Current() const {
    return current_;
}

int THtmlFind::Step(bool forward) {
    if (matches_.empty()) return -1;
    current_ = (current_ + (forward ? 1 : Count() - 1)) % Count();
    return current_;
}

QString THtmlFind::MatchText(int index) const {
    if (index < 0 || index >= Count()) return {};
    EnsureText();
    const auto [start, length] = matches_[static_cast<size_t>(index)];
    return text_.mid(start, length);
}

const std::vector<QRect>& THtmlFind::Boxes(int index) const {
    static const std::vector<QRect> kNone;
    if (index < 0 || index >= Count()) return kNone;
    std::vector<QRect>& boxes = boxes_[static_cast<size_t>(index)];
    if (boxed_[static_cast<size_t>(index)]) return boxes;
    boxed_[static_cast<size_t>(index)] = true;
    const auto [start, length] = matches_[static_cast<size_t>(index)];
    // Consecutive characters of one piece make one box.
    for (int i = start; i < start + length;) {
        const TSource source = sources_[static_cast<size_t>(i)];
        int end = i + 1;
        while (end < start + length && sources_[static_cast<size_t>(end)].run == source.run) ++end;
        if (source.run >= 0) {
            const TTextRun& run = runs_[static_cast<size_t>(source.run)];
            const int from = source.offset, to = sources_[static_cast<size_t>(end - 1)].offset + 1;
            int left = run.box.left(), right = run.box.left() + run.box.width();
            if (run.font) {
                left += emojitext::Width(*run.font, run.text.left(from));
                right = std::min(right, run.box.left() + emojitext::Width(*run.font, run.text.left(to)));
            }
            if (right > left) boxes.emplace_back(left, run.box.top(), right - left, run.box.height());
        }
        i = end;
    }
    return boxes;
}
