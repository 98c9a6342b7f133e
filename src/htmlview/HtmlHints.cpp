#include "htmlview/HtmlHints.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/Text.h"
#include "htmlview/HtmlGumbo.h"

namespace htmlclean {

namespace {

// A colour as an attribute gives it: names and hexadecimal digits only, so that nothing else
// reaches the style.
std::string HintColor(const std::string& value) {
    std::string color = Trim(value);
    if (color.empty() || color.size() > 32) return {};
    for (unsigned char c : color)
        if (!std::isalnum(c) && c != '#') return {};
    // Legacy pages write hexadecimal colours without the "#".
    if (color[0] != '#' && (color.size() == 6 || color.size() == 3) &&
        std::all_of(color.begin(), color.end(), [](unsigned char c) { return std::isxdigit(c); }) &&
        std::any_of(color.begin(), color.end(), [](unsigned char c) { return std::isdigit(c); }))
        color = "#" + color;
    return color;
}

std::string HintUrl(const std::string& value) {
    std::string url;
    for (unsigned char c : Trim(value)) {
        if (c <= ' ' || c == '\'' || c == '"' || c == '(' || c == ')' || c == '\\') {
            static const char kHex[] = "0123456789ABCDEF";
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        } else {
            url += static_cast<char>(c);
        }
    }
    return url;
}

std::string HintFamily(const std::string& value) {
    std::string family;
    for (unsigned char c : value)
        if (std::isalnum(c) || c == ' ' || c == ',' || c == '-' || c == '_') family += static_cast<char>(c);
    return Trim(family);
}

bool HintNumber(const GumboElement& element, const char* name, int32_t& value, int32_t limit) {
    if (!AttributeNumber(element, name, value)) return false;
    value = std::clamp(value, 0, limit);
    return true;
}

bool TakesAlign(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_DIV:
        case GUMBO_TAG_P:
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6:
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
        case GUMBO_TAG_TR:
        case GUMBO_TAG_THEAD:
        case GUMBO_TAG_TBODY:
        case GUMBO_TAG_TFOOT:
        case GUMBO_TAG_CAPTION:
        case GUMBO_TAG_TABLE:
        case GUMBO_TAG_CENTER: return true;
        default: return false;
    }
}

// Boxes that an alignment around them places: blocks, and pictures (which place themselves
// only when a style makes them blocks).
bool CentredInside(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_DIV:
        case GUMBO_TAG_P:
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6:
        case GUMBO_TAG_UL:
        case GUMBO_TAG_OL:
        case GUMBO_TAG_DL:
        case GUMBO_TAG_BLOCKQUOTE:
        case GUMBO_TAG_FORM:
        case GUMBO_TAG_IMG: return true;
        default: return false;
    }
}

// align and <center>: the text alignment, and the centring of block boxes inside.
void Align(const GumboElement& element, THintContext& frame, std::string& hints) {
    using TAlign = THintContext::TAlign;
    const bool table = element.tag == GUMBO_TAG_TABLE;
    const std::string align = element.tag == GUMBO_TAG_CENTER ? std::string("center")
                                                              : Lower(Trim(AttributeText(element, "align")));
    if (table) {
        // A table is placed by its own align or by the alignment around it, and starts its
        // text afresh.
        const bool own = align == "center" || align == "left" || align == "right";
        if (align == "center" || (!own && frame.legacyAlign == TAlign::Center))
            hints += "margin-left:auto;margin-right:auto;";
        else if (!own && frame.legacyAlign == TAlign::Right)
            hints += "margin-left:auto;";
        else if (align == "left" || align == "right")
            hints += "float:" + align + ";";
        if (frame.legacyAlign != TAlign::None) hints += "text-align:start;";
        frame.legacyAlign = TAlign::None;
        return;
    }
    if (CentredInside(element.tag) && (element.tag != GUMBO_TAG_DIV || align.empty())) {
        // Block boxes inside centred content are centred as well: a paragraph with a width, a
        // picture made a block. Browsers centre them whatever margins the style gives them.
        if (frame.legacyAlign == TAlign::Center)
            hints += "margin-left:auto !important;margin-right:auto !important;";
        if (frame.legacyAlign == TAlign::Right) hints += "margin-left:auto !important;";
    }
    if (!TakesAlign(element.tag) || align.empty()) return;
    if (align == "center" || align == "middle") {
        hints += "text-align:center;";
        frame.legacyAlign = TAlign::Center;
    } else if (align == "right") {
        hints += "text-align:right;";
        frame.legacyAlign = TAlign::Right;
    } else if (align == "left" || align == "justify") {
        hints += "text-align:" + align + ";";
        frame.legacyAlign = TAlign::None;
    }
}

}  // namespace

bool IsReplacedAttribute(GumboTag tag, const std::string& name) {
    return name == "align" && TakesAlign(tag);
}

