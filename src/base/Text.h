#pragma once

// The words every layer shares: byte strings and the one rule by which numbers are read from
// text. Nothing here depends on any other part of the program.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using ByteString = std::string;  // single-byte text; may hold any byte, NUL included
using TStringArray = std::vector<ByteString>;

// The one rule by which numbers are read from text: leading blanks, an optional sign, then
// decimal digits (within 32 bits signed) or a hexadecimal prefix ("$", "x", "X", "0x", "0X")
// with up to 32 bits of digits, and nothing after the digits. `value` is set only on success.
bool IsIntegerText(std::string_view text, int32_t& value);

// The number in `text` by that rule, or `otherwise` when it holds none.
int32_t IntegerValue(std::string_view text, int32_t otherwise);

// Removes every byte from 0x00 to 0x20 at both ends.
ByteString Trim(const ByteString& text);
// The same as a view into `text`.
std::string_view TrimView(std::string_view text);

// `text` with the ASCII capitals A-Z made small; every other byte stays as it is.
ByteString Lower(std::string_view text);

// How many bytes the UTF-8 sequence that begins with `lead` takes: 1 for ASCII and for a byte
// that cannot begin a sequence, so a walk over broken text still moves on.
size_t Utf8Length(unsigned char lead);
