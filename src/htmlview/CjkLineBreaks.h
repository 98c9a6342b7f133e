#pragma once

#include <cstddef>

// Where a line may break inside text without spaces, as browsers break Chinese, Japanese and
// Korean text: between any two ideographs, kana, Hangul syllables, full-width or half-width forms
// and pictographs, but never before a closing bracket, a full stop or comma of these scripts, a
// small kana or the prolonged sound mark, never after an opening bracket, and never inside a
// character cluster (a keycap, a flag, a sequence joined with U+200D, a character and its marks).
namespace cjklinebreaks {

// Whether a line may break between two adjacent characters. regionalBefore counts the regional
// indicators that end the text before the second character: two of them make one flag.
bool BreakBetween(char32_t before, char32_t after, int regionalBefore);

// Whether a character belongs to the character before it, so that no cut may fall before it.
bool Joins(char32_t c);

// Whether a character is a regional indicator, half of a flag.
bool Regional(char32_t c);

// Whether lines may break beside a character without a space (save the rules above): ideographs,
// kana, Hangul, full-width and half-width forms, their punctuation and pictographs.
bool BreaksWithoutSpaces(char32_t c);

// The code point of a UTF-8 sequence of a known length (1 to 4 bytes).
char32_t CodePoint(const char* p, size_t length);

}  // namespace cjklinebreaks
