#include "htmlview/HtmlCleaner.h"

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "exchange/UtilsUnit.h"

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

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
std::string CollapsedText(const GumboNode* root, size_t limit = 4096) {
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

void CollectOptions(const GumboNode* select, std::vector<TOptionSpec>& options) {
    std::vector<std::pair<const GumboNode*, bool>> stack{{select, false}};
    while (!stack.empty() && options.size() < 10000) {
        auto [node, groupDisabled] = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& element = node->v.element;
        if (element.tag == GUMBO_TAG_OPTION) {
            TOptionSpec option;
            option.label = CollapsedText(node);
            option.value = HasAttribute(element, "value") ? AttributeText(element, "value") : option.label;
            option.selected = HasAttribute(element, "selected");
            option.disabled = groupDisabled || HasAttribute(element, "disabled");
            options.push_back(std::move(option));
            continue;
        }
        const bool disabled =
            groupDisabled || (element.tag == GUMBO_TAG_OPTGROUP && HasAttribute(element, "disabled"));
        for (unsigned i = element.children.length; i-- > 0;)
            stack.push_back({static_cast<const GumboNode*>(element.children.data[i]), disabled});
    }
}

TControlSpec ReadControl(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    TControlSpec control;
    control.name = AttributeText(element, "name");
    control.value = AttributeText(element, "value");
    control.disabled = HasAttribute(element, "disabled");
    control.readOnly = HasAttribute(element, "readonly");
    control.checked = HasAttribute(element, "checked");
    control.multiple = HasAttribute(element, "multiple");
    control.placeholder = AttributeText(element, "placeholder");
    int32_t number;
    if (AttributeNumber(element, "size", number)) control.size = std::clamp(number, 0, 500);
    if (AttributeNumber(element, "maxlength", number) && number >= 0) control.maxLength = number;
    if (AttributeNumber(element, "rows", number)) control.rows = std::clamp(number, 1, 200);
    if (AttributeNumber(element, "cols", number)) control.cols = std::clamp(number, 1, 500);
    if (AttributeNumber(element, "width", number)) control.width = std::clamp(number, 0, 4000);
    if (AttributeNumber(element, "height", number)) control.height = std::clamp(number, 0, 4000);
    control.type = Lower(Trim(AttributeText(element, "type")));
    switch (element.tag) {
        case GUMBO_TAG_SELECT:
            control.kind = TControlKind::Select;
            CollectOptions(node, control.options);
            break;
        case GUMBO_TAG_TEXTAREA:
            control.kind = TControlKind::TextArea;
            control.text = RawText(element, 1u << 20);
            control.wrap = Lower(AttributeText(element, "wrap"));
            break;
        case GUMBO_TAG_BUTTON:
            control.text = CollapsedText(node);
            if (control.type == "reset")
                control.kind = TControlKind::Reset;
            else if (control.type == "button")
                control.kind = TControlKind::Button;
            else
                control.kind = TControlKind::Submit;
            break;
        default:
            if (control.type == "hidden")
                control.kind = TControlKind::Hidden;
            else if (control.type == "checkbox")
                control.kind = TControlKind::CheckBox;
            else if (control.type == "radio")
                control.kind = TControlKind::Radio;
            else if (control.type == "submit")
                control.kind = TControlKind::Submit;
            else if (control.type == "reset")
                control.kind = TControlKind::Reset;
            else if (control.type == "button")
                control.kind = TControlKind::Button;
            else if (control.type == "image")
                control.kind = TControlKind::Picture;
            else if (control.type == "file")
                control.kind = TControlKind::File;
            else
                control.kind = TControlKind::Text;
            control.password = control.type == "password";
            control.src = AttributeText(element, "src");
            control.alt = AttributeText(element, "alt");
            if ((control.kind == TControlKind::CheckBox || control.kind == TControlKind::Radio) &&
                !HasAttribute(element, "value"))
                control.value = "on";
            break;
    }
    return control;
}

// Source ranges of forms, for controls that a table moved out of their form: the form then
// still owns what follows its start tag up to its end tag, as in browsers.
struct TFormRange {
    size_t start, end;
    int index;
};

class TCleaner {
public:
    TCleaner(const std::string& source, const TCleanLimits& limits) : source_(source), limits_(limits) {}

    TCleanDocument Run(const GumboNode* root);

private:
    struct TFrame {
        const GumboNode* node;
        unsigned next = 0;     // next child to visit
        bool emitted = false;  // the element's own tags are written
        int form = -1;         // form owning the subtree
        std::string tag;
        int tableBorder = 0;   // border attribute of the table the subtree is in
        int cellPadding = -1;  // its cellpadding, -1 when absent
        int tableDepth = 0;    // tables around the element, itself included
    };

    void Open(TFrame& frame, int depth);
    void WriteAttributes(const GumboElement& element, TFrame& frame);
    std::string Hints(const GumboElement& element, TFrame& frame);
    void WriteText(const GumboNode* node);
    int FormAt(size_t offset) const;

    const std::string& source_;
    const TCleanLimits& limits_;
    TCleanDocument result_;
    std::vector<TFormRange> ranges_;
    std::vector<size_t> formEnds_;  // offsets of every "</form" in the source
    std::string bodyRules_;         // link colours of the body, as a style sheet
    size_t elements_ = 0;
    size_t spanTotal_ = 0;
    int keptDepth_ = 0;
};

int TCleaner::FormAt(size_t offset) const {
    for (auto it = ranges_.rbegin(); it != ranges_.rend(); ++it)
        if (offset >= it->start && offset < it->end) return it->index;
    return -1;
}

void TCleaner::WriteText(const GumboNode* node) {
    const char* text = node->v.text.text;
    AppendEscaped(result_.html, text, std::strlen(text), false);
}

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

// The style that the presentational attributes of older pages stand for.
std::string TCleaner::Hints(const GumboElement& element, TFrame& frame) {
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
            if (!link.empty()) bodyRules_ += "a:link{color:" + link + "}";
            if (!visited.empty()) bodyRules_ += "a:visited{color:" + visited + "}";
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
    return hints;
}

void TCleaner::WriteAttributes(const GumboElement& element, TFrame& frame) {
    const std::string& tag = frame.tag;
    std::string& out = result_.html;
    // Hints come first in the style, so that the element's own declarations win.
    std::string style = Hints(element, frame);
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        std::string name = Lower(attribute->name);
        if (!IsValidName(name) || name == kControlAttribute) continue;
        // Event handlers are script.
        if (name.size() > 2 && name.compare(0, 2, "on") == 0) continue;
        std::string value = attribute->value;
        if (name == "style") {
            if (limits_.keepStyles) style += value;
            continue;
        }
        if ((tag == "td" || tag == "th") && (name == "colspan" || name == "rowspan")) {
            int32_t span = 1;
            if (!IsIntegerText(Trim(value), span)) span = 1;
            if (name == "colspan") {
                span = std::clamp(span, 1, 1000);
                if (spanTotal_ + static_cast<size_t>(span) > limits_.maxCellSpanTotal) span = 1;
                spanTotal_ += static_cast<size_t>(span);
            } else {
                span = std::clamp(span, 0, 65534);
            }
            value = std::to_string(span);
        }
        out += ' ';
        out += name;
        out += "=\"";
        AppendEscaped(out, value.data(), value.size(), true);
        out += '"';
    }
    if (!style.empty()) {
        out += " style=\"";
        AppendEscaped(out, style.data(), style.size(), true);
        out += '"';
    }
}

