#include "htmlview/WordBreaks.h"

#include <cctype>
#include <cstring>

namespace wordbreaks {

namespace {

bool IsWordCharacter(unsigned char c) {
    return std::isalnum(c) || c >= 0x80;
}

// Characters that stay with what stands before them: closing brackets and the punctuation that
// ends or joins parts of a word.
bool StaysWithBefore(unsigned char c) {
    return std::strchr(".,:;/!?)]}", c) != nullptr;
}

bool IsOpeningBracket(unsigned char c) {
    return c == '(' || c == '[' || c == '{';
}

}  // namespace

bool BreakAfter(const char* text, size_t at, size_t length) {
    if (at == 0 || at + 1 >= length) return false;
    const unsigned char before = static_cast<unsigned char>(text[at - 1]);
    const unsigned char after = static_cast<unsigned char>(text[at + 1]);
    switch (text[at]) {
        case '-': return IsWordCharacter(after) && !IsOpeningBracket(before);
        case '?': return !StaysWithBefore(after) && after != ' ';
        default: return false;
    }
}

}  // namespace wordbreaks
