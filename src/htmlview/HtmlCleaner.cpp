#include "htmlview/HtmlCleaner.h"

#include <gumbo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/Text.h"
#include "htmlview/CjkLineBreaks.h"
#include "htmlview/ColumnWidths.h"
#include "htmlview/EmptyLines.h"
#include "htmlview/HtmlFormSpecs.h"
#include "htmlview/HtmlGumbo.h"
#include "htmlview/HtmlHints.h"
#include "htmlview/MediaQueries.h"
#include "htmlview/StyleFixes.h"
#include "htmlview/WordBreaks.h"

using namespace htmlclean;

namespace {

// The children of a table in the order they are laid out: captions and column groups, the first
// header group, the bodies and rows, then the footer groups, wherever the document wrote them.
// Empty when the order is the document's own.
std::vector<const GumboNode*> TableOrder(const GumboElement& table) {
    std::vector<const GumboNode*> head, body, foot;
    bool moved = false;
    for (unsigned i = 0; i < table.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(table.children.data[i]);
        const GumboTag tag = child->type == GUMBO_NODE_ELEMENT ? child->v.element.tag : GUMBO_TAG_UNKNOWN;
        if (tag == GUMBO_TAG_THEAD && head.empty()) {
            moved = moved || !body.empty();
            head.push_back(child);
        } else if (tag == GUMBO_TAG_TFOOT) {
            foot.push_back(child);
        } else {
            const bool row = tag == GUMBO_TAG_TBODY || tag == GUMBO_TAG_TR || tag == GUMBO_TAG_THEAD;
            moved = moved || (row && !foot.empty());
            (tag == GUMBO_TAG_CAPTION || tag == GUMBO_TAG_COLGROUP || tag == GUMBO_TAG_COL ? head : body)
                .push_back(child);
        }
    }
    if (!moved) return {};
    head.insert(head.end(), body.begin(), body.end());
    head.insert(head.end(), foot.begin(), foot.end());
    return head;
}

class TCleaner {
public:
    TCleaner(const std::string& source, const TCleanLimits& limits)
        : source_(source), limits_(limits), formCollector_(source) {}

    TCleanDocument Run(const GumboNode* root);

private:
    struct TFrame {
        const GumboNode* node = nullptr;
        unsigned next = 0;     // next child to visit
        bool emitted = false;  // the element's own tags are written
        int form = -1;         // form owning the subtree
        std::string tag;
        THintContext hints;                   // what the presentational attributes around pass on
        int tableDepth = 0;                   // tables around the element, itself included
        std::vector<const GumboNode*> order;  // children in layout order, when it differs
    };

    void Open(TFrame& frame, int depth);
    void WriteAttributes(const GumboElement& element, TFrame& frame);
    void WriteText(const GumboNode* node, int tableDepth);