void TCleaner::Open(TFrame& frame, int depth) {
    const GumboElement& element = frame.node->v.element;
    std::string& out = result_.html;
    frame.tag = TagName(element);
    // Kept nesting stays within the limit; deeper elements give up their tags, not their text.
    const bool voidTag = IsVoid(element.tag);
    bool keep =
        IsValidName(frame.tag) && elements_ < limits_.maxElements && (voidTag || depth < limits_.maxDepth);
    if (element.tag == GUMBO_TAG_TABLE) ++frame.tableDepth;
    if (frame.tableDepth > limits_.maxTableNesting && IsTablePart(element.tag)) {
        keep = false;
        result_.truncated = true;
    }
    if (!limits_.keepStyles && (element.tag == GUMBO_TAG_STYLE || element.tag == GUMBO_TAG_LINK))
        keep = false;
    if (element.tag == GUMBO_TAG_HTML || element.tag == GUMBO_TAG_HEAD || element.tag == GUMBO_TAG_BODY)
        keep = true;
    if (element.tag == GUMBO_TAG_FORM) {
        result_.forms.push_back({AttributeText(element, "action"), AttributeText(element, "target"),
                                 AttributeText(element, "enctype"),
                                 HasAttribute(element, "method")
                                     ? AttributeText(element, "method").substr(0, 4)
                                     : std::string("Get")});
        frame.form = static_cast<int>(result_.forms.size()) - 1;
        const size_t start = element.start_pos.offset;
        auto close = std::upper_bound(formEnds_.begin(), formEnds_.end(), start);
        ranges_.push_back({start, close == formEnds_.end() ? source_.size() : *close, frame.form});
    }
    if (!keep) {
        if (!frame.tag.empty() && elements_ >= limits_.maxElements) result_.truncated = true;
        if (depth >= limits_.maxDepth) result_.truncated = true;
        return;
    }
    ++elements_;
    frame.emitted = true;
    ++keptDepth_;
    out += '<';
    out += frame.tag;
    WriteAttributes(element, frame);
    if (IsControl(element.tag)) {
        TControlSpec control = ReadControl(frame.node);
        control.form = frame.form >= 0 ? frame.form : FormAt(element.start_pos.offset);
        result_.controls.push_back(std::move(control));
        out += ' ';
        out += kControlAttribute;
        out += "=\"" + std::to_string(result_.controls.size() - 1) + "\"";
    }
    out += '>';
    if (element.tag == GUMBO_TAG_BODY && !bodyRules_.empty()) {
        out += "<style>" + bodyRules_ + "</style>";
        bodyRules_.clear();
    }
}

