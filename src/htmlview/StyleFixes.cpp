#include "htmlview/StyleFixes.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

#include "htmlview/CssColors.h"
#include "htmlview/CssText.h"
#include "htmlview/MediaQueries.h"

using namespace csstext;

namespace {

bool IsGradient(std::string_view word) {
    const std::string lower = Lower(word.substr(0, std::min<size_t>(word.size(), 40)));
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
    return StartsWith(Lower(word.substr(0, std::min<size_t>(word.size(), 4))), "url(");
}

// Keywords that stand for a colour the renderer resolves itself: the system colours of older
// pages (through the container) and inheritance.

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

std::string TStyleFixes::Declaration(const std::string& name, const std::string& value, bool important) {
    const std::string suffix = important ? " !important" : "";
    TColorReader colors(custom_);
    std::string text = value;
    if (Lower(text).find("var(") != std::string::npos && name.compare(0, 2, "--") != 0) {
        // Each var() replaced by its value; one that has none makes the declaration void.
        std::string resolved;
        std::string lower = Lower(text);
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
            const std::string lower = Lower(word);
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
            const std::string lower = Lower(word);
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
                const std::string lower = Lower(word);
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
            if (color.empty() && Lower(Stripped(text)) != "none") return {};
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
        if (IsFontKeyword(Lower(whole), kSystem, std::size(kSystem))) return name + ":" + text + suffix;
        std::string style = "normal", variant = "normal", weight = "normal", size, lineHeight = "normal";
        size_t at = 0;
        while (at < whole.size()) {
            while (at < whole.size() && IsSpace(whole[at])) ++at;
            size_t end = at;
            while (end < whole.size() && !IsSpace(whole[end]) && whole[end] != '/') ++end;
            const std::string word = Lower(whole.substr(at, end - at));
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
        const std::string name = Lower(Stripped(original.substr(0, colon)));
        std::string_view value = Stripped(original.substr(colon + 1));
        bool important = false;
        const size_t bang = value.rfind('!');
        if (bang != std::string_view::npos && Lower(Stripped(value.substr(bang + 1))) == "important") {
            important = true;
            value = Stripped(value.substr(0, bang));
        }
        if (name.compare(0, 2, "--") == 0) custom_[name] = std::string(value);
        const bool handled = IsColorProperty(name) || IsBorderShorthand(name) || name == "box-shadow" ||
                             name == "background" || name == "background-image" || name == "font-weight" ||
                             name == "font";
        const bool needsVar = name.compare(0, 2, "--") != 0 && Lower(value).find("var(") != std::string::npos;
        if (!handled && !needsVar) {
            out += original;
        } else if (!handled) {
            // var() in a property this rewriting leaves alone: its value put in.
            TColorReader colors(custom_);
            std::string resolved(value);
            const size_t found = Lower(resolved).find("var(");
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
        const std::string lower = Lower(trimmed.substr(0, std::min<size_t>(trimmed.size(), 16)));
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
