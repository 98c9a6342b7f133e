#include "htmlview/ScriptFallback.h"

#include "base/Text.h"
#include "htmlview/CjkLineBreaks.h"

void TScriptFallback::Add(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        // Everything below U+2000 (Latin, Greek, Cyrillic, Hebrew, Arabic...) is passed over by
        // its lead byte.
        if (*p < 0xE2) {
            ++p;
            continue;
        }
        size_t length = Utf8Length(*p);
        if (length > static_cast<size_t>(end - p)) break;
        const char32_t c = cjklinebreaks::CodePoint(reinterpret_cast<const char*>(p), length);
        p += length;
        if ((c >= 0x3040 && c <= 0x30FF) || (c >= 0x31F0 && c <= 0x31FF) || (c >= 0xFF66 && c <= 0xFF9F))
            kana = true;
        else if ((c >= 0xAC00 && c <= 0xD7A3) || (c >= 0x3130 && c <= 0x318F))
            hangul = true;
        else if ((c >= 0x3400 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
                 (c >= 0x20000 && c <= 0x3FFFD) || (c >= 0x3000 && c <= 0x303F) ||
                 (c >= 0xFF01 && c <= 0xFF60))
            han = true;
        else if (c == 0xFE0F || (c >= 0x1F000 && c <= 0x1FAFF))
            emoji = true;
    }
}

QString TScriptFallback::CjkLanguage(const QString& inForce) const {
    if (!han && !kana && !hangul) return {};
    if (inForce.startsWith(QLatin1String("ja")) || inForce.startsWith(QLatin1String("zh")) ||
        inForce.startsWith(QLatin1String("ko")))
        return inForce;
    // A desktop without a language gives ideographs the Japanese family first.
    if (hangul && !kana) return QStringLiteral("ko");
    return QStringLiteral("ja");
}
