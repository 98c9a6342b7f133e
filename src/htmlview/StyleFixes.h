#pragma once

// The document's style sheets and style attributes rewritten into what litehtml 0.6 reads as
// browsers read the original: media queries evaluated as a desktop browser in light mode,
// numeric font weights, colours it cannot parse (which it would paint black), the colour of
// gradients, and the background and font shorthands taken apart. Internal to the HTML view.
#include <map>
#include <string>

class TStyleFixes {
public:
    // A whole style sheet (a style element's text, a fetched sheet).
    std::string StyleSheet(const std::string& css);
    // The declarations of a style attribute.
    std::string Declarations(const std::string& declarations);

private:
    std::string Declaration(const std::string& name, const std::string& value, bool important);
    std::string Block(const std::string& css, size_t& at, bool nested);

    // Custom properties (--name) declared so far, for var() in later declarations.
    std::map<std::string, std::string> custom_;
};
