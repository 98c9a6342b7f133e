#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transport/Stream.h"

using ByteString = std::string;  // single-byte text; may hold any byte, NUL included
using TStringArray = std::vector<ByteString>;

// The one rule by which numbers are read from text: leading blanks, an optional sign, then
// decimal digits (within 32 bits signed) or a hexadecimal prefix ("$", "x", "X", "0x", "0X")
// with up to 32 bits of digits, and nothing after the digits.
bool IsIntegerText(const ByteString& text, int32_t& value);

// Removes every byte from 0x00 to 0x20 at both ends.
ByteString Trim(const ByteString& text);

// The whole content of the stream from its beginning; nullptr gives "".
ByteString StreamToString(TStream* stream);

// Decodes a field list: a width digit d, then length fields of d bytes each followed by their data.
TStringArray ParseFieldList(const ByteString& text);

// The value of the last pair whose name is exactly `name`, or "".
ByteString FieldValue(const TStringArray& strings, const ByteString& name);

// Blank to "+", letters and digits as they are, every other byte as %XX in upper case.
ByteString FormEncode(const ByteString& value);

// Opens URL, unchanged, in a new window of the user's web browser; with FillWorkArea the window
// covers the work area of the primary screen. An empty URL shows the window without loading
// anything. A browser that cannot be found or started raises EBrowserError (platform/Browser.h),
// a std::runtime_error whose text tells the user what went wrong.
void OpenInBrowser(const ByteString& URL, bool FillWorkArea);
