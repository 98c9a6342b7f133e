#include "htmlview/HtmlFormSpecs.h"

#include <algorithm>

#include "base/Text.h"
#include "htmlview/HtmlGumbo.h"

namespace htmlclean {

namespace {

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

}  // namespace

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

TFormCollector::TFormCollector(const std::string& source) : sourceSize_(source.size()) {
    for (size_t at = source.find("</"); at != std::string::npos; at = source.find("</", at + 2)) {
        if (at + 6 <= source.size() && (source[at + 2] | 0x20) == 'f' && (source[at + 3] | 0x20) == 'o' &&
            (source[at + 4] | 0x20) == 'r' && (source[at + 5] | 0x20) == 'm')
            formEnds_.push_back(at);
    }
}

int TFormCollector::Open(const GumboElement& element, std::vector<TFormSpec>& forms) {
    forms.push_back({AttributeText(element, "action"), AttributeText(element, "target"),
                     AttributeText(element, "enctype"),
                     HasAttribute(element, "method") ? AttributeText(element, "method").substr(0, 4)
                                                     : std::string("Get")});
    const int index = static_cast<int>(forms.size()) - 1;
    const size_t start = element.start_pos.offset;
    auto close = std::upper_bound(formEnds_.begin(), formEnds_.end(), start);
    ranges_.push_back({start, close == formEnds_.end() ? sourceSize_ : *close, index});
    return index;
}

int TFormCollector::FormAt(size_t offset) const {
    for (auto it = ranges_.rbegin(); it != ranges_.rend(); ++it)
        if (offset >= it->start && offset < it->end) return it->index;
    return -1;
}

}  // namespace htmlclean
