#include "htmlview/CssText.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace csstext {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string_view Stripped(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

size_t SkipQuoted(std::string_view text, size_t at) {
    if (at >= text.size()) return at;
    const char c = text[at];
    if (c == '"' || c == '\'') {
        size_t i = at + 1;
        while (i < text.size() && text[i] != c) i += text[i] == '\\' ? 2 : 1;
        return std::min(i + 1, text.size());
    }
    if (c == '/' && at + 1 < text.size() && text[at + 1] == '*') {
        const size_t end = text.find("*/", at + 2);
        return end == std::string_view::npos ? text.size() : end + 2;
    }
    return at;
}

std::vector<std::string_view> Words(std::string_view value) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < value.size()) {
        if (IsSpace(value[at])) {
            ++at;
            continue;
        }
        if (value[at] == '/' || value[at] == ',') {
            if (value[at] == '/' && at + 1 < value.size() && value[at + 1] == '*') {
                at = SkipQuoted(value, at);
                continue;
            }
            words.push_back(value.substr(at, 1));
            ++at;
            continue;
        }
        const size_t start = at;
        int depth = 0;
        while (at < value.size()) {
            const char c = value[at];
            if (c == '"' || c == '\'') {
                at = SkipQuoted(value, at);
                continue;
            }
            if (c == '(') ++depth;
            if (c == ')') depth = std::max(0, depth - 1);
            if (depth == 0 && (IsSpace(c) || c == '/' || c == ',')) break;
            ++at;
        }
        words.push_back(value.substr(start, at - start));
    }
    return words;
}

bool Number(std::string_view text, double& number, std::string& unit) {
    const std::string copy(text);
    char* end = nullptr;
    number = std::strtod(copy.c_str(), &end);
    if (end == copy.c_str() || !std::isfinite(number)) return false;
    unit = Lower(end);
    return true;
}

std::vector<std::string_view> Arguments(std::string_view call) {
    const size_t open = call.find('(');
    if (open == std::string_view::npos || call.back() != ')') return {};
    std::vector<std::string_view> arguments;
    for (std::string_view word : Words(call.substr(open + 1, call.size() - open - 2)))
        if (word != "," && word != "/") arguments.push_back(word);
    return arguments;
}

}  // namespace csstext
