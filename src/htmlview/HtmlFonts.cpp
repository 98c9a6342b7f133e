#include "htmlview/HtmlFonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QRawFont>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <string>

#include "base/Text.h"
#include "htmlview/CjkLineBreaks.h"
#include "htmlview/EmojiText.h"

namespace {

// Words measured per font before the cache starts over.
constexpr qsizetype kMaxCachedWidths = 20000;

// The family as installed under its own name; empty when only a stand-in exists.
QString ExactFamily(const QString& name) {
    static QHash<QString, QString> known;
    auto found = known.constFind(name);
    if (found != known.constEnd()) return *found;
    QString result;
    const QStringList families = QFontDatabase::families();
    for (const QString& family : families)
        if (family.compare(name, Qt::CaseInsensitive) == 0) result = family;
    if (known.size() > 100) known.clear();
    known.insert(name, result);
    return result;
}

// Raises ascent and descent to those a family has at a pixel size, as browsers read them from
// the family's horizontal header, each rounded.
void VerticalMetrics(const QString& family, int pixelSize, int& ascent, int& descent) {
    static QHash<QString, std::pair<double, double>> known;  // per em
    auto found = known.constFind(family);
    if (found == known.constEnd()) {
        QFont font(family);
        font.setPixelSize(100);
        font.setStyleStrategy(QFont::NoFontMerging);
        const QRawFont raw = QRawFont::fromFont(font);
        const QByteArray header = raw.fontTable("hhea"), head = raw.fontTable("head");
        std::pair<double, double> perEm{0, 0};
        if (header.size() >= 10 && head.size() >= 20) {
            const int units = qFromBigEndian<quint16>(head.constData() + 18);
            if (units > 0)
                perEm = {qFromBigEndian<qint16>(header.constData() + 4) / double(units),
                         -qFromBigEndian<qint16>(header.constData() + 6) / double(units)};
        }
        found = known.insert(family, perEm);
    }
    ascent = std::max(ascent, static_cast<int>(std::lround(found->first * pixelSize)));
    descent = std::max(descent, static_cast<int>(std::lround(found->second * pixelSize)));
}

QString DesktopMonospace() {
    static const QString family = [] {
        QFont probe(QStringLiteral("monospace"));
        probe.setStyleHint(QFont::Monospace);
        return QFontInfo(probe).family();
    }();
    return family;
}

// The families a desktop gives the generic families for text in a language of Chinese, Japanese
// or Korean script (by their lang value); the suffix names the regional form of the glyphs.
QString CjkSuffix(const QString& language) {
    if (language.startsWith(QLatin1String("ja"))) return QStringLiteral("JP");
    if (language.startsWith(QLatin1String("ko"))) return QStringLiteral("KR");
    if (!language.startsWith(QLatin1String("zh"))) return {};
    if (language.contains(QLatin1String("hk")) || language.contains(QLatin1String("mo")))
        return QStringLiteral("HK");
    if (language.contains(QLatin1String("tw")) || language.contains(QLatin1String("hant")))
        return QStringLiteral("TC");
    return QStringLiteral("SC");
}

}  // namespace

void THtmlFonts::SetDefaultNames(const QString& fontName, const QString& preFontName) {
    fontName_ = fontName;
    preFontName_ = preFontName;
}

QString THtmlFonts::Installed(const QString& name) {
    // Free fonts with the same metrics as the common web and e-mail families (fontconfig's
    // metric aliases, which browsers accept in place of the family named).
    static const std::pair<const char*, const char*> kMetricAliases[] = {
        {"arial", "Liberation Sans"},
        {"arial", "Arimo"},
        {"helvetica", "Liberation Sans"},
        {"helvetica", "Arimo"},
        {"arial narrow", "Liberation Sans Narrow"},
        {"times new roman", "Liberation Serif"},
        {"times new roman", "Tinos"},
        {"times", "Liberation Serif"},
        {"times", "Tinos"},
        {"courier new", "Liberation Mono"},
        {"courier new", "Cousine"},
        {"courier", "Liberation Mono"},
        {"courier", "Cousine"},
        {"calibri", "Carlito"},
        {"cambria", "Caladea"},
        {"georgia", "Gelasio"},
    };
    static QHash<QString, QString> known;
    const QString key = name.toLower();
    auto found = known.constFind(key);
    if (found != known.constEnd()) return *found;
    if (known.size() > 1000) known.clear();
    QString result;
    const QStringList families = QFontDatabase::families();
    for (const QString& family : families)
        if (family.compare(name, Qt::CaseInsensitive) == 0) result = family;
    for (const auto& [alias, family] : kMetricAliases)
        if (result.isEmpty() && key == QLatin1String(alias) && families.contains(QLatin1String(family)))
            result = QLatin1String(family);
    known.insert(key, result);
    return result;
}

