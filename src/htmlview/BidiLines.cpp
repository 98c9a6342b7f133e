#include "htmlview/BidiLines.h"

#include <QList>
#include <QString>
#include <algorithm>
#include <string>
#include <vector>

#include <fribidi.h>

#include "htmlview/RightToLeft.h"

#include <el_text.h>

namespace {

// The embeddings a word is drawn in (U+202A, U+202B) and their end (U+202C), in UTF-8.
const std::string kLeftToRight = "\xE2\x80\xAA", kRightToLeft = "\xE2\x80\xAB", kPop = "\xE2\x80\xAC";

struct TTextAccess : litehtml::el_text {
    static std::string& Drawn(litehtml::el_text& text) { return text.*(&TTextAccess::m_transformed_text); }
    static const std::string& Source(litehtml::el_text& text) { return text.*(&TTextAccess::m_text); }
    static bool& UsesDrawn(litehtml::el_text& text) { return text.*(&TTextAccess::m_use_transformed); }
};

struct TBoxesAccess : litehtml::html_tag {
    static const litehtml::box::vector& Boxes(const litehtml::html_tag& tag) {
        return tag.*(&TBoxesAccess::m_boxes);
    }
};

// One piece of a line as laid out.
struct TPiece {
    litehtml::element::ptr element;
    size_t from = 0, to = 0;  // its characters in the paragraph
    int left = 0, width = 0;  // in the block's content box, margins included
    int gap = 0;              // room up to the next piece of the line in source order
    // The margin, border and padding of the inline elements the piece opens and closes: they stand
    // before and after it in source order, and change sides with it when its run is reversed.
    int opening = 0, closing = 0;
    FriBidiLevel level = 0;
    bool space = false;
};

using TLine = std::vector<TPiece>;

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// The piece's left edge in the block's content box: pieces inside inline elements are placed
// relative to them.
int LeftInBlock(const litehtml::element::ptr& piece, const litehtml::element* block) {
    int left = piece->left();
    for (auto parent = piece->parent(); parent && parent.get() != block; parent = parent->parent())
        left += parent->get_position().x;
    return left;
}

// The paragraph text of a block's lines (spaces as spaces, breaks as paragraph separators, other
// pieces as objects) and the pieces of each line.
void ReadLines(const litehtml::html_tag& block, std::u32string& text, std::vector<TLine>& lines) {
    for (const litehtml::box::ptr& box : TBoxesAccess::Boxes(block)) {
        if (box->get_type() != litehtml::box_line) continue;
        litehtml::elements_vector elements;
        box->get_elements(elements);
        TLine line;
        for (const litehtml::element::ptr& element : elements) {
            if (!element || element->skip()) continue;
            TPiece piece;
            piece.element = element;
            piece.from = text.size();
            auto* word = dynamic_cast<litehtml::el_text*>(element.get());
            if (word && element->is_white_space()) {
                piece.space = true;
                text += U' ';
            } else if (word) {
                const std::string& source = TTextAccess::Source(*word);
                const QList<uint> chars =
                    QString::fromUtf8(source.data(), static_cast<qsizetype>(source.size())).toUcs4();
                for (uint c : chars) text += static_cast<char32_t>(c);
            } else {
                text += element->is_break() ? U'\u2029' : U'\uFFFC';
            }
            piece.to = text.size();
            piece.left = LeftInBlock(element, &block);
            piece.width = element->width();
            line.push_back(std::move(piece));
        }
        if (!line.empty()) lines.push_back(std::move(line));
    }
    // Each inline element opens at its first piece and closes at its last.
    std::vector<const litehtml::element*> opened, closed;
    auto edges = [&](TPiece& piece, std::vector<const litehtml::element*>& seen, bool opening) {
        for (auto parent = piece.element->parent(); parent && parent.get() != &block;
             parent = parent->parent()) {
            if (std::find(seen.begin(), seen.end(), parent.get()) != seen.end()) continue;
            seen.push_back(parent.get());
            if (opening)
                piece.opening += parent->margin_left() + parent->border_left() + parent->padding_left();
            else
                piece.closing += parent->margin_right() + parent->border_right() + parent->padding_right();
        }
    };
    for (TLine& line : lines)
        for (TPiece& piece : line) edges(piece, opened, true);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line)
        for (auto piece = line->rbegin(); piece != line->rend(); ++piece) edges(*piece, closed, false);
    for (TLine& line : lines)
        for (size_t i = 0; i + 1 < line.size(); ++i)
            line[i].gap =
                line[i + 1].left - (line[i].left + line[i].width) - line[i].closing - line[i + 1].opening;
}

bool NeedsOrder(const std::u32string& text, bool rtl) {
    if (rtl) return true;
    for (char32_t c : text) {
        const FriBidiCharType type = fribidi_get_bidi_type(c);
        if (FRIBIDI_IS_RTL(type) || FRIBIDI_IS_EXPLICIT(type) || FRIBIDI_IS_ISOLATE(type)) return true;
    }
    return false;
}

