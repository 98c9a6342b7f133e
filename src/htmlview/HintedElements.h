#pragma once

#include <memory>
#include <utility>

#include <litehtml.h>

#include "htmlview/HtmlCleaner.h"

// Presentational attributes (bgcolor, cellpadding, align, ...) are hints of the lowest author
// precedence in browsers: any rule of the document's style sheets overrides them. The cleaner
// writes them as declarations into kHintAttribute; an element that carries them adds them to its
// style after the default style sheet and before the document's own sheets.
template <class Base>
class THinted : public Base {
public:
    using Base::Base;
    void parse_attributes() override {
        if (const char* hints = this->get_attr(kHintAttribute)) this->m_style.add(hints, nullptr, this);
        Base::parse_attributes();
    }
};

// An element of type T, taking the hints when it has them.
template <class T, class... TArgs>
std::shared_ptr<litehtml::element> MakeElement(bool hinted, TArgs&&... args) {
    if (hinted) return std::make_shared<THinted<T>>(std::forward<TArgs>(args)...);
    return std::make_shared<T>(std::forward<TArgs>(args)...);
}

// The renderer's own element for a tag, taking the hints: what it would have made of the tag
// itself, so that the tag keeps its own behaviour.
std::shared_ptr<litehtml::element> MakeHintedElement(const char* tag,
                                                     const std::shared_ptr<litehtml::document>& doc);
