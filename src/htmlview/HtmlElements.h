#pragma once

#include <memory>
#include <string>

#include <litehtml.h>
// After litehtml.h, which they need.
#include <el_image.h>
#include <el_table.h>

class THtmlContainer;

// Elements of our own that make the renderer show what browsers show where litehtml 0.6 has no
// rule of its own.

// A long word (kWordElement): its pieces flow like one unbreakable word, or break anywhere when
// the style says overflow-wrap: break-word or anywhere, or word-break: break-all.
class TWordElement : public litehtml::html_tag {
public:
    using litehtml::html_tag::html_tag;
    void parse_styles(bool is_reparse = false) override;
};

// A block that may be a flex container. litehtml 0.6 has no flex layout: a row container is laid
// out as a table row whose cells are its children (gap as the spacing between cells,
// justify-content by the table's width and spare cells); a column container as a block whose
// children are blocks.
// It also draws a simple box-shadow (offsets, blur, spread and colour of the first shadow).
class TFlexCandidate : public litehtml::html_tag {
public:
    using litehtml::html_tag::html_tag;
    void parse_styles(bool is_reparse = false) override;
    void draw_background(litehtml::uint_ptr hdc, int x, int y, const litehtml::position* clip) override;
    void get_inline_boxes(litehtml::position::vector& boxes) override;

private:
    bool converted_ = false;
};

// A picture that cannot be shown: as in browsers, a small broken picture sign and the alt text in
// the line like words; in quirks mode, a picture with a size keeps it, framed, with the sign and
// the alt text inside. Without alt text, a frame of the size the document gives it.
class TImageElement : public litehtml::el_image {
public:
    static constexpr int kIconSide = 16;

    TImageElement(const std::shared_ptr<litehtml::document>& doc, THtmlContainer* container);
    int render(int x, int y, int max_width, bool second_pass = false) override;
    int get_base_line() override;
    int line_height() const override;
    void draw(litehtml::uint_ptr hdc, int x, int y, const litehtml::position* clip) override;

private:
    bool Missing();
    bool ShowsAltText();
    bool Sized() const;
    bool AltTextInFrame() const;
    THtmlContainer* container_;
    bool quirks_;
};

// A table whose spare width is shared among its automatic columns in proportion to their widest
// content, as browsers share it (litehtml 0.6 gives it to the first columns). Its layout reports
// no more width than it takes when its content fits: litehtml 0.6 reports the width of its content
// unwrapped, which made a fixed-width table around it as wide as the page.
class TTableElement : public litehtml::el_table {
public:
    using litehtml::el_table::el_table;
    int render(int x, int y, int max_width, bool second_pass = false) override;

private:
    int ShareSpareWidth(int x, int y, int max_width, bool second_pass);
};

// A list item whose number stands on the baseline of its first line: litehtml 0.6 places it by the
// font's height, which leaves it above the text when the line height is larger.
class TListItem : public litehtml::html_tag {
public:
    TListItem(const std::shared_ptr<litehtml::document>& doc, THtmlContainer* container)
        : litehtml::html_tag(doc), container_(container) {}
    int render(int x, int y, int max_width, bool second_pass = false) override;
    void draw(litehtml::uint_ptr hdc, int x, int y, const litehtml::position* clip) override;

private:
    // Numbers the items of the parent, as the renderer's own list item does, once.
    void NumberSiblings();

    THtmlContainer* container_;
    bool numbered_ = false;
};
