#include "htmlview/HtmlFonts.h"

#include <algorithm>
#include <string>

namespace {

// Words measured per font before the cache starts over.
constexpr qsizetype kMaxCachedWidths = 20000;

size_t Utf8Length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

}  // namespace

void THtmlFonts::SetDefaultNames(const QString& fontName, const QString& preFontName) {
    fontName_ = fontName;
    preFontName_ = preFontName;
}

QStringList THtmlFonts::Families(const QString& list, QFont::StyleHint& hint) const {
    QStringList families;
    hint = QFont::AnyStyle;
    for (QString name : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        name = name.trimmed();
        if (name.size() >= 2 && (name.front() == QLatin1Char('"') || name.front() == QLatin1Char('\'')))
            name = name.mid(1, name.size() - 2).trimmed();
        if (name.isEmpty()) continue;
        const QString lower = name.toLower();
        if (lower == QLatin1String("serif")) {
            families << fontName_;
            if (hint == QFont::AnyStyle) hint = QFont::Serif;
        } else if (lower == QLatin1String("sans-serif")) {
            families << QStringLiteral("Arial") << QStringLiteral("Helvetica");
            if (hint == QFont::AnyStyle) hint = QFont::SansSerif;
        } else if (lower == QLatin1String("monospace")) {
            families << preFontName_;
            if (hint == QFont::AnyStyle) hint = QFont::Monospace;
        } else if (lower == QLatin1String("cursive")) {
            if (hint == QFont::AnyStyle) hint = QFont::Cursive;
        } else if (lower == QLatin1String("fantasy")) {
            if (hint == QFont::AnyStyle) hint = QFont::Fantasy;
        } else {
            families << name;
        }
        if (families.size() > 16) break;
    }
    if (families.isEmpty()) families << fontName_;
    return families;
}

litehtml::uint_ptr THtmlFonts::Create(const char* faceName, int size, int weight, litehtml::font_style italic,
                                      unsigned decoration, litehtml::font_metrics* fm) {
    QFont::StyleHint hint;
    QFont font;
    font.setFamilies(Families(QString::fromUtf8(faceName ? faceName : ""), hint));
    if (hint != QFont::AnyStyle) font.setStyleHint(hint);
    font.setPixelSize(std::clamp(size, kMinPixelSize, kMaxPixelSize));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(weight, 100, 900)));
    font.setItalic(italic == litehtml::fontStyleItalic);
    font.setUnderline((decoration & litehtml::font_decoration_underline) != 0);
    font.setStrikeOut((decoration & litehtml::font_decoration_linethrough) != 0);
    font.setOverline((decoration & litehtml::font_decoration_overline) != 0);
    font.setKerning(true);
    auto* item = new THtmlFont(font);
    item->decoration = decoration;
    fonts_.insert(item);
    if (fm) {
        fm->ascent = item->metrics.ascent();
        fm->descent = item->metrics.descent();
        fm->height = item->metrics.height();
        fm->x_height = item->metrics.xHeight();
        // Decorations run under the spaces between words too.
        fm->draw_spaces = decoration != 0;
    }
    return reinterpret_cast<litehtml::uint_ptr>(item);
}

void THtmlFonts::Delete(litehtml::uint_ptr handle) {
    auto* item = From(handle);
    if (fonts_.erase(item)) delete item;
}

int THtmlFonts::TextWidth(const char* text, litehtml::uint_ptr handle) {
    THtmlFont* item = From(handle);
    if (!item || !text) return 0;
    const QString word = QString::fromUtf8(text);
    auto found = item->widths.constFind(word);
    if (found != item->widths.constEnd()) return *found;
    if (item->widths.size() >= kMaxCachedWidths) item->widths.clear();
    const int width = item->metrics.horizontalAdvance(word);
    item->widths.insert(word, width);
    return width;
}

void THtmlFonts::SplitWords(const char* text, const std::function<void(const char*)>& onWord,
                            const std::function<void(const char*)>& onSpace) {
    if (!text) return;
    std::string word;
    int chars = 0;
    auto flush = [&] {
        if (!word.empty()) onWord(word.c_str());
        word.clear();
        chars = 0;
    };
    for (const char* p = text; *p;) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            flush();
            const char space[2] = {static_cast<char>(c), 0};
            onSpace(space);
            ++p;
            continue;
        }
        size_t length = Utf8Length(c);
        for (size_t k = 1; k < length; ++k)
            if (!p[k]) length = k;
        // Ideographs break anywhere, as in the renderer's own splitting.
        const bool ideograph = length >= 3 && (c == 0xE3 || (c >= 0xE4 && c <= 0xE9));
        if (ideograph) flush();
        word.append(p, length);
        ++chars;
        p += length;
        if (ideograph || chars >= kMaxWordChars) flush();
    }
    flush();
}
