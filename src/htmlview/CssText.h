#pragma once

// Small readers of style sheet text shared by the style rewriting. Internal to the HTML view.
#include <string>
#include <string_view>
#include <vector>

#include "base/Text.h"

namespace csstext {

bool IsSpace(char c);
std::string_view Stripped(std::string_view text);
bool StartsWith(std::string_view text, std::string_view prefix);
// Past a quoted string or a comment starting at `at`; `at` itself otherwise.
size_t SkipQuoted(std::string_view text, size_t at);
// The words of a value at its top level: function calls and strings stay whole; "/" and ","
// are words of their own.
std::vector<std::string_view> Words(std::string_view value);
// A number with its unit or per cent sign.
bool Number(std::string_view text, double& number, std::string& unit);
// The arguments of a function call "name(a, b, c)" or "name(a b c / d)".
std::vector<std::string_view> Arguments(std::string_view call);

}  // namespace csstext
