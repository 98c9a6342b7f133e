#pragma once

#include <litehtml.h>

class THtmlFonts;

// litehtml 0.6 asks for fonts by family, size, weight, style and decoration only, so letter-spacing,
// word-spacing, small capitals and the language of the text never reach the fonts. Before a layout,
// each element whose inherited values of these differ from the plain ones is given a variant of its
// font that carries them (generic families chosen for the language), and the text directly inside it
// is measured again. Done before every layout: a style change that reset the fonts is made good.
void ApplyFontVariants(const litehtml::element::ptr& root, THtmlFonts& fonts);