    const std::string& source_;
    const TCleanLimits& limits_;
    TCleanDocument result_;
    TFormCollector formCollector_;
    TStyleFixes styleFixes_;
    TColumnWidths columnWidths_;
    std::string bodyRules_;  // link colours of the body, as a style sheet
    size_t elements_ = 0;
    size_t spanTotal_ = 0;
    size_t pieces_ = 0;  // pieces of long words written
    size_t items_ = 0;   // elements and words written: what layout costs
    int keptDepth_ = 0;
};

// Words of more than this many characters get break opportunities between their characters,
// inside a word element that keeps them together unless the style lets long words break.
constexpr size_t kLongWordChars = 20;
// A long word is cut into word elements of at most this many characters: the places where even
// an unbreakable word may break, so that no word makes a line wider than any screen.
constexpr size_t kWordSegmentChars = 64;
// Break opportunities in a segment: after every character, up to this many pieces.
constexpr size_t kMaxWordPieces = 64;
constexpr size_t kMaxPiecesPerDocument = 10000;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Ideographs, kana, Hangul and pictographs break by their own rules already; a zero-width space
// is a break opportunity of its own.
bool EndsWord(const char* p, size_t length) {
    if (length >= 3 && cjklinebreaks::BreaksWithoutSpaces(cjklinebreaks::CodePoint(p, length))) return true;
    return length == 3 && std::memcmp(p, kBreakOpportunity, 3) == 0;
}

void TCleaner::WriteText(const GumboNode* node, int tableDepth) {
    const char* text = node->v.text.text;
    const size_t length = std::strlen(text);
    std::string& out = result_.html;
    result_.layoutCost +=
        static_cast<double>(length) * std::pow(3.0, std::min({tableDepth, limits_.maxTableNesting, 30}));
    size_t written = 0;
    for (size_t at = 0; at < length;) {
        if (IsBlank(text[at])) {
            ++at;
            continue;
        }
        ++items_;
        // One word, up to a place where browsers may break it (after a hyphen or a question
        // mark inside it): its characters' offsets.
        std::vector<size_t> chars;
        size_t end = at;
        bool soft = false;
        while (end < length && !IsBlank(text[end]) && !soft) {
            size_t step = std::min(Utf8Length(static_cast<unsigned char>(text[end])), length - end);
            if (EndsWord(text + end, step)) break;
            // No break inside a character cluster.
            if (step == 1 || !cjklinebreaks::Joins(cjklinebreaks::CodePoint(text + end, step)) ||
                chars.empty())
                chars.push_back(end);
            soft = wordbreaks::BreakAfter(text, end, length) && chars.size() > 1;
            end += step;
        }
        if (end == at) end += std::min(Utf8Length(static_cast<unsigned char>(text[at])), length - at);
        if (chars.size() > kLongWordChars && elements_ < limits_.maxElements &&
            pieces_ < kMaxPiecesPerDocument) {
            AppendEscaped(out, text + written, at - written, false);
            chars.push_back(end);
            for (size_t first = 0; first + 1 < chars.size(); first += kWordSegmentChars) {
                if (pieces_ >= kMaxPiecesPerDocument) {
                    AppendEscaped(out, text + chars[first], end - chars[first], false);
                    break;
                }
                const size_t last = std::min(first + kWordSegmentChars, chars.size() - 1);
                // Break opportunities cost one renderer element each: a hostile document of long
                // words gets them only up to a budget; later long words are plain text, broken
                // every kMaxWordChars characters by the renderer's splitting.
                const size_t step = (last - first + kMaxWordPieces - 1) / kMaxWordPieces;
                pieces_ += (last - first + step - 1) / step;
                out += "<";
                out += kWordElement;
                out += ">";
                for (size_t c = first; c < last; c += step) {
                    if (c != first) out += kBreakOpportunity;
                    const size_t to = chars[std::min(c + step, last)];
                    AppendEscaped(out, text + chars[c], to - chars[c], false);
                }
                out += "</";
                out += kWordElement;
                out += ">";
                ++elements_;
                items_ += 1 + (last - first + step - 1) / step;
            }
            written = end;
        }
        if (soft) {
            AppendEscaped(out, text + written, end - written, false);
            out += kBreakOpportunity;
            written = end;
        }
        at = end;
    }
    AppendEscaped(out, text + written, length - written, false);
}

void TCleaner::WriteAttributes(const GumboElement& element, TFrame& frame) {
    const std::string& tag = frame.tag;
    std::string& out = result_.html;
    std::string hints = PresentationalStyle(element, frame.hints, bodyRules_);
    hints += columnWidths_.CellHint(frame.node);
    if (!hints.empty()) hints = styleFixes_.Declarations(hints);
    std::string style;
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        std::string name = Lower(attribute->name);
        if (!IsValidName(name) || name == kControlAttribute || name == kHintAttribute) continue;
        // Event handlers are script.
        if (name.size() > 2 && name.compare(0, 2, "on") == 0) continue;
        if (IsReplacedAttribute(element.tag, name)) continue;
        std::string value = attribute->value;
        if (name == "style") {
            if (limits_.keepStyles) style += styleFixes_.Declarations(FontSizeKeywords(value));
            continue;
        }
        // A style element's media list goes around its rules (see Run), which the renderer
        // evaluates as it evaluates @media.
        if (name == "media" && tag == "style") continue;
        if (name == "media" && tag == "link") value = MediaList(value);
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
    if (!hints.empty()) {
        out += ' ';
        out += kHintAttribute;
        out += "=\"";
        AppendEscaped(out, hints.data(), hints.size(), true);
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
    if (element.tag == GUMBO_TAG_FORM) frame.form = formCollector_.Open(element, result_.forms);
    if (!keep) {
        if (!frame.tag.empty() && elements_ >= limits_.maxElements) result_.truncated = true;
        if (depth >= limits_.maxDepth) result_.truncated = true;
        return;
    }
    ++elements_;
    ++items_;
    frame.emitted = true;
    ++keptDepth_;
    if (element.tag == GUMBO_TAG_BR && BreakStartsLine(out)) out += kBreakOpportunity;
    out += '<';
    out += frame.tag;
    WriteAttributes(element, frame);
    if (IsControl(element.tag)) {
        TControlSpec control = ReadControl(frame.node);
        control.form = frame.form >= 0 ? frame.form : formCollector_.FormAt(element.start_pos.offset);
        result_.controls.push_back(std::move(control));
        out += ' ';
        out += kControlAttribute;
        out += "=\"" + std::to_string(result_.controls.size() - 1) + "\"";
    }
    out += '>';
}

TCleanDocument TCleaner::Run(const GumboNode* root) {
    std::string& out = result_.html;
    out.reserve(source_.size() + source_.size() / 8 + 64);
    out += "<!DOCTYPE html>";
    result_.quirks =
        root->type == GUMBO_NODE_DOCUMENT && root->v.document.doc_type_quirks_mode != GUMBO_DOCTYPE_NO_QUIRKS;
    if (result_.quirks && limits_.keepStyles)
        // Documents without a standard doctype (most e-mails) are shown in browsers' quirks mode,
        // where tables do not take the font size of the text around them.
        out += "<style>table{font-size:medium}</style>";
    // The link colours of the body go in front of the document's own style sheets, which override
    // them as they override every presentational attribute.
    const size_t bodyRulesAt = out.size();
    std::vector<TFrame> stack;
    TFrame top;
    top.node = root;
    stack.push_back(std::move(top));
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
            std::string css =
                styleFixes_.StyleSheet(FontSizeKeywords(RawText(*element, limits_.maxStyleBytes)));
            const std::string media = Trim(AttributeText(*element, "media"));
            if (!media.empty()) css = "@media " + MediaList(media) + "{" + css + "}";
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
        // Enough for one layout: the rest of the document is left out.
        if (items_ > limits_.maxLaidOutItems && children) {
            frame.next = children->length;
            result_.cut = true;
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
        const auto* child = frame.order.empty() ? static_cast<const GumboNode*>(children->data[frame.next])
                                                : frame.order[frame.next];
        ++frame.next;
        const int form = frame.form;
        switch (child->type) {
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_WHITESPACE:
            case GUMBO_NODE_CDATA: WriteText(child, frame.tableDepth); break;
            case GUMBO_NODE_ELEMENT: {
                if (IsDropped(child->v.element)) {
                    if (child->v.element.tag == GUMBO_TAG_BASE && result_.baseHref.empty())
                        result_.baseHref = AttributeText(child->v.element, "href");
                    break;
                }
                TFrame next;
                next.node = child;
                next.form = form;
                next.hints = frame.hints;
                next.tableDepth = frame.tableDepth;
                if (child->v.element.tag == GUMBO_TAG_TABLE) next.order = TableOrder(child->v.element);
                columnWidths_.Read(child);
                const int depth = keptDepth_;
                stack.push_back(std::move(next));
                Open(stack.back(), depth);
                break;
            }
            default: break;
        }
    }
    if (!bodyRules_.empty()) out.insert(bodyRulesAt, "<style>" + bodyRules_ + "</style>");
    return std::move(result_);
}

}  // namespace

namespace {

TCleanDocument CleanOnce(const std::string& utf8, const TCleanLimits& limits) {
    std::string source = utf8.size() > limits.maxInputBytes ? utf8.substr(0, limits.maxInputBytes) : utf8;
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    GumboOutput* output = gumbo_parse_with_options(&options, source.data(), source.size());
    TCleaner cleaner(source, limits);
    TCleanDocument result = cleaner.Run(output->document);
    gumbo_destroy_output(&options, output);
    if (utf8.size() > limits.maxInputBytes || result.cut) {
        result.truncated = true;
        // Said at the end of what is shown.
        result.html +=
            "<p style=\"clear:both;margin:12px 0;padding:6px;border:1px solid #c0c0c0;"
            "background:#ffffe0;color:#000;font:13px Arial,sans-serif\">This message is " +
            std::to_string((utf8.size() + 1023) / 1024) +
            " KB long; only its first part is shown (laying out more would keep the window from "
            "answering).</p>";
    }
    return result;
}

}  // namespace

TCleanDocument CleanDocument(const std::string& utf8, const TCleanLimits& limits) {
    TCleanDocument result = CleanOnce(utf8, limits);
    // Text deep inside nested tables costs layout time that grows with each level: tables are
    // unwrapped from the deepest level on until the cost is bearable.
    TCleanLimits fewer = limits;
    while (result.layoutCost > limits.maxLayoutCost && fewer.maxTableNesting > 1) {
        --fewer.maxTableNesting;
        result = CleanOnce(utf8, fewer);
        result.truncated = true;
    }
    return result;
}
