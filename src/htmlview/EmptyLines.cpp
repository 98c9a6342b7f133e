#include "htmlview/EmptyLines.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace htmlclean {

namespace {

// How far back a break looks; beyond it the line counts as holding something.
constexpr size_t kMaxLookBack = 1024;

enum class TTagKind { Block, Inline, Content };

TTagKind KindOf(std::string_view name) {
    static constexpr std::array<std::string_view, 46> kBlocks = {
        "address", "article", "aside", "blockquote", "body",    "caption",  "center",     "dd",
        "details", "dir",     "div",   "dl",         "dt",      "fieldset", "figcaption", "figure",
        "footer",  "form",    "h1",    "h2",         "h3",      "h4",       "h5",         "h6",
        "header",  "hr",      "html",  "legend",     "li",      "main",     "menu",       "nav",
        "ol",      "p",       "pre",   "section",    "summary", "table",    "tbody",      "td",
        "tfoot",   "th",      "thead", "tr",         "ul",      "br"};
    static constexpr std::array<std::string_view, 34> kInlines = {
        "a",      "abbr",   "b",   "bdi", "bdo",   "big",  "cite", "code", "data", "del",    "dfn",   "em",
        "font",   "i",      "ins", "kbd", "label", "mark", "nobr", "q",    "s",    "samp",   "small", "span",
        "strike", "strong", "sub", "sup", "time",  "tt",   "u",    "var",  "wbr",  "qv-word"};
    if (std::find(kBlocks.begin(), kBlocks.end(), name) != kBlocks.end()) return TTagKind::Block;
    if (std::find(kInlines.begin(), kInlines.end(), name) != kInlines.end()) return TTagKind::Inline;
    return TTagKind::Content;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

}  // namespace

bool BreakStartsLine(const std::string& html) {
    const size_t stop = html.size() > kMaxLookBack ? html.size() - kMaxLookBack : 0;
    size_t at = html.size();
    while (at > stop) {
        const char c = html[at - 1];
        if (IsBlank(c)) {
            --at;
            continue;
        }
        if (c != '>') return false;
        const size_t open = html.rfind('<', at - 1);
        if (open == std::string::npos || open < stop) return false;
        size_t name = open + 1;
        if (name < at && html[name] == '/') ++name;
        size_t end = name;
        while (end < at && (std::isalnum(static_cast<unsigned char>(html[end])) || html[end] == '-')) ++end;
        switch (KindOf(std::string_view(html).substr(name, end - name))) {
            case TTagKind::Block: return true;
            case TTagKind::Content: return false;
            case TTagKind::Inline: at = open; break;
        }
    }
    return false;
}

}  // namespace htmlclean
