// Emoji and text of Chinese, Japanese and Korean script, drawn as a browser draws them: a
// character cluster (keycap, flag, sequence joined with U+200D) is one colour picture of an
// emoji's width, the emoji selector turns a symbol into its colour picture, emoji are as large as
// in a browser, and lines break between ideographs, kana, Hangul, full-width and half-width forms
// but never before a closing bracket or a small kana, nor after an opening bracket.
#include <gtest/gtest.h>

#include <algorithm>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

const QColor kRed(255, 0, 0);

QImage DrawBody(const std::string& style, const std::string& body, int width = 400, int height = 200) {
    THtmlView view;
    Configure(view, width, height);
    Load(view, "<html><head><meta charset='utf-8'></head><body style='margin:0;" + style + "'>" + body +
                   "</body></html>");
    return Shot(view);
}

// Where anything but the white page is drawn.
QRect InkBounds(const QImage& image) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255)) bounds = bounds.united(QRect(x, y, 1, 1));
    return bounds;
}

// Pixels of some colour: a colour picture has many (even a grey-blue keycap), black or grey
// text none.
int Saturated(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int high = std::max({c.red(), c.green(), c.blue()});
            const int low = std::min({c.red(), c.green(), c.blue()});
            if (high - low > 25) ++count;
        }
    return count;
}

const char* const kEmojiFont = "font:30px \"Liberation Sans\";color:#000";

}  // namespace

