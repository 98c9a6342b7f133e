#pragma once

#include <QHash>
#include <QPoint>
#include <QRect>
#include <QString>
#include <memory>
#include <vector>

#include <litehtml.h>

#include "htmlview/TextRuns.h"

struct THtmlFont;

// Text selection over the words the renderer laid out: hit testing, the selected range per word
// for highlighting, and the selected text for the clipboard.
class THtmlSelection {
public:
    struct TPosition {
        int run = -1;
        int offset = 0;  // in characters (UTF-16 units) of the run's text
        bool operator<(const TPosition& o) const {
            return run < o.run || (run == o.run && offset < o.offset);
        }
        bool operator==(const TPosition& o) const { return run == o.run && offset == o.offset; }
    };

    // A new layout: positions of words changed, the selection is kept by word index.
    void Invalidate() { runsValid_ = false; }
    void SetDocument(const std::shared_ptr<litehtml::document>& document);
    void Clear();

    void Begin(QPoint documentPoint);
    void Extend(QPoint documentPoint);
    void SelectWord(QPoint documentPoint);
    void SelectAll();
    bool Empty() const;
    QString Text() const;
    // The selected part [from, to) of the word drawn at this document position; false when none.
    bool RangeAt(int x, int y, int& from, int& to) const;
    // The area to repaint when the selection changes, in document coordinates.
    QRect Bounds() const;

private:
    void EnsureRuns() const;
    TPosition HitTest(QPoint point) const;
    int OffsetAt(const TTextRun& run, int x) const;

    std::weak_ptr<litehtml::document> document_;
    mutable std::vector<TTextRun> runs_;
    mutable QHash<quint64, int> byPosition_;
    mutable bool runsValid_ = false;
    TPosition anchor_, focus_;
};
