#include "htmlview/HintedElements.h"

#include <cstring>

// After litehtml.h, which they need.
#include <el_body.h>
#include <el_font.h>
#include <el_para.h>
#include <el_td.h>
#include <el_tr.h>

std::shared_ptr<litehtml::element> MakeHintedElement(const char* tag,
                                                     const std::shared_ptr<litehtml::document>& doc) {
    if (std::strcmp(tag, "td") == 0 || std::strcmp(tag, "th") == 0)
        return MakeElement<litehtml::el_td>(true, doc);
    if (std::strcmp(tag, "tr") == 0) return MakeElement<litehtml::el_tr>(true, doc);
    if (std::strcmp(tag, "body") == 0) return MakeElement<litehtml::el_body>(true, doc);
    if (std::strcmp(tag, "p") == 0) return MakeElement<litehtml::el_para>(true, doc);
    if (std::strcmp(tag, "font") == 0) return MakeElement<litehtml::el_font>(true, doc);
    return MakeElement<litehtml::html_tag>(true, doc);
}
