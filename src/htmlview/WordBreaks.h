#pragma once

#include <cstddef>

// Where a line may break inside a word of Latin letters, digits and punctuation, as browsers
// break words and web addresses: after a hyphen before a letter or digit, after a question mark
// before the rest of a query. Never after a slash: a browser moves a whole address to the next
// line rather than leave "https://" at the end of one.
namespace wordbreaks {

// Whether a line may break after the character at `at` of `text` (`length` bytes, UTF-8).
bool BreakAfter(const char* text, size_t at, size_t length);

}  // namespace wordbreaks
