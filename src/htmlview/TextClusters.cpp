#include "htmlview/TextClusters.h"

#include <QList>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <iterator>

namespace textclusters {

namespace {

struct TRange {
    char32_t first, last;
};

// Characters drawn as emoji pictures by default, without a variation selector
// (Emoji_Presentation), in ascending order.
constexpr TRange kEmojiPresentation[] = {
    {0x231A, 0x231B},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},
    {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},   {0x26D4, 0x26D4},
    {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},   {0x26FA, 0x26FA},   {0x26FD, 0x26FD},
    {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},
    {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF},
    {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F1E6, 0x1F1FF}, {0x1F201, 0x1F201}, {0x1F21A, 0x1F21A},
    {0x1F22F, 0x1F22F}, {0x1F232, 0x1F236}, {0x1F238, 0x1F23A}, {0x1F250, 0x1F251}, {0x1F300, 0x1F320},
    {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA}, {0x1F3CF, 0x1F3D3},
    {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC},
    {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596},
    {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2},
    {0x1F6D5, 0x1F6D7}, {0x1F6DC, 0x1F6DF}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB},
    {0x1F7F0, 0x1F7F0}, {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FAFF},
};

bool InRanges(char32_t c) {
    const auto* end = std::end(kEmojiPresentation);
    const auto* found =
        std::lower_bound(std::begin(kEmojiPresentation), end, c,
                         [](const TRange& range, char32_t value) { return range.last < value; });
    return found != end && found->first <= c;
}

constexpr char32_t kTextSelector = 0xFE0E;
constexpr char32_t kEmojiSelector = 0xFE0F;
constexpr char32_t kKeycap = 0x20E3;

bool KeycapBase(char32_t c) {
    return (c >= '0' && c <= '9') || c == '#' || c == '*';
}

}  // namespace

bool MayHoldEmoji(const QString& text) {
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        // Surrogates (pictographs beyond the first plane), the symbol blocks, the selector and
        // the keycap mark.
        if ((unit >= 0x2000 && unit < 0x2C00) || (unit >= 0xD800 && unit < 0xE000) ||
            unit == kEmojiSelector || unit == 0x3030 || unit == 0x303D || unit == 0x3297 || unit == 0x3299)
            return true;
    }
    return false;
}

bool HasEmojiPresentation(const QString& cluster) {
    const QList<uint> points = cluster.toUcs4();
    if (points.isEmpty()) return false;
    const char32_t base = points.front();
    bool selector = false, keycap = false;
    for (const uint point : points) {
        if (point == kTextSelector) return false;
        selector = selector || point == kEmojiSelector;
        keycap = keycap || point == kKeycap;
    }
    if (KeycapBase(base)) return keycap;
    return selector || InRanges(base);
}

std::vector<TTextPiece> Split(const QString& text) {
    std::vector<TTextPiece> pieces;
    if (!MayHoldEmoji(text)) {
        if (!text.isEmpty()) pieces.push_back({0, text.size(), false});
        return pieces;
    }
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = clusters.toNextBoundary();
        if (end <= start) end = text.size();
        const bool emoji = HasEmojiPresentation(text.mid(start, end - start));
        if (!emoji && !pieces.empty() && !pieces.back().emoji)
            pieces.back().length = end - pieces.back().from;
        else
            pieces.push_back({start, end - start, emoji});
        start = end;
    }
    return pieces;
}

}  // namespace textclusters
