#pragma once

#include "base/Text.h"

// The built-in help document, one line of HTML per entry: a style sheet, then the topics
// "top" (the topic list), "about", "option" and "techn", each reachable as an anchor.
TStringArray HelpDocumentLines();