TCleanDocument TCleaner::Run(const GumboNode* root) {
    std::string& out = result_.html;
    out.reserve(source_.size() + source_.size() / 8 + 64);
    out += "<!DOCTYPE html>";
    for (size_t at = source_.find("</"); at != std::string::npos; at = source_.find("</", at + 2)) {
        if (at + 6 <= source_.size() && (source_[at + 2] | 0x20) == 'f' && (source_[at + 3] | 0x20) == 'o' &&
            (source_[at + 4] | 0x20) == 'r' && (source_[at + 5] | 0x20) == 'm')
            formEnds_.push_back(at);
    }
    std::vector<TFrame> stack;
    stack.push_back(TFrame{root, 0, false, -1, {}, 0, -1, 0});
    while (!stack.empty()) {
        TFrame& frame = stack.back();
        const GumboVector* children = nullptr;
        if (frame.node->type == GUMBO_NODE_DOCUMENT) children = &frame.node->v.document.children;
        if (frame.node->type == GUMBO_NODE_ELEMENT) children = &frame.node->v.element.children;
        const GumboElement* element =
            frame.node->type == GUMBO_NODE_ELEMENT ? &frame.node->v.element : nullptr;
        // Controls, style sheets and titles take their content in one piece.
        const bool leaf = element && (IsControl(element->tag) || element->tag == GUMBO_TAG_STYLE ||
                                      element->tag == GUMBO_TAG_TITLE || IsVoid(element->tag));
        if (element && frame.next == 0 && element->tag == GUMBO_TAG_STYLE && frame.emitted) {
            std::string css = RawText(*element, limits_.maxStyleBytes);
            // The text is written raw, so it must not close the element early.
            for (size_t at = Lower(css).find("</style"); at != std::string::npos;
                 at = Lower(css).find("</style"))
                css.erase(at, 2);
            out += css;
        } else if (element && frame.next == 0 && element->tag == GUMBO_TAG_TITLE && frame.emitted) {
            const std::string title = CollapsedText(frame.node, 1024);
            AppendEscaped(out, title.data(), title.size(), false);
        } else if (element && frame.next == 0 && element->tag == GUMBO_TAG_A && frame.emitted &&
                   element->children.length == 0 &&
                   (HasAttribute(*element, "name") || HasAttribute(*element, "id"))) {
            // An empty anchor gets an invisible character so that it has a place in the layout.
            out += "\xE2\x80\x8B";
        }
        if (leaf || !children || frame.next >= children->length) {
            if (frame.emitted) {
                if (!element || !IsVoid(element->tag)) {
                    out += "</";
                    out += frame.tag;
                    out += '>';
                }
                --keptDepth_;
            }
            stack.pop_back();
            continue;
        }
        const auto* child = static_cast<const GumboNode*>(children->data[frame.next++]);
        const int form = frame.form;
        switch (child->type) {
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_WHITESPACE:
            case GUMBO_NODE_CDATA: WriteText(child); break;
            case GUMBO_NODE_ELEMENT: {
                if (IsDropped(child->v.element)) {
                    if (child->v.element.tag == GUMBO_TAG_BASE && result_.baseHref.empty())
                        result_.baseHref = AttributeText(child->v.element, "href");
                    break;
                }
                TFrame next{child, 0, false, -1, {}, frame.tableBorder, frame.cellPadding, frame.tableDepth};
                next.form = form;
                const int depth = keptDepth_;
                stack.push_back(std::move(next));
                Open(stack.back(), depth);
                break;
            }
            default: break;
        }
    }
    return std::move(result_);
}

}  // namespace

TCleanDocument CleanDocument(const std::string& utf8, const TCleanLimits& limits) {
    std::string source = utf8.size() > limits.maxInputBytes ? utf8.substr(0, limits.maxInputBytes) : utf8;
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    GumboOutput* output = gumbo_parse_with_options(&options, source.data(), source.size());
    TCleaner cleaner(source, limits);
    TCleanDocument result = cleaner.Run(output->document);
    if (utf8.size() > limits.maxInputBytes) result.truncated = true;
    gumbo_destroy_output(&options, output);
    return result;
}
