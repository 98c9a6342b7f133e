#include "htmlview/StyleFixes.h"

#include <QColor>
#include <QString>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

namespace {

std::string LowerCopy(std::string_view text) {
    std::string value(text);
    for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return value;
}

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

// Past a quoted string or a comment starting at `at`; `at` itself otherwise.
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

// The words of a value at its top level: function calls and strings stay whole; "/" and ","
// are words of their own.
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

struct TRgba {
    double r = 0, g = 0, b = 0, a = 1;
};

// A number of a colour function, with its unit or per cent sign.
bool Number(std::string_view text, double& number, std::string& unit) {
    const std::string copy(text);
    char* end = nullptr;
    number = std::strtod(copy.c_str(), &end);
    if (end == copy.c_str() || !std::isfinite(number)) return false;
    unit = LowerCopy(end);
    return true;
}

// The arguments of a function call "name(a, b, c)" or "name(a b c / d)".
std::vector<std::string_view> Arguments(std::string_view call) {
    const size_t open = call.find('(');
    if (open == std::string_view::npos || call.back() != ')') return {};
    std::vector<std::string_view> arguments;
    for (std::string_view word : Words(call.substr(open + 1, call.size() - open - 2)))
        if (word != "," && word != "/") arguments.push_back(word);
    return arguments;
}

std::optional<TRgba> RgbFunction(const std::vector<std::string_view>& arguments) {
    if (arguments.size() < 3 || arguments.size() > 4) return std::nullopt;
    double channel[4] = {0, 0, 0, 1};
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string unit;
        if (!Number(arguments[i], channel[i], unit) || (!unit.empty() && unit != "%")) return std::nullopt;
        if (unit == "%") channel[i] = i < 3 ? channel[i] * 2.55 : channel[i] / 100;
    }
    return TRgba{std::clamp(channel[0], 0.0, 255.0), std::clamp(channel[1], 0.0, 255.0),
                 std::clamp(channel[2], 0.0, 255.0), std::clamp(channel[3], 0.0, 1.0)};
}

std::optional<TRgba> HslFunction(const std::vector<std::string_view>& arguments) {
    if (arguments.size() < 3 || arguments.size() > 4) return std::nullopt;
    double hue, saturation, lightness, alpha = 1;
    std::string unit;
    if (!Number(arguments[0], hue, unit)) return std::nullopt;
    if (unit == "turn")
        hue *= 360;
    else if (unit == "rad")
        hue *= 180 / M_PI;
    else if (unit == "grad")
        hue *= 0.9;
    else if (!unit.empty() && unit != "deg")
        return std::nullopt;
    if (!Number(arguments[1], saturation, unit) || (!unit.empty() && unit != "%")) return std::nullopt;
    if (!Number(arguments[2], lightness, unit) || (!unit.empty() && unit != "%")) return std::nullopt;
    if (arguments.size() == 4) {
        if (!Number(arguments[3], alpha, unit) || (!unit.empty() && unit != "%")) return std::nullopt;
        if (unit == "%") alpha /= 100;
    }
    const QColor color = QColor::fromHslF(static_cast<float>(std::fmod(std::fmod(hue, 360) + 360, 360) / 360),
                                          static_cast<float>(std::clamp(saturation / 100, 0.0, 1.0)),
                                          static_cast<float>(std::clamp(lightness / 100, 0.0, 1.0)));
    return TRgba{color.redF() * 255.0, color.greenF() * 255.0, color.blueF() * 255.0,
                 std::clamp(alpha, 0.0, 1.0)};
}

std::optional<TRgba> HexColor(std::string_view digits) {
    if (digits.size() != 3 && digits.size() != 4 && digits.size() != 6 && digits.size() != 8)
        return std::nullopt;
    if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c); }))
        return std::nullopt;
    const bool shortForm = digits.size() <= 4;
    const size_t count = shortForm ? digits.size() : digits.size() / 2;
    double channel[4] = {0, 0, 0, 255};
    for (size_t i = 0; i < count; ++i) {
        const std::string part = shortForm ? std::string(2, digits[i]) : std::string(digits.substr(2 * i, 2));
        channel[i] = static_cast<double>(std::strtol(part.c_str(), nullptr, 16));
    }
    return TRgba{channel[0], channel[1], channel[2], channel[3] / 255};
}

