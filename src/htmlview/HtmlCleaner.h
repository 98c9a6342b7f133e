#pragma once

#include <string>
#include <vector>

// Limits that keep a hostile document from exhausting the renderer, which recurses over the tree
// and keeps one object per word and per table cell.
struct TCleanLimits {
    // Longer documents are cut, with a note at the end: laying out more would stall the window
    // for more than about a second.
    size_t maxInputBytes = 384u << 10;
    int maxDepth = 96;            // deeper elements are unwrapped into their text
    size_t maxElements = 100000;  // later elements are unwrapped
    // Elements and words laid out: beyond this the rest of the document is left out, with a note
    // at the end, so that no layout keeps the window from answering for more than about a second.
    size_t maxLaidOutItems = 40000;
    size_t maxStyleBytes = 512u << 10;  // per style element
    size_t maxCellSpanTotal = 200000;   // colspans beyond this budget count as 1
    // Table layout costs grow about threefold with each level of tables inside tables: deeper
    // tables are unwrapped into their content.
    int maxTableNesting = 8;
    // The same growth makes text inside nested tables costly: the text's bytes, each weighed by
    // three to the power of its table depth, may add up to this much before tables are unwrapped
    // from the deepest level on.
    double maxLayoutCost = 20e6;
    // Off: the document's own style sheets and style attributes are dropped (the fallback for a
    // document whose styles nest tables too deeply).
    bool keepStyles = true;
};

// An HTML form as written in the document.
struct TFormSpec {
    std::string action, target, enctype, method;
};

struct TOptionSpec {
    std::string value, label;
    bool selected = false, disabled = false;
};

enum class TControlKind {
    Text,  // text, password and the other single-line inputs
    Hidden,
    CheckBox,
    Radio,
    Submit,  // input type=submit, button type=submit
    Reset,
    Button,   // does nothing: the view runs no scripts
    Picture,  // input type=image
    File,     // shown disabled: a message must not reach the user's files
    Select,
    TextArea,
};

// One form control, in document order. Its element in the cleaned text carries the attribute
// data-qv-control with the control's index.
struct TControlSpec {
    TControlKind kind = TControlKind::Text;
    int form = -1;                        // index into forms, -1 when the control belongs to none
    std::string type, name, value, text;  // text: text area content or button label
    std::string src, alt, placeholder, wrap;
    bool password = false, checked = false, disabled = false, readOnly = false, multiple = false;
    int size = 0, maxLength = -1, rows = 0, cols = 0;
    int width = 0, height = 0;  // width/height attributes of picture buttons
    std::vector<TOptionSpec> options;
};

struct TCleanDocument {
    std::string html;  // well-formed UTF-8 HTML for the renderer
    std::vector<TFormSpec> forms;
    std::vector<TControlSpec> controls;
    std::string baseHref;    // href of the first base element, as written
    bool truncated = false;  // some limit applied
    bool quirks = false;     // no standard doctype: shown by the rules of browsers' quirks mode
    bool cut = false;        // the end of the document was left out (maxLaidOutItems)
    double layoutCost = 0;   // text bytes weighed by their table depth (see TCleanLimits)
};

// The name of the attribute that ties an element of the cleaned text to its control.
inline constexpr const char* kControlAttribute = "data-qv-control";
// The declarations that an element's presentational attributes stand for, which take the lowest
// author precedence (HintedElements).
inline constexpr const char* kHintAttribute = "data-qv-hints";
// The element around a long word: its pieces stay together unless the style lets long words
// break (overflow-wrap: break-word or anywhere, word-break: break-all).
inline constexpr const char* kWordElement = "qv-word";
// Between the pieces of a long word: a place where it may break (a zero-width space, which the
// renderer drops).
inline constexpr const char* kBreakOpportunity = "\xE2\x80\x8B";

// Parses UTF-8 HTML and writes a cleaned copy: scripts, frames, plug-ins, foreign content and
// comments dropped, nesting flattened beyond the depth limit, spans clamped, sizes capped, form
// controls collected. Never recurses, so any input is safe.
TCleanDocument CleanDocument(const std::string& utf8, const TCleanLimits& limits = {});
