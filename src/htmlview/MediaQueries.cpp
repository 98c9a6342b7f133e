#include "htmlview/MediaQueries.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <string_view>
#include <utility>

#include "htmlview/CssText.h"

using namespace csstext;

std::string MediaList(const std::string& media) {
    // Features whose value is fixed for the view: a desktop screen in light mode with a mouse,
    // one device pixel per pixel.
    static const std::pair<const char*, const char*> kFixed[] = {
        {"prefers-color-scheme", "light"},
        {"prefers-reduced-motion", "no-preference"},
        {"prefers-contrast", "no-preference"},
        {"prefers-reduced-transparency", "no-preference"},
        {"prefers-reduced-data", "no-preference"},
        {"forced-colors", "none"},
        {"inverted-colors", "none"},
        {"hover", "hover"},
        {"any-hover", "hover"},
        {"pointer", "fine"},
        {"any-pointer", "fine"},
        {"color-gamut", "srgb"},
        {"dynamic-range", "standard"},
        {"update", "fast"},
        {"grid", "0"},
        {"display-mode", "browser"},
        {"scan", "progressive"}};
    // Features the renderer evaluates itself (the rest of its list is left to it as well).
    static const char* const kRendered[] = {
        "width",       "height",       "device-width",        "device-height",
        "orientation", "aspect-ratio", "device-aspect-ratio", "color",
        "color-index", "monochrome"};
    std::string result;
    std::string_view list(media);
    size_t from = 0;
    while (from <= list.size()) {
        size_t comma = from;
        int depth = 0;
        while (comma < list.size() && (list[comma] != ',' || depth > 0)) {
            if (list[comma] == '(') ++depth;
            if (list[comma] == ')') --depth;
            ++comma;
        }
        const std::string query = Lower(Stripped(list.substr(from, comma - from)));
        from = comma + 1;
        if (query.empty()) {
            if (comma >= list.size()) break;
            continue;
        }
        // type and (feature) and (feature) ...
        bool negated = false, matches = true, valid = true;
        std::string type, kept;
        size_t at = 0;
        while (at < query.size() && valid) {
            if (IsSpace(query[at])) {
                ++at;
                continue;
            }
            if (query[at] == '(') {
                const size_t close = query.find(')', at);
                if (close == std::string::npos) {
                    valid = false;
                    break;
                }
                const std::string feature(Stripped(std::string_view(query).substr(at + 1, close - at - 1)));
                at = close + 1;
                const size_t colon = feature.find(':');
                std::string name(Stripped(std::string_view(feature).substr(0, colon)));
                const std::string value =
                    colon == std::string::npos
                        ? std::string()
                        : std::string(Stripped(std::string_view(feature).substr(colon + 1)));
                // Level 4 ranges on the width, which the renderer does not read: (width >= 600px).
                const size_t op = feature.find_first_of("<>=");
                if (colon == std::string::npos && op != std::string::npos) {
                    const std::string left(Stripped(std::string_view(feature).substr(0, op)));
                    size_t after = op;
                    while (after < feature.size() &&
                           (feature[after] == '<' || feature[after] == '>' || feature[after] == '='))
                        ++after;
                    const std::string sign = feature.substr(op, after - op);
                    const std::string right(Stripped(std::string_view(feature).substr(after)));
                    if ((left == "width" || left == "height") &&
                        feature.find_first_of("<>", after) == std::string::npos && !right.empty() &&
                        std::isdigit(static_cast<unsigned char>(right[0]))) {
                        const char* prefix = sign[0] == '<' ? "max-" : sign[0] == '>' ? "min-" : "";
                        kept += " and (" + std::string(prefix) + left + ":" + right + ")";
                    } else {
                        matches = false;
                    }
                    continue;
                }
                std::string base = name;
                for (const char* prefix : {"min-", "max-"})
                    if (StartsWith(base, prefix)) base = base.substr(4);
                bool known = false;
                for (const auto& [fixed, state] : kFixed)
                    if (name == fixed) {
                        known = true;
                        // A feature named without a value asks whether it is anything but none.
                        if (value.empty()
                                ? std::string(state) == "none" || std::string(state) == "no-preference" ||
                                      std::string(state) == "0"
                                : value != state)
                            matches = false;
                    }
                if (base == "-webkit-device-pixel-ratio" || base == "device-pixel-ratio" ||
                    base == "-moz-device-pixel-ratio" || base == "resolution") {
                    known = true;
                    double number = 0;
                    std::string unit;
                    if (value.empty() || !Number(value, number, unit)) {
                        matches = matches && value.empty();
                    } else {
                        if (unit == "dpi")
                            number /= 96;
                        else if (unit == "dpcm")
                            number *= 2.54 / 96;
                        else if (!unit.empty() && unit != "dppx" && unit != "x")
                            matches = false;
                        const bool min = StartsWith(name, "min-") || StartsWith(name, "-webkit-min-") ||
                                         StartsWith(name, "min--moz-");
                        const bool max = StartsWith(name, "max-") || StartsWith(name, "-webkit-max-") ||
                                         StartsWith(name, "max--moz-");
                        if (min ? 1 < number - 1e-9 : max ? 1 > number + 1e-9 : std::abs(number - 1) > 1e-9)
                            matches = false;
                    }
                }
                if (StartsWith(name, "-webkit-min-device-pixel-ratio") ||
                    StartsWith(name, "-webkit-max-device-pixel-ratio") ||
                    StartsWith(name, "min--moz-device-pixel-ratio") ||
                    StartsWith(name, "max--moz-device-pixel-ratio")) {
                    known = true;
                    double number = 0;
                    std::string unit;
                    if (!Number(value, number, unit) || !unit.empty())
                        matches = false;
                    else if (name.find("min") != std::string::npos ? number > 1 + 1e-9 : number < 1 - 1e-9)
                        matches = false;
                }
                if (!known &&
                    std::find(std::begin(kRendered), std::end(kRendered), base) != std::end(kRendered)) {
                    known = true;
                    // Only plain lengths and numbers: hacks such as "0\0" make the query invalid.
                    const bool plain = std::all_of(value.begin(), value.end(), [](unsigned char c) {
                        return std::isalnum(c) || c == '.' || c == '-' || c == '/' || c == ' ' || c == '%';
                    });
                    if (!plain)
                        matches = false;
                    else
                        kept += " and (" + name + (value.empty() ? "" : ":" + value) + ")";
                }
                if (!known) matches = false;
                continue;
            }
            size_t end = at;
            while (end < query.size() && !IsSpace(query[end]) && query[end] != '(') ++end;
            const std::string word = query.substr(at, end - at);
            at = end;
            if (word == "not" && type.empty())
                negated = true;
            else if (word == "only" || word == "and")
                continue;
            else if (type.empty())
                type = word;
            else
                valid = false;
        }
        if (type.empty()) type = "all";
        if (type != "all" && type != "screen" && type != "print") matches = false;
        std::string rewritten;
        if (!valid)
            rewritten = "not all";
        else if (!matches)
            rewritten = negated ? "all" : "not all";
        else
            rewritten = (negated ? "not " : "") + type + kept;
        if (!result.empty()) result += ", ";
        result += rewritten;
        if (comma >= list.size()) break;
    }
    return result;
}
