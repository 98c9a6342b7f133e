#pragma once

#include <QRect>
#include <QString>
#include <vector>

#include <litehtml.h>

struct THtmlFont;

// One piece of text as the renderer laid it out (a word or a space), in document coordinates.
struct TTextRun {
    QRect box;
    QString text;
    THtmlFont* font = nullptr;
};

// The visible text pieces of a laid-out document in document order; hidden subtrees are left out.
std::vector<TTextRun> CollectTextRuns(litehtml::document& document);
