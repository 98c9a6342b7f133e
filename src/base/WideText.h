#pragma once

#include <QString>

#include "base/Text.h"

// The one conversion between byte strings and the windows' wide text: through the locale's
// narrow encoding (the system code page), as every boundary of the program converts.
QString Widen(const ByteString& text);
ByteString Narrow(const QString& text);

// The HTML view's documents are UTF-8 whatever the locale; their texts become wide text here.
// A null pointer reads as empty text.
QString FromUtf8(std::string_view text);
QString FromUtf8(const char* text);
