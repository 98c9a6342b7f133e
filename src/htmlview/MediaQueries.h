#pragma once

// Media queries evaluated as a desktop browser in light mode evaluates them. Internal to the HTML
// view.
#include <string>

// A media query list (a media attribute, the prelude of @media): what browsers cannot match
// becomes "not all", what they always match is left out, the rest (widths, heights, screen and
// print) stays for the renderer, which evaluates it again when the view's size changes.
std::string MediaList(const std::string& media);
