#pragma once

// A <br> that starts a line (after another <br>, at the start of a block, after a block) makes an
// empty line as tall as the text's line in browsers; litehtml 0.6 gives a line that holds only a
// break no height. The cleaner writes an invisible character in front of such a break, so that
// its line has the height of the text around. Internal to the HTML view.
#include <string>

namespace htmlclean {

// Whether a <br> written at the end of the cleaned text so far would start its line: the text is
// read backwards over white space and inline tags.
bool BreakStartsLine(const std::string& html);

}  // namespace htmlclean
