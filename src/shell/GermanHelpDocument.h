#pragma once

#include <QLocale>

#include "base/Text.h"

// The help document in German: the English document's head (its style sheet) with the same
// topics and anchors in German.
TStringArray GermanHelpDocumentLines();

// The help document for the user's language: German under a German locale, else English.
TStringArray HelpDocumentLinesFor(const QLocale& locale);
