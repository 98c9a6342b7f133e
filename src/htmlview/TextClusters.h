#pragma once

#include <QString>
#include <vector>

// A part of a word drawn with one font: plain text, or one character cluster that has an emoji
// presentation and is drawn whole with the colour emoji family.
struct TTextPiece {
    qsizetype from = 0;
    qsizetype length = 0;
    bool emoji = false;
};

namespace textclusters {

// Whether text may hold a character that is drawn as an emoji picture: a quick test that spares
// plain words the cluster analysis.
bool MayHoldEmoji(const QString& text);

// Whether a character cluster (a user-perceived character: a keycap, a flag, a sequence joined
// with U+200D, a character with its variation selector) is drawn as an emoji picture.
bool HasEmojiPresentation(const QString& cluster);

// The text in pieces: runs of plain text and single emoji clusters, in order; one plain piece
// for text without emoji.
std::vector<TTextPiece> Split(const QString& text);

}  // namespace textclusters
