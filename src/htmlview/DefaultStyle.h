#pragma once

#include <QColor>
#include <QString>
#include <string>

// What the default style sheet takes from the view's settings.
struct TStyleDefaults {
    QString fontName;
    QColor fontColor, linkColor, overLinkColor, visitedLinkColor;
    bool underlineLinks = true, highlightOverLinks = false;
    // The rules of browsers' quirks mode, for documents without a standard doctype.
    bool quirks = false;
};

// The style sheet every document starts from, after the HTML standard's rendering rules.
std::string DefaultStyleSheet(const TStyleDefaults& defaults);