bool IsGradient(std::string_view word) {
    const std::string lower = LowerCopy(word.substr(0, std::min<size_t>(word.size(), 40)));
    return lower.find("gradient(") != std::string::npos;
}

// url(...) with its address in quotes: litehtml 0.6 cuts declarations at every ";", also at the
// one inside an address such as "data:image/png;base64,...".
std::string QuotedUrl(std::string_view word) {
    const size_t open = word.find('(');
    if (open == std::string_view::npos || word.back() != ')') return std::string(word);
    const std::string_view inside = Stripped(word.substr(open + 1, word.size() - open - 2));
    if (!inside.empty() && (inside.front() == '"' || inside.front() == '\'')) return std::string(word);
    std::string address;
    for (char c : inside)
        if (c != '"' && c != '\\') address += c;
    return "url(\"" + address + "\")";
}

bool IsUrl(std::string_view word) {
    return StartsWith(LowerCopy(word.substr(0, std::min<size_t>(word.size(), 4))), "url(");
}

// Keywords that stand for a colour the renderer resolves itself: the system colours of older
// pages (through the container) and inheritance.
bool IsPassedColorKeyword(const std::string& lower) {
    static const char* const kKeywords[] = {"inherit",
                                            "buttonface",
                                            "threedface",
                                            "buttontext",
                                            "window",
                                            "windowtext",
                                            "highlight",
                                            "highlighttext",
                                            "captiontext",
                                            "activecaption",
                                            "infobackground",
                                            "infotext",
                                            "menu",
                                            "menutext",
                                            "threedshadow",
                                            "buttonshadow",
                                            "threedhighlight",
                                            "buttonhighlight",
                                            "threeddarkshadow",
                                            "graytext",
                                            "canvas",
                                            "canvastext",
                                            "linktext"};
    return std::find(std::begin(kKeywords), std::end(kKeywords), lower) != std::end(kKeywords);
}

class TColorReader {
public:
    explicit TColorReader(const std::map<std::string, std::string>& custom) : custom_(custom) {}

    // The colour a word stands for, when it is one that can be read.
    std::optional<TRgba> Value(std::string_view word, int depth = 0) const {
        word = Stripped(word);
        if (word.empty() || depth > 8) return std::nullopt;
        const std::string lower = LowerCopy(word);
        if (lower[0] == '#') return HexColor(std::string_view(lower).substr(1));
        if (StartsWith(lower, "rgb(") || StartsWith(lower, "rgba(")) return RgbFunction(Arguments(lower));
        if (StartsWith(lower, "hsl(") || StartsWith(lower, "hsla(")) return HslFunction(Arguments(lower));
        if (StartsWith(lower, "var(")) {
            const std::string resolved = Var(lower, depth);
            return resolved.empty() ? std::nullopt : Value(resolved, depth + 1);
        }
        if (lower == "transparent") return TRgba{0, 0, 0, 0};
        if (!std::all_of(lower.begin(), lower.end(), [](unsigned char c) { return std::isalpha(c); }))
            return std::nullopt;
        const QColor named =
            QColor::fromString(QString::fromLatin1(lower.data(), static_cast<qsizetype>(lower.size())));
        if (!named.isValid()) return std::nullopt;
        return TRgba{static_cast<double>(named.red()), static_cast<double>(named.green()),
                     static_cast<double>(named.blue()), 1};
    }

    // The word as the renderer reads it; empty when the word is no colour that can be read.
    std::string Text(std::string_view word) const {
        const std::string lower = LowerCopy(Stripped(word));
        if (IsPassedColorKeyword(lower)) return lower;
        const auto value = Value(word);
        return value ? Format(*value) : std::string();
    }

