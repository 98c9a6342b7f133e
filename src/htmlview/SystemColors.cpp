#include "htmlview/SystemColors.h"

#include <QApplication>
#include <QPalette>

QColor SystemColor(TSystemColor color) {
    const QPalette palette = QApplication::palette();
    switch (color) {
        case TSystemColor::clBtnFace: return palette.color(QPalette::Active, QPalette::Button);
        case TSystemColor::clBtnText: return palette.color(QPalette::Active, QPalette::ButtonText);
        case TSystemColor::clWindow: return palette.color(QPalette::Active, QPalette::Base);
        case TSystemColor::clWindowText: return palette.color(QPalette::Active, QPalette::Text);
        case TSystemColor::clCaptionText: return palette.color(QPalette::Active, QPalette::HighlightedText);
        case TSystemColor::clHighlight: return palette.color(QPalette::Active, QPalette::Highlight);
        case TSystemColor::clHighlightText: return palette.color(QPalette::Active, QPalette::HighlightedText);
    }
    return palette.color(QPalette::Active, QPalette::Base);
}
