#pragma once

#include <QColor>

// The system colours the view's settings are given in, mapped to the Qt palette roles that mean
// the same.
enum class TSystemColor {
    clBtnFace,      // face of buttons and dialogs: QPalette::Button
    clBtnText,      // text on buttons: QPalette::ButtonText
    clWindow,       // background of text windows: QPalette::Base
    clWindowText,   // text in windows: QPalette::Text
    clCaptionText,  // text of an active caption: QPalette::HighlightedText
    clHighlight,    // selection: QPalette::Highlight
    clHighlightText,
};

// The colour of the role in the application's present palette.
QColor SystemColor(TSystemColor color);
