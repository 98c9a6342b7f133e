#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

#include <litehtml.h>

// What a font is drawn with beyond what the renderer asks for: the spacing and capitals of the
// text's style, and the language by which generic families are chosen.
struct TFontVariant {
    double letterSpacing = 0;  // pixels after each character
    double wordSpacing = 0;    // pixels added to each space
    bool smallCaps = false;
    QString language;  // the lang attribute in force, lower case
    // Families some of the element's own text is drawn with, whose heights its lines of normal
    // height take: the family of a Chinese, Japanese or Korean language, and colour emoji.
    QString fallbackLanguage;
    bool emojiFallback = false;

    bool operator==(const TFontVariant&) const = default;
};

struct TEmojiFace;

// One font the renderer asked for, or a variant of one.
struct THtmlFont {
    QFont font;
    QFontMetrics metrics;
    unsigned decoration = 0;
    QHash<QString, int> widths;  // measured words
    QString faceName;            // the family list asked for
    TFontVariant variant;
    THtmlFont* base = nullptr;         // the font this is a variant of
    std::vector<THtmlFont*> variants;  // of this font, deleted with it
    // The largest ascent and descent of the fallback families of the variant, in pixels.
    int fallbackAscent = 0;
    int fallbackDescent = 0;
    // The colour emoji font for this font's size and decorations, made when first needed.
    mutable std::shared_ptr<const TEmojiFace> emojiFace;

    explicit THtmlFont(const QFont& f) : font(f), metrics(f) {}
    // The distance from the top of a line of the font's own height to its baseline.
    int Ascent() const { return std::max(metrics.ascent(), fallbackAscent); }
};

// Fonts by the renderer's handles, with the default names of the view.
class THtmlFonts {
public:
    // Font sizes beyond these are clamped: giant glyphs are slow to rasterise and useless.
    static constexpr int kMinPixelSize = 1;
    static constexpr int kMaxPixelSize = 256;
    // Words longer than this many characters are broken, so that one word cannot make a line
    // wider than any screen.
    static constexpr int kMaxWordChars = 64;

    void SetDefaultNames(const QString& fontName, const QString& preFontName);

    litehtml::uint_ptr Create(const char* faceName, int size, int weight, litehtml::font_style italic,
                              unsigned decoration, litehtml::font_metrics* fm);
    void Delete(litehtml::uint_ptr handle);
    // The font of a handle with a variant's spacing, capitals and language, made once per font and
    // variant and deleted with the font; the handle's own base font for the plain variant.
    litehtml::uint_ptr Variant(litehtml::uint_ptr handle, const TFontVariant& variant,
                               litehtml::font_metrics* fm);
    int TextWidth(const char* text, litehtml::uint_ptr handle);

    static THtmlFont* From(litehtml::uint_ptr handle) { return reinterpret_cast<THtmlFont*>(handle); }

    // Splits text into words and spaces like the renderer does, breaking words that are too long.
    static void SplitWords(const char* text, const std::function<void(const char*)>& onWord,
                           const std::function<void(const char*)>& onSpace);

    // The installed families of a CSS font-family list in the author's order, generic names
    // replaced by the view's defaults; families that are not installed are skipped.
    // A language (a lang value such as "ja" or "zh-TW") chooses the generic families for its script.
    QStringList Families(const QString& list, QFont::StyleHint& hint, const QString& language = {}) const;
    // The installed family for a name: the family itself, or a free family with its metrics;
    // empty when there is none.
    static QString Installed(const QString& name);

private:
    static void FillMetrics(const THtmlFont& item, litehtml::font_metrics* fm);

    QString fontName_ = QStringLiteral("Times New Roman");
    QString preFontName_ = QStringLiteral("Courier New");
    std::unordered_set<THtmlFont*> fonts_;
};
