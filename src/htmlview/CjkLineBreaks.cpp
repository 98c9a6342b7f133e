#include "htmlview/CjkLineBreaks.h"

#include <QChar>
#include <algorithm>
#include <iterator>

namespace cjklinebreaks {

namespace {

enum class TKind { Other, Breaking, NoStart, NoEnd };

// Characters that may not start a line: closing brackets and quotes, full stops, commas and
// marks that end a phrase, iteration marks, small kana and the prolonged sound mark. Sorted.
constexpr char32_t kNoStart[] = {
    U'!',   U'%',   U')',   U',',   U'.',   U':',   U';',   U'?',   U']',   U'}',   0x2019, 0x201D, 0x2030,
    0x2032, 0x2033, 0x203C, 0x2047, 0x2048, 0x2049, 0x2103, 0x3001, 0x3002, 0x3005, 0x3009, 0x300B, 0x300D,
    0x300F, 0x3011, 0x3015, 0x3017, 0x3019, 0x301B, 0x301C, 0x301E, 0x301F, 0x303B, 0x3041, 0x3043, 0x3045,
    0x3047, 0x3049, 0x3063, 0x3083, 0x3085, 0x3087, 0x308E, 0x3095, 0x3096, 0x309B, 0x309C, 0x309D, 0x309E,
    0x30A0, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30C3, 0x30E3, 0x30E5, 0x30E7, 0x30EE, 0x30F5, 0x30F6,
    0x30FB, 0x30FC, 0x30FD, 0x30FE, 0xFF01, 0xFF05, 0xFF09, 0xFF0C, 0xFF0E, 0xFF1A, 0xFF1B, 0xFF1F, 0xFF3D,
    0xFF5D, 0xFF60, 0xFF61, 0xFF63, 0xFF64, 0xFF65, 0xFF9E, 0xFF9F,
};

// Characters that may not end a line: opening brackets and quotes. Sorted.
constexpr char32_t kNoEnd[] = {
    U'(',   U'[',   U'{',   0x2018, 0x201C, 0x3008, 0x300A, 0x300C, 0x300E, 0x3010,
    0x3014, 0x3016, 0x3018, 0x301A, 0x301D, 0xFF08, 0xFF3B, 0xFF5B, 0xFF5F, 0xFF62,
};

bool Listed(const char32_t* first, const char32_t* last, char32_t c) {
    return std::binary_search(first, last, c);
}

bool Breaking(char32_t c) {
    return (c >= 0x2E80 && c <= 0x303F) ||  // radicals, ideographic description, CJK punctuation
           (c >= 0x3040 && c <= 0x31EF) ||  // kana, bopomofo, Hangul compatibility jamo
           (c >= 0x31F0 && c <= 0x4DBF) ||  // small katakana extension, enclosed CJK, extension A
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
           (c >= 0xFF01 && c <= 0xFFEF) ||    // full-width Latin, half-width katakana
           (c >= 0x1F000 && c <= 0x1FAFF) ||  // pictographs and emoji
           (c >= 0x20000 && c <= 0x3FFFD);    // ideographs beyond the first plane
}

TKind KindOf(char32_t c) {
    if (Listed(std::begin(kNoStart), std::end(kNoStart), c) || (c >= 0x31F0 && c <= 0x31FF) ||
        (c >= 0xFF67 && c <= 0xFF70))
        return TKind::NoStart;
    if (Listed(std::begin(kNoEnd), std::end(kNoEnd), c)) return TKind::NoEnd;
    return Breaking(c) ? TKind::Breaking : TKind::Other;
}

// A character of these scripts on either side is what allows a break without a space.
bool Wide(char32_t c, TKind kind) {
    return kind == TKind::Breaking || c >= 0x2E80;
}

}  // namespace

char32_t CodePoint(const char* p, size_t length) {
    const auto byte = [p](size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(p[i])); };
    switch (length) {
        case 2: return ((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
        case 3: return ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
        case 4:
            return ((byte(0) & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) |
                   (byte(3) & 0x3F);
        default: return byte(0);
    }
}

bool BreaksWithoutSpaces(char32_t c) {
    return c >= 0x2E80 && !Joins(c);
}

bool Regional(char32_t c) {
    return c >= 0x1F1E6 && c <= 0x1F1FF;
}

bool Joins(char32_t c) {
    return c == 0x200D || c == 0x20E3 || (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0x1F3FB && c <= 0x1F3FF) ||
           (c >= 0xE0020 && c <= 0xE007F) || (c >= 0xE0100 && c <= 0xE01EF) || (c >= 0x1160 && c <= 0x11FF) ||
           (c >= 0x300 && QChar::isMark(c));
}

bool BreakBetween(char32_t before, char32_t after, int regionalBefore) {
    // Latin, Greek, Cyrillic and the other scripts below break only at spaces.
    if (before < 0x2E80 && after < 0x2E80) return false;
    if (Joins(after) || before == 0x200D) return false;
    if (Regional(before) && Regional(after) && regionalBefore % 2 == 1) return false;
    const TKind first = KindOf(before), second = KindOf(after);
    if (second == TKind::NoStart || first == TKind::NoEnd) return false;
    return Wide(before, first) || Wide(after, second);
}

}  // namespace cjklinebreaks