std::string PresentationalStyle(const GumboElement& element, THintContext& frame, std::string& bodyRules) {
    std::string hints;
    auto color = [&](const char* attribute, const char* property) {
        const std::string value = HintColor(AttributeText(element, attribute));
        if (!value.empty()) hints += std::string(property) + ":" + value + ";";
    };
    auto picture = [&](const char* attribute) {
        const std::string value = AttributeText(element, attribute);
        if (!Trim(value).empty()) hints += "background-image:url('" + HintUrl(value) + "');";
    };
    int32_t n;
    switch (element.tag) {
        case GUMBO_TAG_BODY: {
            color("bgcolor", "background-color");
            color("text", "color");
            picture("background");
            const std::string link = HintColor(AttributeText(element, "link"));
            const std::string visited = HintColor(AttributeText(element, "vlink"));
            if (!link.empty()) bodyRules += "a:link{color:" + link + "}";
            if (!visited.empty()) bodyRules += "a:visited{color:" + visited + "}";
            break;
        }
        case GUMBO_TAG_TABLE:
            frame.tableBorder = 0;
            frame.cellPadding = -1;
            if (HasAttribute(element, "border")) {
                frame.tableBorder = 1;
                if (AttributeNumber(element, "border", n)) frame.tableBorder = std::clamp(n, 0, 100);
            }
            if (frame.tableBorder > 0)
                hints += "border:" + std::to_string(frame.tableBorder) + "px outset #808080;";
            if (HintNumber(element, "cellpadding", n, 1000)) frame.cellPadding = n;
            color("bgcolor", "background-color");
            picture("background");
            break;
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
            if (frame.tableBorder > 0) hints += "border:1px inset #808080;";
            if (frame.cellPadding >= 0) hints += "padding:" + std::to_string(frame.cellPadding) + "px;";
            color("bgcolor", "background-color");
            picture("background");
            break;
        case GUMBO_TAG_TR: color("bgcolor", "background-color"); break;
        case GUMBO_TAG_FONT: {
            const std::string family = HintFamily(AttributeText(element, "face"));
            if (!family.empty()) hints += "font-family:" + family + ";";
            break;
        }
        case GUMBO_TAG_OL:
        case GUMBO_TAG_UL:
        case GUMBO_TAG_LI: {
            const std::string type = Trim(AttributeText(element, "type"));
            static const std::pair<const char*, const char*> kTypes[] = {
                {"1", "decimal"},     {"a", "lower-alpha"}, {"A", "upper-alpha"}, {"i", "lower-roman"},
                {"I", "upper-roman"}, {"disc", "disc"},     {"circle", "circle"}, {"square", "square"}};
            for (const auto& [name, style] : kTypes)
                if (type == name || (std::strlen(name) > 1 && Lower(type) == name))
                    hints += std::string("list-style-type:") + style + ";";
            break;
        }
        case GUMBO_TAG_HR: {
            // A rule's width in pixels or per cent; one narrower than its block is centred
            // unless aligned.
            const std::string width = Trim(AttributeText(element, "width"));
            if (!width.empty() && width.size() < 8 &&
                std::all_of(width.begin(), width.end(),
                            [](unsigned char c) { return std::isdigit(c) || c == '%'; }) &&
                std::isdigit(static_cast<unsigned char>(width[0])))
                hints += "width:" + (width.back() == '%' ? width : width + "px") + ";";
            const std::string align = Lower(Trim(AttributeText(element, "align")));
            if (align == "left") hints += "margin-left:0;margin-right:auto;";
            if (align == "right") hints += "margin-left:auto;margin-right:0;";
            if (HasAttribute(element, "noshade")) hints += "border-color:gray;background-color:gray;";
            if (HintNumber(element, "size", n, 100) && n > 1)
                hints += "height:" + std::to_string(n - 2) + "px;";
            break;
        }
        case GUMBO_TAG_IMG: {
            const std::string align = Lower(Trim(AttributeText(element, "align")));
            if (align == "left" || align == "right") hints += "float:" + align + ";";
            if (HintNumber(element, "hspace", n, 1000))
                hints += "margin-left:" + std::to_string(n) + "px;margin-right:" + std::to_string(n) + "px;";
            if (HintNumber(element, "vspace", n, 1000))
                hints += "margin-top:" + std::to_string(n) + "px;margin-bottom:" + std::to_string(n) + "px;";
            if (HintNumber(element, "border", n, 100) && n > 0)
                hints += "border:" + std::to_string(n) + "px solid;";
            break;
        }
        default: break;
    }
    Align(element, frame, hints);
    return hints;
}

std::string FontSizeKeywords(std::string css) {
    std::string lower = Lower(css);
    for (size_t at = lower.find("font-size"); at != std::string::npos; at = lower.find("font-size", at + 9)) {
        size_t value = at + 9;
        while (value < lower.size() && (lower[value] == ' ' || lower[value] == '\t' || lower[value] == '\n'))
            ++value;
        if (value >= lower.size() || lower[value] != ':') continue;
        ++value;
        while (value < lower.size() && (lower[value] == ' ' || lower[value] == '\t' || lower[value] == '\n'))
            ++value;
        for (const auto& [keyword, size] : {std::pair<const char*, const char*>{"smaller", "0.833em"},
                                            std::pair<const char*, const char*>{"larger", "1.2em"}}) {
            const size_t length = std::strlen(keyword);
            if (lower.compare(value, length, keyword) != 0) continue;
            css.replace(value, length, size);
            lower.replace(value, length, size);
            break;
        }
    }
    return css;
}

}  // namespace htmlclean
