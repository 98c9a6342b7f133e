#pragma once

#include <QPointF>
#include <QString>

class QPainter;
struct THtmlFont;

// Words holding emoji: Qt 6.4 gives each character of a keycap, a flag or a sequence joined with
// U+200D to the first font that has it, so the sequence falls apart, and a symbol with the emoji
// selector is drawn by the first text font that has the symbol. Here each cluster with an emoji
// presentation is measured and drawn whole with the colour emoji family alone, as large as
// browsers draw that family; the rest of the word keeps its font.
namespace emojitext {

// The advance of a word in pixels.
int Width(const THtmlFont& font, const QString& word);

// Draws a word with its baseline starting at a point, in the painter's pen.
void Draw(QPainter& painter, const THtmlFont& font, QPointF baseline, const QString& word);

}  // namespace emojitext
