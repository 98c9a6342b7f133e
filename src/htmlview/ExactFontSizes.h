#pragma once

#include <litehtml.h>

// litehtml 0.6 rounds every font size to whole pixels (1.5em of 13 px makes 20) and computes what
// is in em from the rounded size, where browsers keep 19.5.

// The font size the style asks for, with its fraction. Sizes in other units or keywords are the
// renderer's own.
double ExactFontSize(litehtml::element& element);

// Gives each block's top and bottom margins in em the value of the exact font size (a heading's
// 0.83em of 19.5 px is 16, not 17). Done before each first layout of the document.
void FitMarginsToExactFontSizes(const litehtml::element::ptr& root);
