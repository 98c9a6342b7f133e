#pragma once

#include "base/Text.h"

// Web addresses as the program compares and resolves them. Links, pictures and form actions in
// a message are resolved by the same rule.

// `link` resolved against `base`: a relative link means a place on the base's site. A link that
// is absolute, cannot be parsed, or has no usable base comes back unchanged.
ByteString ResolveAddress(const ByteString& base, const ByteString& link);

// Same scheme, host and port (the scheme's default port when none is written).
bool SameOrigin(const ByteString& first, const ByteString& second);
