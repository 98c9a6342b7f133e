#pragma once

// Helpers over gumbo's parse tree shared by the cleaner, the presentational hints and the form
// collection. Internal to the HTML view.
#include <gumbo.h>

#include <cstdint>
#include <string>

#include "base/Text.h"

namespace htmlclean {

const char* Attribute(const GumboElement& element, const char* name);
std::string AttributeText(const GumboElement& element, const char* name);
bool HasAttribute(const GumboElement& element, const char* name);
// Numbers in attributes: surrounding blanks allowed, then the program's integer rule.
bool AttributeNumber(const GumboElement& element, const char* name, int32_t& value);
void AppendEscaped(std::string& out, const char* text, size_t length, bool attribute);
bool IsValidName(const std::string& name);
std::string TagName(const GumboElement& element);
// Elements whose subtree is never shown.
bool IsDropped(const GumboElement& element);
bool IsVoid(GumboTag tag);
bool IsTablePart(GumboTag tag);
bool IsControl(GumboTag tag);
// The text content of a subtree with runs of white space collapsed, walked without recursion.
std::string CollapsedText(const GumboNode* root, size_t limit = 4096);
// The raw text of a text area or style element.
std::string RawText(const GumboElement& element, size_t limit);

}  // namespace htmlclean