    // The colour a gradient shows on average: the mean of its stops.
    std::optional<TRgba> Gradient(std::string_view call) const {
        TRgba sum{0, 0, 0, 0};
        int stops = 0;
        for (std::string_view argument : Arguments(call))
            if (const auto stop = Value(argument)) {
                sum.r += stop->r;
                sum.g += stop->g;
                sum.b += stop->b;
                sum.a += stop->a;
                ++stops;
            }
        if (stops == 0) return std::nullopt;
        return TRgba{sum.r / stops, sum.g / stops, sum.b / stops, sum.a / stops};
    }

    static std::string Format(const TRgba& color) {
        auto channel = [](double value) { return std::to_string(static_cast<int>(std::lround(value))); };
        if (color.a >= 0.999) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "#%02x%02x%02x", static_cast<int>(std::lround(color.r)),
                          static_cast<int>(std::lround(color.g)), static_cast<int>(std::lround(color.b)));
            return hex;
        }
        char alpha[16];
        std::snprintf(alpha, sizeof alpha, "%.3f", color.a);
        return "rgba(" + channel(color.r) + ", " + channel(color.g) + ", " + channel(color.b) + ", " + alpha +
               ")";
    }

    // var(--name) or var(--name, fallback): the custom property's value, else the fallback.
    std::string Var(std::string_view call, int depth) const {
        const size_t open = call.find('(');
        if (open == std::string_view::npos || call.back() != ')' || depth > 8) return {};
        std::string_view inside = call.substr(open + 1, call.size() - open - 2);
        const size_t comma = inside.find(',');
        const std::string name = LowerCopy(Stripped(inside.substr(0, comma)));
        auto found = custom_.find(name);
        if (found != custom_.end()) return found->second;
        return comma == std::string_view::npos ? std::string()
                                               : std::string(Stripped(inside.substr(comma + 1)));
    }

private:
    const std::map<std::string, std::string>& custom_;
};

bool IsColorProperty(const std::string& name) {
    static const char* const kNames[] = {"color",
                                         "background-color",
                                         "border-color",
                                         "border-top-color",
                                         "border-right-color",
                                         "border-bottom-color",
                                         "border-left-color",
                                         "outline-color",
                                         "text-decoration-color"};
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

bool IsBorderShorthand(const std::string& name) {
    return name == "border" || name == "border-top" || name == "border-right" || name == "border-bottom" ||
           name == "border-left" || name == "outline";
}

// A word of a shorthand that is something else than a colour: a length, a number, a keyword of
// the shorthand.
bool IsNonColorWord(const std::string& lower) {
    static const char* const kKeywords[] = {
        "none",        "hidden", "dotted", "dashed", "solid",   "double", "groove",     "ridge",
        "inset",       "outset", "thin",   "medium", "thick",   "repeat", "repeat-x",   "repeat-y",
        "no-repeat",   "space",  "round",  "scroll", "fixed",   "local",  "left",       "right",
        "top",         "bottom", "center", "cover",  "contain", "auto",   "border-box", "padding-box",
        "content-box", "text",   "/",      ",",      "initial", "unset"};
    if (lower.empty()) return true;
    const unsigned char first = static_cast<unsigned char>(lower[0]);
    if (std::isdigit(first) || first == '.' || first == '-' || first == '+') return true;
    return std::find(std::begin(kKeywords), std::end(kKeywords), lower) != std::end(kKeywords);
}

bool IsFontKeyword(const std::string& lower, const char* const* list, size_t count) {
    return std::find(list, list + count, lower) != list + count;
}

// litehtml 0.6 reads the weights 100 to 700, written as such, as normal; the same number written
// with a decimal point it reads as a number.
std::string FontWeight(std::string_view value) {
    const std::string text(Stripped(value));
    if (text.size() == 3 && std::isdigit(static_cast<unsigned char>(text[0])) && text[0] != '0' &&
        text[0] <= '7' && text.compare(1, 2, "00") == 0)
        return text + ".0";
    return text;
}

}  // namespace

