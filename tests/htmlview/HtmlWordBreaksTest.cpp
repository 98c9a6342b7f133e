// Where words of letters, digits and punctuation break, as browsers break them: a web address
// moves to the next line whole instead of breaking after its slashes; hyphens and the question
// mark of a query still offer a break. Checked on the pixels of the grabbed view.
#include <gtest/gtest.h>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

const QColor kRed(255, 0, 0), kBlue(0, 0, 255);

}  // namespace

TEST(HtmlWordBreaks, AddressesMoveWholeToTheNextLineWhileHyphensAndQueriesBreak) {
    struct TCase {
        const char* word;
        bool startsOnFirstLine;  // whether part of the word stays on the line of "See"
    };
    const TCase cases[] = {
        {"https://downloads.example.org/releases/notes.html", false},
        {"https://example.org/a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/q", false},
        {"forum.example.org/t/the-question-of-caching/18", true},
        {"mirror.example.org/releases/2026/12/11/current/tarballs", false},
        {"notes-for-version-8.11.1-including-the-long-list-of-changes", true},
        {"tracker.example.org/issues?filter=open&sort=updated&view=compact", true},
        {"release-2026-12-11-x86-64-with-debugging-symbols", true},
    };
    for (const TCase& c : cases) {
        THtmlView view;
        Configure(view, 600, 200);
        Load(view,
             "<body style='margin:0;font:16px \"DejaVu Sans\"'><div style='width:360px'>"
             "<span style='color:#0000ff'>See</span> <span style='color:#ff0000'>" +
                 std::string(c.word) + "</span></div></body>");
        const QImage image = Shot(view);
        const QRect see = ColorBounds(image, kBlue, 80), word = ColorBounds(image, kRed, 80);
        ASSERT_FALSE(see.isEmpty()) << c.word;
        ASSERT_FALSE(word.isEmpty()) << c.word;
        if (c.startsOnFirstLine) {
            EXPECT_LT(word.top(), see.bottom()) << c.word;
            // The rest follows on the lines below.
            EXPECT_GT(word.bottom(), see.bottom() + 10) << c.word;
        } else {
            EXPECT_GT(word.top(), see.bottom()) << c.word;
        }
    }
}