TEST(HtmlEmojiCjk, EmojiClustersAreOneColourPictureOfAnEmojisWidth) {
    enum class TLook { Colour, Picture, Text };  // a picture of grey tones is a picture too
    struct TCase {
        const char* name;
        const char* text;
        TLook look;
    };
    const TCase cases[] = {
        {"keycap one", "1\xEF\xB8\x8F\xE2\x83\xA3", TLook::Colour},
        {"keycap hash", "#\xEF\xB8\x8F\xE2\x83\xA3", TLook::Colour},
        {"rainbow flag", "\xF0\x9F\x8F\xB3\xEF\xB8\x8F\xE2\x80\x8D\xF0\x9F\x8C\x88", TLook::Colour},
        {"family", "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7",
         TLook::Picture},
        {"national flag", "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA", TLook::Colour},
        {"heart with the emoji selector", "\xE2\x9D\xA4\xEF\xB8\x8F", TLook::Colour},
        {"sun with the emoji selector", "\xE2\x98\x80\xEF\xB8\x8F", TLook::Colour},
        {"check mark with the emoji selector", "\xE2\x9C\x94\xEF\xB8\x8F", TLook::Colour},
        {"thumbs up with a skin tone", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", TLook::Colour},
        {"heart with the text selector", "\xE2\x9D\xA4\xEF\xB8\x8E", TLook::Text},
    };
    const QImage reference = DrawBody(kEmojiFont, "\xF0\x9F\x98\x80");  // a grinning face
    const int width = InkBounds(reference).width();
    const int colour = Saturated(reference);
    ASSERT_GT(width, 20);
    ASSERT_GT(colour, 100);
    for (const TCase& c : cases) {
        const QImage image = DrawBody(kEmojiFont, c.text);
        const QRect ink = InkBounds(image);
        if (c.look != TLook::Text) {
            EXPECT_GE(ink.width(), width * 3 / 4) << c.name;
            EXPECT_LE(ink.width(), width * 5 / 4) << c.name;
            if (c.look == TLook::Colour) {
                EXPECT_GT(Saturated(image), colour / 4) << c.name;
            }
        } else {
            EXPECT_FALSE(ink.isEmpty()) << c.name;
            EXPECT_LT(Saturated(image), colour / 20) << c.name;
        }
    }
}

TEST(HtmlEmojiCjk, EmojiAreAsLargeAsInABrowser) {
    // A browser advances the colour emoji family by 2550 of its 2048 units per em: ten emoji at
    // 15 pixels take 187 pixels, ten at 30 pixels 374 (each emoji is a word of whole pixels here).
    struct TCase {
        int size;
        int width;
    };
    const TCase cases[] = {{15, 187}, {30, 374}};
    for (const TCase& c : cases) {
        std::string emoji;
        for (int i = 0; i < 10; ++i) emoji += "\xF0\x9F\x98\x80";
        const QImage image =
            DrawBody("font:" + std::to_string(c.size) + "px \"Liberation Sans\"",
                     "<span style='display:inline-block;background:#ff0000'>" + emoji + "</span>", 600, 100);
        EXPECT_NEAR(ColorBounds(image, kRed, 10).width(), c.width, c.width / 40) << c.size;
    }
}

TEST(HtmlEmojiCjk, LinesNeitherStartWithAClosingMarkNorEndWithAnOpeningOne) {
    // Each needle is found in the text; none of its places may be at the start of a line (a
    // closing bracket, a full stop, a comma, a small kana, the prolonged sound mark) or split
    // from the character after it (an opening bracket).
    const std::string text =
        "\xE6\x9C\xAC\xE6\x97\xA5\xE3\x81\xAE\xE3\x81\x8A\xE7\x9F\xA5\xE3\x82\x89\xE3\x81\x9B"  // 本日のお知らせ
        "\xE3\x80\x8C\xE5\x95\x86\xE5\x93\x81\xE3\x80\x8D\xE3\x81\xAF\xE3\x80\x81"  // 「商品」は、
        "\xE6\x98\x8E\xE6\x97\xA5\xE3\x81\xA1\xE3\x82\x87\xE3\x81\xA3\xE3\x81\xA8"  // 明日ちょっと
        "\xE5\xB1\x8A\xE3\x81\x8D\xE3\x81\xBE\xE3\x81\x99\xE3\x80\x82"              // 届きます。
        "\xEF\xBC\x88\xE3\x82\xB7\xE3\x83\xA7\xE3\x83\x83\xE3\x83\x97\xEF\xBC\x89"  // （ショップ）
        "\xE3\x82\xB3\xE3\x83\xBC\xE3\x83\x92\xE3\x83\xBC\xE3\x80\x82";             // コーヒー。
    struct TCase {
        const char* name;
        const char* needle;
        bool opening;
    };
    const TCase cases[] = {
        {"closing corner bracket", "\xE3\x80\x8D", false},
        {"ideographic comma", "\xE3\x80\x81", false},
        {"ideographic full stop", "\xE3\x80\x82", false},
        {"small yo", "\xE3\x82\x87", false},
        {"small tsu", "\xE3\x81\xA3", false},
        {"small katakana tsu", "\xE3\x83\x83", false},
        {"prolonged sound mark", "\xE3\x83\xBC", false},
        {"full-width closing parenthesis", "\xEF\xBC\x89", false},
        {"opening corner bracket", "\xE3\x80\x8C", true},
        {"full-width opening parenthesis", "\xEF\xBC\x88", true},
    };
    for (int width = 60; width <= 200; width += 7) {
        THtmlView view;
        Configure(view, 400, 400);
        Load(view,
             "<html><head><meta charset='utf-8'></head><body style='margin:0'><div lang='ja' "
             "style='font:16px sans-serif;width:" +
                 std::to_string(width) + "px'>" + text + "</div></body></html>");
        Settle();
        ASSERT_GT(view.FindText(QString::fromUtf8("\xE6\x9C\xAC\xE6\x97\xA5")), 0);  // 本日, the first line
        const QRect first = view.FoundRect(0);
        for (const TCase& c : cases) {
            // An opening mark is looked for with the character after it: both on one line.
            QString needle = QString::fromUtf8(c.needle);
            if (c.opening) {
                const qsizetype at = QString::fromUtf8(text).indexOf(needle);
                needle = QString::fromUtf8(text).mid(at, 2);
            }
            const int found = view.FindText(needle);
            ASSERT_GT(found, 0) << c.name;
            for (int i = 0; i < found; ++i) {
                const QRect box = view.FoundRect(i);
                if (c.opening)
                    EXPECT_LE(box.height(), first.height() + 2) << c.name << " at width " << width;
                else
                    EXPECT_GT(box.left(), first.left() + 2) << c.name << " at width " << width;
            }
        }
    }
}

TEST(HtmlEmojiCjk, RunsWithoutSpacesWrapInsideTheirBox) {
    struct TCase {
        const char* name;
        std::string text;
    };
    auto repeat = [](const char* piece, int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += piece;
        return text;
    };
    const TCase cases[] = {
        {"full-width Latin letters", repeat("\xEF\xBC\xA1\xEF\xBC\xA2\xEF\xBC\xA3", 8)},         // ＡＢＣ
        {"full-width digits", repeat("\xEF\xBC\x91\xEF\xBC\x92\xEF\xBC\x93", 8)},                // １２３
        {"half-width katakana", repeat("\xEF\xBD\xB1\xEF\xBD\xB2\xEF\xBD\xB3\xEF\xBD\xB4", 8)},  // ｱｲｳｴ
        {"Hangul syllables", repeat("\xEC\x95\x88\xEB\x85\x95\xED\x95\x98\xEC\x84\xB8\xEC\x9A\x94", 6)},
        {"ideographs", repeat("\xE4\xB8\xAD\xE6\x96\x87", 12)},
        {"emoji", repeat("\xF0\x9F\x8E\x89", 14)},
    };
    for (const TCase& c : cases) {
        const QImage image = DrawBody("font:16px sans-serif;color:#ff0000",
                                      "<div style='width:150px'>" + c.text + "</div>", 400, 300);
        const QRect ink = c.name == std::string("emoji") ? InkBounds(image) : ColorBounds(image, kRed, 100);
        ASSERT_FALSE(ink.isEmpty()) << c.name;
        EXPECT_LE(ink.right(), 152) << c.name;
        EXPECT_GE(ink.height(), 30) << c.name;  // two lines at least
    }
}

TEST(HtmlEmojiCjk, LinesOfNormalHeightGrowForGlyphsOfAFallbackFamily) {
    // Heights of one line at 20 pixels of a Latin family, as a browser draws them: ideographs, kana
    // and Hangul come from the script's family and emoji from the colour family, both taller.
    struct TCase {
        const char* name;
        const char* text;
        const char* lang;
        int height;
    };
    const TCase cases[] = {
        {"Latin", "Text", "", 23},
        {"ideographs", "Text \xE6\xBC\xA2\xE5\xAD\x97", "", 29},
        {"kana", "\xE3\x81\x8B\xE3\x81\xAA", "", 29},
        {"Hangul", "\xED\x95\x9C\xEA\xB8\x80", "", 29},
        {"emoji", "Text \xF0\x9F\x98\x80", "", 24},
        {"kana in Japanese", "Text \xE3\x81\x8B\xE3\x81\xAA", "ja", 29},
    };
    for (const TCase& c : cases) {
        const QImage image = DrawBody(
            "font:20px \"Liberation Sans\"",
            std::string("<div lang='") + c.lang + "' style='background:#ff0000'>" + c.text + "</div>");
        EXPECT_NEAR(ColorBounds(image, kRed, 10).height(), c.height, 1) << c.name;
    }
}

TEST(HtmlEmojiCjk, ALongRunOfClustersIsNotCutInsideAPicture) {
    // Runs longer than a long word are cut into pieces that may break; the cuts fall between
    // clusters, so each keycap and family stays one picture.
    struct TCase {
        const char* name;
        const char* cluster;
    };
    const TCase cases[] = {
        {"keycaps", "1\xEF\xB8\x8F\xE2\x83\xA3"},
        {"families", "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"},
    };
    std::string faces;
    for (int i = 0; i < 8; ++i) faces += "\xF0\x9F\x98\x80";
    const int width = InkBounds(DrawBody(kEmojiFont, faces, 600)).width();
    for (const TCase& c : cases) {
        std::string run;
        for (int i = 0; i < 8; ++i) run += c.cluster;
        const QRect ink = InkBounds(DrawBody(kEmojiFont, run, 600));
        EXPECT_NEAR(ink.width(), width, width / 10) << c.name;
        EXPECT_LE(ink.height(), 40) << c.name;  // one line
    }
}

TEST(HtmlEmojiCjk, AFoundEmojiIsMarkedOverItsWholePicture) {
    struct TCase {
        const char* name;
        const char* emoji;
    };
    const TCase cases[] = {{"face", "\xF0\x9F\x98\x80"}, {"keycap", "1\xEF\xB8\x8F\xE2\x83\xA3"}};
    for (const TCase& c : cases) {
        THtmlView view;
        Configure(view, 400, 200);
        Load(view, std::string("<html><head><meta charset='utf-8'></head><body style='margin:0;") +
                       kEmojiFont + "'>Pack " + c.emoji + " now</body></html>");
        Settle();
        ASSERT_EQ(view.FindText(QString::fromUtf8(c.emoji)), 1) << c.name;
        // 30 pixels: a browser advances the picture by 37.
        EXPECT_NEAR(view.FoundRect(0).width(), 37, 2) << c.name;
    }
}
