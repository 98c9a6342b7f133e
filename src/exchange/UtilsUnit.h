#pragma once

// The wire encodings of the exchange: field lists and form encoding.

#include <cstdint>

#include "base/Text.h"
#include "transport/Stream.h"

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