std::string TStyleFixes::MediaList(const std::string& media) {
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
        const std::string query = LowerCopy(Stripped(list.substr(from, comma - from)));
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

std::string TStyleFixes::Declaration(const std::string& name, const std::string& value, bool important) {
    const std::string suffix = important ? " !important" : "";
    TColorReader colors(custom_);
    std::string text = value;
    if (LowerCopy(text).find("var(") != std::string::npos && name.compare(0, 2, "--") != 0) {
        // Each var() replaced by its value; one that has none makes the declaration void.
        std::string resolved;
        std::string lower = LowerCopy(text);
        size_t at = 0;
        for (size_t found = lower.find("var(", at); found != std::string::npos;
             found = lower.find("var(", at)) {
            size_t close = found + 4;
            int depth = 1;
            while (close < text.size() && depth > 0) {
                if (text[close] == '(') ++depth;
                if (text[close] == ')') --depth;
                ++close;
            }
            const std::string replacement =
                colors.Var(std::string_view(text).substr(found, close - found), 0);
            if (replacement.empty()) return {};
            resolved += text.substr(at, found - at) + replacement;
            at = close;
        }
        text = resolved + text.substr(at);
    }
    if (IsColorProperty(name)) {
        std::string colorText;
        for (std::string_view word : Words(text)) {
            const std::string color = colors.Text(word);
            if (color.empty()) return {};
            colorText += (colorText.empty() ? "" : " ") + color;
        }
        return colorText.empty() ? std::string() : name + ":" + colorText + suffix;
    }
    if (IsBorderShorthand(name) || name == "box-shadow") {
        std::string rebuilt;
        for (std::string_view word : Words(text)) {
            const std::string lower = LowerCopy(word);
            // The text's colour, which a border takes when it names none.
            if (lower == "currentcolor") continue;
            std::string part = IsNonColorWord(lower) ? std::string(word) : colors.Text(word);
            if (part.empty()) return {};
            if (!rebuilt.empty() && part != "," && rebuilt.back() != ',') rebuilt += ' ';
            rebuilt += part;
        }
        return name + ":" + rebuilt + suffix;
    }
    if (name == "background" || name == "background-image") {
        // Taken apart: litehtml 0.6 takes any word it does not know for the colour, gradients
        // and "/ cover" included, and paints it black.
        std::string image, color, rest;
        std::optional<TRgba> gradient;
        for (std::string_view word : Words(text)) {
            const std::string lower = LowerCopy(word);
            if (IsUrl(word)) {
                if (image.empty()) image = QuotedUrl(word);
            } else if (IsGradient(word)) {
                if (!gradient) gradient = colors.Gradient(word);
            } else if (lower == ",") {
                color.clear();
            } else if (name == "background" && !IsNonColorWord(lower) && lower != "none") {
                color = colors.Text(word);
                if (color.empty()) return {};
            } else if (name == "background" && lower != "/" && lower != "none") {
                rest += (rest.empty() ? "" : " ") + std::string(word);
            }
        }
        if (color.empty() && gradient) color = TColorReader::Format(*gradient);
        std::string result;
        if (name == "background") {
            // The shorthand resets the background; its positions and repetition stay with it.
            std::string positions;
            for (std::string_view word : Words(rest)) {
                const std::string lower = LowerCopy(word);
                if (lower == "cover" || lower == "contain" || lower == "auto" || lower == "initial" ||
                    lower == "unset")
                    continue;
                positions += (positions.empty() ? "" : " ") + std::string(word);
            }
            result = "background:" + (color.empty() ? std::string("transparent") : color) +
                     (positions.empty() ? "" : " " + positions) + suffix;
        } else if (image.empty()) {
            // A gradient shows as its colour; without a picture litehtml would fetch the
            // gradient's text as an address.
            if (color.empty() && LowerCopy(Stripped(text)) != "none") return {};
            result = "background-image:none" + suffix;
            if (!color.empty()) result += ";background-color:" + color + suffix;
            return result;
        }
        if (!image.empty())
            result += (result.empty() ? "" : ";") + std::string("background-image:") + image + suffix;
        return result;
    }
    if (name == "font-weight") return name + ":" + FontWeight(text) + suffix;
    if (name == "font") {
        // Taken apart into its properties: litehtml 0.6 splits the families at every blank and
        // misreads numeric weights.
        static const char* const kSystem[] = {"caption",     "icon",          "menu",
                                              "message-box", "small-caption", "status-bar",
                                              "inherit",     "initial",       "unset"};
        static const char* const kStyles[] = {"italic", "oblique"};
        static const char* const kWeights[] = {"bold", "bolder", "lighter"};
        static const char* const kStretches[] = {"ultra-condensed", "extra-condensed", "condensed",
                                                 "semi-condensed",  "semi-expanded",   "expanded",
                                                 "extra-expanded",  "ultra-expanded"};
        const std::string_view whole = Stripped(text);
        if (IsFontKeyword(LowerCopy(whole), kSystem, std::size(kSystem))) return name + ":" + text + suffix;
        std::string style = "normal", variant = "normal", weight = "normal", size, lineHeight = "normal";
        size_t at = 0;
        while (at < whole.size()) {
            while (at < whole.size() && IsSpace(whole[at])) ++at;
            size_t end = at;
            while (end < whole.size() && !IsSpace(whole[end]) && whole[end] != '/') ++end;
            const std::string word = LowerCopy(whole.substr(at, end - at));
            if (word.empty()) return {};
            if (IsFontKeyword(word, kStyles, std::size(kStyles)))
                style = word;
            else if (word == "small-caps")
                variant = word;
            else if (IsFontKeyword(word, kWeights, std::size(kWeights)))
                weight = word;
            else if (word.size() == 3 && std::isdigit(static_cast<unsigned char>(word[0])) &&
                     word.compare(1, 2, "00") == 0)
                weight = FontWeight(word);
            else if (word == "normal" || IsFontKeyword(word, kStretches, std::size(kStretches))) {
            } else {
                size = std::string(whole.substr(at, end - at));
                at = end;
                while (at < whole.size() && IsSpace(whole[at])) ++at;
                if (at < whole.size() && whole[at] == '/') {
                    ++at;
                    while (at < whole.size() && IsSpace(whole[at])) ++at;
                    size_t lineEnd = at;
                    while (lineEnd < whole.size() && !IsSpace(whole[lineEnd])) ++lineEnd;
                    lineHeight = std::string(whole.substr(at, lineEnd - at));
                    at = lineEnd;
                }
                break;
            }
            at = end;
        }
        const std::string family(Stripped(whole.substr(std::min(at, whole.size()))));
        // Without a size and a family the shorthand is void.
        if (size.empty() || family.empty()) return {};
        return "font-style:" + style + suffix + ";font-variant:" + variant + suffix +
               ";font-weight:" + weight + suffix + ";font-size:" + size + suffix +
               ";line-height:" + lineHeight + suffix + ";font-family:" + family + suffix;
    }
    return {};
}

std::string TStyleFixes::Declarations(const std::string& declarations) {
    std::string out;
    out.reserve(declarations.size() + 16);
    std::string_view text(declarations);
    size_t at = 0;
    while (at < text.size()) {
        // One declaration, up to ";" at its top level.
        size_t end = at;
        int depth = 0;
        while (end < text.size()) {
            const char c = text[end];
            if (c == '"' || c == '\'' || (c == '/' && end + 1 < text.size() && text[end + 1] == '*')) {
                end = SkipQuoted(text, end);
                continue;
            }
            if (c == '(') ++depth;
            if (c == ')') depth = std::max(0, depth - 1);
            if (c == ';' && depth == 0) break;
            ++end;
        }
        const std::string_view original = text.substr(at, end - at);
        at = end + 1;
        const size_t colon = original.find(':');
        if (colon == std::string_view::npos) {
            out += original;
            if (end < text.size()) out += ';';
            continue;
        }
        const std::string name = LowerCopy(Stripped(original.substr(0, colon)));
        std::string_view value = Stripped(original.substr(colon + 1));
        bool important = false;
        const size_t bang = value.rfind('!');
        if (bang != std::string_view::npos && LowerCopy(Stripped(value.substr(bang + 1))) == "important") {
            important = true;
            value = Stripped(value.substr(0, bang));
        }
        if (name.compare(0, 2, "--") == 0) custom_[name] = std::string(value);
        const bool handled = IsColorProperty(name) || IsBorderShorthand(name) || name == "box-shadow" ||
                             name == "background" || name == "background-image" || name == "font-weight" ||
                             name == "font";
        const bool needsVar =
            name.compare(0, 2, "--") != 0 && LowerCopy(value).find("var(") != std::string::npos;
        if (!handled && !needsVar) {
            out += original;
        } else if (!handled) {
            // var() in a property this rewriting leaves alone: its value put in.
            TColorReader colors(custom_);
            std::string resolved(value);
            const size_t found = LowerCopy(resolved).find("var(");
            size_t close = resolved.find(')', found);
            const std::string replacement =
                close == std::string::npos
                    ? std::string()
                    : colors.Var(std::string_view(resolved).substr(found, close + 1 - found), 0);
            if (!replacement.empty() && resolved.find("var(", close) == std::string::npos) {
                resolved.replace(found, close + 1 - found, replacement);
                out += name + ":" + resolved + (important ? " !important" : "");
            }
        } else {
            out += Declaration(name, std::string(value), important);
        }
        if (end < text.size()) out += ';';
    }
    return out;
}

std::string TStyleFixes::Block(const std::string& css, size_t& at, bool nested) {
    std::string out;
    std::string_view text(css);
    while (at < text.size()) {
        const char c = text[at];
        if (c == '"' || c == '\'' || (c == '/' && at + 1 < text.size() && text[at + 1] == '*')) {
            const size_t end = SkipQuoted(text, at);
            out += text.substr(at, end - at);
            at = end;
            continue;
        }
        if (c == '}') {
            ++at;
            if (nested) return out;
            out += '}';
            continue;
        }
        // A prelude: a selector or an at-rule, up to its block or its end.
        size_t end = at;
        int depth = 0;
        while (end < text.size()) {
            const char d = text[end];
            if (d == '"' || d == '\'' || (d == '/' && end + 1 < text.size() && text[end + 1] == '*')) {
                end = SkipQuoted(text, end);
                continue;
            }
            if (d == '(') ++depth;
            if (d == ')') depth = std::max(0, depth - 1);
            if (depth == 0 && (d == '{' || d == ';' || d == '}')) break;
            ++end;
        }
        std::string prelude(text.substr(at, end - at));
        at = end;
        if (at >= text.size() || text[at] != '{') {
            out += prelude;
            if (at < text.size() && text[at] == ';') {
                out += ';';
                ++at;
            }
            continue;
        }
        ++at;
        const std::string_view trimmed = Stripped(prelude);
        const std::string lower = LowerCopy(trimmed.substr(0, std::min<size_t>(trimmed.size(), 16)));
        if (StartsWith(lower, "@media")) {
            out += "@media " + MediaList(std::string(trimmed.substr(6))) + "{";
            out += Block(css, at, true);
            out += "}";
        } else if (StartsWith(lower, "@supports") || StartsWith(lower, "@document") ||
                   StartsWith(lower, "@layer") || StartsWith(lower, "@container") ||
                   StartsWith(lower, "@keyframes") || StartsWith(lower, "@-webkit-keyframes")) {
            out += prelude + "{";
            out += Block(css, at, true);
            out += "}";
        } else {
            // A block of declarations, up to its closing brace.
            size_t close = at;
            int level = 0;
            while (close < text.size()) {
                const char d = text[close];
                if (d == '"' || d == '\'' ||
                    (d == '/' && close + 1 < text.size() && text[close + 1] == '*')) {
                    close = SkipQuoted(text, close);
                    continue;
                }
                if (d == '{') ++level;
                if (d == '}' && level-- == 0) break;
                ++close;
            }
            out += prelude + "{";
            out += Declarations(std::string(text.substr(at, close - at)));
            out += "}";
            at = std::min(close + 1, text.size());
        }
    }
    return out;
}

std::string TStyleFixes::StyleSheet(const std::string& css) {
    size_t at = 0;
    return Block(css, at, false);
}
