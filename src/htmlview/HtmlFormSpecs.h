#pragma once

// The collection of the forms and form controls of a document while it is cleaned. Internal to
// the HTML view.
#include <gumbo.h>

#include <string>
#include <vector>

#include "htmlview/HtmlCleaner.h"

namespace htmlclean {

// What a form control element declares: kind, name, value, options and sizes.
TControlSpec ReadControl(const GumboNode* node);

// The forms of one document, with the source ranges that decide which form a control belongs to
// when a table moved the control out of its form element.
class TFormCollector {
public:
    // Finds every form end tag of the source.
    explicit TFormCollector(const std::string& source);
    // A form element starts: its description is added; returns its index.
    int Open(const GumboElement& element, std::vector<TFormSpec>& forms);
    // The form that owns the source offset by its range, -1 for none.
    int FormAt(size_t offset) const;

private:
    // Source ranges of forms, for controls that a table moved out of their form: the form then
    // still owns what follows its start tag up to its end tag, as in browsers.
    struct TFormRange {
        size_t start, end;
        int index;
    };
    size_t sourceSize_;
    std::vector<TFormRange> ranges_;
    std::vector<size_t> formEnds_;  // offsets of every "</form" in the source
};

}  // namespace htmlclean
