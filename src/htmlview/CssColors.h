#pragma once

// Colours as style sheets write them, read into what litehtml 0.6 can parse: it knows only
// #rgb, #rrggbb, rgb(), rgba() and names, and paints anything else black. Internal to the HTML
// view.
#include <map>
#include <optional>
#include <string>
#include <string_view>

struct TRgba {
    double r = 0, g = 0, b = 0, a = 1;
};

class TColorReader {
public:
    // Custom properties (--name) for var().
    explicit TColorReader(const std::map<std::string, std::string>& custom) : custom_(custom) {}

    // The colour a word stands for, when it is one that can be read.
    std::optional<TRgba> Value(std::string_view word, int depth = 0) const;
    // The word as the renderer reads it; empty when the word is no colour that can be read.
    std::string Text(std::string_view word) const;
    // The colour a gradient shows on average: the mean of its stops.
    std::optional<TRgba> Gradient(std::string_view call) const;
    static std::string Format(const TRgba& color);
    // var(--name) or var(--name, fallback): the custom property's value, else the fallback.
    std::string Var(std::string_view call, int depth) const;

private:
    const std::map<std::string, std::string>& custom_;
};