QStringList THtmlFonts::Families(const QString& list, QFont::StyleHint& hint, const QString& language) const {
    // Browsers take the first family of the list that exists, then the generic family; a family
    // that is not installed is skipped, never replaced by whatever the system offers for its name.
    QStringList families;
    hint = QFont::AnyStyle;
    auto add = [&](const QString& name) {
        const QString family = Installed(name);
        if (!family.isEmpty() && !families.contains(family)) families << family;
    };
    bool generic = false;
    const QString cjk = CjkSuffix(language);
    // A generic family for text of such a language is the desktop's family for its script, which
    // then draws its Latin letters and digits too.
    auto addForLanguage = [&](const char* kind) {
        if (!cjk.isEmpty()) add(QStringLiteral("Noto %1 CJK %2").arg(QLatin1String(kind), cjk));
    };
    for (QString name : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        name = name.trimmed();
        if (name.size() >= 2 && (name.front() == QLatin1Char('"') || name.front() == QLatin1Char('\'')))
            name = name.mid(1, name.size() - 2).trimmed();
        if (name.isEmpty()) continue;
        const QString lower = name.toLower();
        if (lower == QLatin1String("serif")) {
            addForLanguage("Serif");
            add(fontName_);
            if (hint == QFont::AnyStyle) hint = QFont::Serif;
            generic = true;
        } else if (lower == QLatin1String("sans-serif") || lower == QLatin1String("system-ui") ||
                   lower == QLatin1String("-apple-system")) {
            addForLanguage("Sans");
            add(QStringLiteral("Arial"));
            if (hint == QFont::AnyStyle) hint = QFont::SansSerif;
            generic = true;
        } else if (lower == QLatin1String("monospace")) {
            // The view's fixed-pitch font where the desktop has that very family, else the
            // desktop's own fixed-pitch font, which browsers take (DejaVu Sans Mono on Debian).
            addForLanguage("Sans Mono");
            const QString exact = ExactFamily(preFontName_);
            add(exact.isEmpty() ? DesktopMonospace() : exact);
            if (hint == QFont::AnyStyle) hint = QFont::Monospace;
            generic = true;
        } else if (lower == QLatin1String("cursive")) {
            if (hint == QFont::AnyStyle) hint = QFont::Cursive;
        } else if (lower == QLatin1String("fantasy")) {
            if (hint == QFont::AnyStyle) hint = QFont::Fantasy;
        } else {
            // The view's default family stands for the serif family of the language's script.
            if (name.compare(fontName_, Qt::CaseInsensitive) == 0) addForLanguage("Serif");
            add(name);
        }
        if (families.size() > 16) break;
    }
    // Nothing of the list exists: the view's default font, as browsers take theirs (the serif
    // family of the language's script first).
    if (families.isEmpty() && !generic) {
        addForLanguage("Serif");
        add(fontName_);
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
    item->faceName = QString::fromUtf8(faceName ? faceName : "");
    fonts_.insert(item);
    FillMetrics(*item, fm);
    return reinterpret_cast<litehtml::uint_ptr>(item);
}

void THtmlFonts::FillMetrics(const THtmlFont& item, litehtml::font_metrics* fm) {
    if (!fm) return;
    // Browsers space lines by ascent, descent and the font's line gap, each rounded, and put the
    // gap below the text.
    // Glyphs of a fallback family with larger metrics make the line taller.
    fm->ascent = item.Ascent();
    fm->descent = std::max(item.metrics.lineSpacing() - item.metrics.ascent(), item.fallbackDescent);
    fm->height = fm->ascent + fm->descent;
    fm->x_height = item.metrics.xHeight();
    // Decorations run under the spaces between words too.
    fm->draw_spaces = item.decoration != 0;
}

litehtml::uint_ptr THtmlFonts::Variant(litehtml::uint_ptr handle, const TFontVariant& wanted,
                                       litehtml::font_metrics* fm) {
    THtmlFont* item = From(handle);
    if (!item || fonts_.count(item) == 0) return handle;
    THtmlFont* base = item->base ? item->base : item;
    TFontVariant variant = wanted;
    QStringList families = base->font.families();
    if (!CjkSuffix(variant.language).isEmpty()) {
        QFont::StyleHint hint;
        families = Families(base->faceName, hint, variant.language);
    }
    // A language that changes no family is no variant.
    if (families == base->font.families()) variant.language.clear();
    int fallbackAscent = 0, fallbackDescent = 0;
    const int pixelSize = base->font.pixelSize();
    if (!variant.fallbackLanguage.isEmpty()) {
        const QString suffix = CjkSuffix(variant.fallbackLanguage);
        const QString family = Installed(QStringLiteral("Noto Sans CJK %1").arg(suffix));
        if (family.isEmpty()) {
            variant.fallbackLanguage.clear();
        } else {
            if (!families.contains(family)) families << family;
            VerticalMetrics(family, pixelSize, fallbackAscent, fallbackDescent);
        }
    }
    if (variant.emojiFallback) {
        const QString family = Installed(QStringLiteral("Noto Color Emoji"));
        if (family.isEmpty())
            variant.emojiFallback = false;
        else
            VerticalMetrics(family, pixelSize, fallbackAscent, fallbackDescent);
    }
    THtmlFont* chosen = nullptr;
    if (variant == TFontVariant{}) chosen = base;
    for (THtmlFont* existing : base->variants)
        if (!chosen && existing->variant == variant) chosen = existing;
    if (!chosen) {
        QFont font = base->font;
        font.setFamilies(families);
        if (variant.letterSpacing != 0) font.setLetterSpacing(QFont::AbsoluteSpacing, variant.letterSpacing);
        if (variant.wordSpacing != 0) font.setWordSpacing(variant.wordSpacing);
        if (variant.smallCaps) font.setCapitalization(QFont::SmallCaps);
        chosen = new THtmlFont(font);
        chosen->decoration = base->decoration;
        chosen->faceName = base->faceName;
        chosen->variant = variant;
        chosen->base = base;
        chosen->fallbackAscent = fallbackAscent;
        chosen->fallbackDescent = fallbackDescent;
        base->variants.push_back(chosen);
        fonts_.insert(chosen);
    }
    FillMetrics(*chosen, fm);
    return reinterpret_cast<litehtml::uint_ptr>(chosen);
}

void THtmlFonts::Delete(litehtml::uint_ptr handle) {
    auto* item = From(handle);
    if (fonts_.erase(item) == 0) return;
    for (THtmlFont* variant : item->variants)
        if (fonts_.erase(variant)) delete variant;
    if (item->base) std::erase(item->base->variants, item);
    delete item;
}

int THtmlFonts::TextWidth(const char* text, litehtml::uint_ptr handle) {
    THtmlFont* item = From(handle);
    if (!item || !text) return 0;
    const QString word = QString::fromUtf8(text);
    auto found = item->widths.constFind(word);
    if (found != item->widths.constEnd()) return *found;
    if (item->widths.size() >= kMaxCachedWidths) item->widths.clear();
    const int width = emojitext::Width(*item, word);
    item->widths.insert(word, width);
    return width;
}

void THtmlFonts::SplitWords(const char* text, const std::function<void(const char*)>& onWord,
                            const std::function<void(const char*)>& onSpace) {
    if (!text) return;
    std::string word;
    int chars = 0;
    char32_t previous = 0;
    int regional = 0;  // regional indicators just before, pairs of which are flags
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
            previous = 0;
            regional = 0;
            ++p;
            continue;
        }
        size_t length = Utf8Length(c);
        for (size_t k = 1; k < length; ++k)
            if (!p[k]) length = k;
        // A zero-width space is a break opportunity inside a long word; alone it stays a word,
        // which gives an empty anchor its place.
        if (length == 3 && c == 0xE2 && static_cast<unsigned char>(p[1]) == 0x80 &&
            static_cast<unsigned char>(p[2]) == 0x8B && !word.empty()) {
            flush();
            previous = 0;
            p += length;
            continue;
        }
        const char32_t point = cjklinebreaks::CodePoint(p, length);
        // Ideographs, kana, Hangul and pictographs break between any two, save where a line may not
        // start or end; a long word is cut, but never inside a character cluster.
        if (!word.empty() && (cjklinebreaks::BreakBetween(previous, point, regional) ||
                              (chars >= kMaxWordChars && !cjklinebreaks::Joins(point))))
            flush();
        regional = cjklinebreaks::Regional(point) ? regional + 1 : 0;
        previous = point;
        word.append(p, length);
        ++chars;
        p += length;
    }
    flush();
}
