#pragma once

#include <QString>
#include <string_view>

// What text draws with families other than its element's: ideographs, kana and Hangul with the
// desktop's family for their script, emoji with the colour emoji family. Browsers take such
// glyphs from those families and make lines of normal height as tall as those families ask.
struct TScriptFallback {
    bool han = false;
    bool kana = false;
    bool hangul = false;
    bool emoji = false;

    // Adds what a piece of UTF-8 text holds.
    void Add(std::string_view text);
    // The language whose family draws the text's Chinese, Japanese or Korean characters: the one
    // in force when it is of such a script, else the one the characters tell (as a desktop
    // without a language chooses); empty for text without such characters.
    QString CjkLanguage(const QString& inForce) const;
};
