#pragma once

#include <QRect>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

#include <litehtml.h>

#include "htmlview/TextRuns.h"

// Finding text in the document on show: the text as read (its pieces joined in document order,
// a line change between pieces counting as a space), the places where a text occurs without regard
// to case, and the boxes each occurrence covers, for highlighting.
class THtmlFind {
public:
    // A new document (or none): the text looked for is kept and looked for again.
    void SetDocument(const std::shared_ptr<litehtml::document>& document);
    // A new layout: the pieces moved and lines may break elsewhere; the search runs again, keeping
    // the current occurrence where it can.
    void Invalidate();

    // Looks for `needle` (empty: nothing is found); the current occurrence becomes the first that
    // starts at or below the document row `fromY`, or the first of all. Returns the count.
    int Search(const QString& needle, int fromY = 0);
    const QString& Needle() const { return needle_; }
    int Count() const;
    // The index of the current occurrence; -1 when there is none.
    int Current() const;
    // Moves to the next (or previous) occurrence, wrapping around at either end.
    int Step(bool forward);

    // The text of an occurrence as the document shows it.
    QString MatchText(int index) const;
    // The boxes an occurrence covers, in document coordinates (one per piece it touches).
    const std::vector<QRect>& Boxes(int index) const;

    // Where `needle` occurs in `text` without regard to case (every kind of white space alike), as
    // (start, length) in UTF-16 units; occurrences do not overlap.
    static std::vector<std::pair<int, int>> Occurrences(const QString& text, const QString& needle);

private:
    // Where a character of the joined text comes from: a piece and the offset inside it; -1 for
    // the space that stands for a line change.
    struct TSource {
        int run;
        int offset;
    };
    void EnsureText() const;
    void Run(int fromY, int keep);

    std::weak_ptr<litehtml::document> document_;
    QString needle_;
    mutable bool textValid_ = false;
    mutable std::vector<TTextRun> runs_;
    mutable QString text_;
    mutable std::vector<TSource> sources_;
    std::vector<std::pair<int, int>> matches_;
    // The boxes of each occurrence, worked out when first asked for (painting asks often).
    mutable std::vector<std::vector<QRect>> boxes_;
    mutable std::vector<bool> boxed_;
    int current_ = -1;
};