// Draws a word in the embedding of its level when its letters do not all run left to right.
void EmbedWord(TPiece& piece, const std::vector<FriBidiLevel>& levels) {
    auto* word = dynamic_cast<litehtml::el_text*>(piece.element.get());
    if (!word || piece.space || piece.from == piece.to) return;
    std::string& drawn = TTextAccess::Drawn(*word);
    bool& usesDrawn = TTextAccess::UsesDrawn(*word);
    // A word embedded by an earlier layout is read bare.
    std::string bare = usesDrawn ? drawn : TTextAccess::Source(*word);
    if ((StartsWith(bare, kLeftToRight) || StartsWith(bare, kRightToLeft)) &&
        bare.size() >= 2 * kPop.size() && bare.compare(bare.size() - kPop.size(), kPop.size(), kPop) == 0)
        bare = bare.substr(kPop.size(), bare.size() - 2 * kPop.size());
    FriBidiLevel lowest = levels[piece.from];
    bool odd = false;
    for (size_t i = piece.from; i < piece.to; ++i) {
        lowest = std::min(lowest, levels[i]);
        odd = odd || (levels[i] & 1) != 0;
    }
    if (!odd) {
        if (usesDrawn) drawn = bare;
        return;
    }
    drawn = ((lowest & 1) != 0 ? kRightToLeft : kLeftToRight) + bare + kPop;
    usesDrawn = true;
}

// Reorders one line's pieces (rule L2) and places them in that order from the line's left edge.
void PlaceInOrder(TLine& line, FriBidiLevel paragraph) {
    // Spaces at the end of a line take the paragraph's level (rule L1).
    for (size_t i = line.size(); i-- > 0 && line[i].space;) line[i].level = paragraph;
    std::vector<size_t> order(line.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    int highest = 0, lowestOdd = FRIBIDI_BIDI_MAX_EXPLICIT_LEVEL + 2;
    for (const TPiece& piece : line) {
        highest = std::max<int>(highest, piece.level);
        if (piece.level & 1) lowestOdd = std::min<int>(lowestOdd, piece.level);
    }
    if (lowestOdd > highest) return;
    for (int level = highest; level >= lowestOdd; --level) {
        size_t i = 0;
        while (i < order.size()) {
            if (line[order[i]].level < level) {
                ++i;
                continue;
            }
            size_t end = i;
            while (end < order.size() && line[order[end]].level >= level) ++end;
            std::reverse(order.begin() + static_cast<std::ptrdiff_t>(i),
                         order.begin() + static_cast<std::ptrdiff_t>(end));
            i = end;
        }
    }
    int cursor = line.front().left - line.front().opening;
    for (size_t index : order) {
        TPiece& piece = line[index];
        const bool reversed = (piece.level & 1) != 0;
        cursor += reversed ? piece.closing : piece.opening;
        piece.element->get_position().x += cursor - piece.left;
        cursor += piece.width + piece.gap + (reversed ? piece.opening : piece.closing);
    }
}

}  // namespace

void OrderBidiLines(const litehtml::element::ptr& element) {
    auto* block = dynamic_cast<litehtml::html_tag*>(element.get());
    if (!block || TBoxesAccess::Boxes(*block).empty()) return;
    std::u32string text;
    std::vector<TLine> lines;
    ReadLines(*block, text, lines);
    if (text.empty()) return;
    const bool rtl = IsRightToLeft(*block);
    if (!NeedsOrder(text, rtl)) return;
    const auto length = static_cast<FriBidiStrIndex>(text.size());
    const auto* chars = reinterpret_cast<const FriBidiChar*>(text.data());
    std::vector<FriBidiCharType> types(text.size());
    std::vector<FriBidiBracketType> brackets(text.size());
    std::vector<FriBidiLevel> levels(text.size());
    fribidi_get_bidi_types(chars, length, types.data());
    fribidi_get_bracket_types(chars, length, types.data(), brackets.data());
    FriBidiParType base = rtl ? FRIBIDI_PAR_RTL : FRIBIDI_PAR_LTR;
    if (fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), length, &base, levels.data()) == 0)
        return;
    const FriBidiLevel paragraph = rtl ? 1 : 0;
    for (TLine& line : lines) {
        // A word of mixed levels (a number and the full stop after it) goes with the part of it
        // that joins its neighbour's run: the digits of a number broken after its hyphens stay in
        // one run, while numbers that hyphens only separate (in Arabic text) stay apart.
        auto first = [&](const TPiece& piece) {
            return piece.from < piece.to ? levels[piece.from] : paragraph;
        };
        auto last = [&](const TPiece& piece) {
            return piece.from < piece.to ? levels[piece.to - 1] : paragraph;
        };
        for (size_t i = 0; i < line.size(); ++i) {
            TPiece& piece = line[i];
            FriBidiLevel lowest = first(piece), highest = first(piece);
            for (size_t c = piece.from; c < piece.to; ++c) {
                lowest = std::min(lowest, levels[c]);
                highest = std::max(highest, levels[c]);
            }
            FriBidiLevel joined = lowest;
            if (i > 0) joined = std::max(joined, std::min(first(piece), last(line[i - 1])));
            if (i + 1 < line.size()) joined = std::max(joined, std::min(last(piece), first(line[i + 1])));
            piece.level = std::min(joined, highest);
            EmbedWord(piece, levels);
        }
        PlaceInOrder(line, paragraph);
    }
}
