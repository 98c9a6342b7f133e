#include "htmlview/HtmlGumbo.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "base/Text.h"

namespace htmlclean {

const char* Attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
    return attribute ? attribute->value : nullptr;
}

std::string AttributeText(const GumboElement& element, const char* name) {
    const char* value = Attribute(element, name);
    return value ? value : "";
}

bool HasAttribute(const GumboElement& element, const char* name) {
    return Attribute(element, name) != nullptr;
}

// Numbers in attributes: surrounding blanks allowed, then the program's integer rule.
bool AttributeNumber(const GumboElement& element, const char* name, int32_t& value) {
    const char* text = Attribute(element, name);
    return text && IsIntegerText(Trim(text), value);
}

void AppendEscaped(std::string& out, const char* text, size_t length, bool attribute) {
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"':
                if (attribute)
                    out += "&quot;";
                else
                    out += c;
                break;
            case '\0': break;
            default: out += c;
        }
    }
}

bool IsValidName(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    if (!std::isalpha(static_cast<unsigned char>(name[0]))) return false;
    for (unsigned char c : name)
        if (!std::isalnum(c) && c != '-' && c != '_' && c != ':' && c != '.') return false;
    return true;
}

std::string TagName(const GumboElement& element) {
    if (element.tag != GUMBO_TAG_UNKNOWN) return gumbo_normalized_tagname(element.tag);
    GumboStringPiece piece = element.original_tag;
    gumbo_tag_from_original_text(&piece);
    return Lower(std::string(piece.data ? piece.data : "", piece.length));
}

// Elements whose subtree is never shown.
bool IsDropped(const GumboElement& element) {
    if (element.tag_namespace != GUMBO_NAMESPACE_HTML) return true;
    switch (element.tag) {
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_NOSCRIPT:
        case GUMBO_TAG_TEMPLATE:
        case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_FRAME:
        case GUMBO_TAG_FRAMESET:
        case GUMBO_TAG_NOFRAMES:
        case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_EMBED:
        case GUMBO_TAG_APPLET:
        case GUMBO_TAG_META:
        case GUMBO_TAG_BASE:
        case GUMBO_TAG_AUDIO:
        case GUMBO_TAG_VIDEO:
        case GUMBO_TAG_CANVAS: return true;
        default: return false;
    }
}

bool IsVoid(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_AREA:
        case GUMBO_TAG_BR:
        case GUMBO_TAG_COL:
        case GUMBO_TAG_HR:
        case GUMBO_TAG_IMG:
        case GUMBO_TAG_INPUT:
        case GUMBO_TAG_LINK:
        case GUMBO_TAG_WBR:
        case GUMBO_TAG_SOURCE:
        case GUMBO_TAG_TRACK:
        case GUMBO_TAG_PARAM:
        case GUMBO_TAG_KEYGEN: return true;
        default: return false;
    }
}

bool IsTablePart(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_TABLE:
        case GUMBO_TAG_CAPTION:
        case GUMBO_TAG_COLGROUP:
        case GUMBO_TAG_COL:
        case GUMBO_TAG_THEAD:
        case GUMBO_TAG_TBODY:
        case GUMBO_TAG_TFOOT:
        case GUMBO_TAG_TR:
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH: return true;
        default: return false;
    }
}

bool IsControl(GumboTag tag) {
    return tag == GUMBO_TAG_INPUT || tag == GUMBO_TAG_SELECT || tag == GUMBO_TAG_TEXTAREA ||
           tag == GUMBO_TAG_BUTTON;
}

// The text content of a subtree with runs of white space collapsed, walked without recursion.
std::string CollapsedText(const GumboNode* root, size_t limit) {
    std::string text;
    std::vector<const GumboNode*> stack{root};
    while (!stack.empty() && text.size() < limit) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE ||
            node->type == GUMBO_NODE_CDATA) {
            for (const char* p = node->v.text.text; *p; ++p) {
                const bool blank = *p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f';
                if (blank) {
                    if (!text.empty() && text.back() != ' ') text += ' ';
                } else {
                    text += *p;
                }
            }
        } else if (node->type == GUMBO_NODE_ELEMENT) {
            if (node->v.element.tag == GUMBO_TAG_SCRIPT || node->v.element.tag == GUMBO_TAG_STYLE) continue;
            const GumboVector& children = node->v.element.children;
            for (unsigned i = children.length; i-- > 0;)
                stack.push_back(static_cast<const GumboNode*>(children.data[i]));
        }
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (!text.empty() && text.front() == ' ') text.erase(0, 1);
    return text;
}

// The raw text of a text area or style element.
std::string RawText(const GumboElement& element, size_t limit) {
    std::string text;
    for (unsigned i = 0; i < element.children.length && text.size() < limit; ++i) {
        const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
            child->type == GUMBO_NODE_CDATA)
            text += child->v.text.text;
    }
    if (text.size() > limit) text.resize(limit);
    return text;
}
}  // namespace htmlclean
