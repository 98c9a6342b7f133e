#include "shell/Skins.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

namespace {

TSkin currentSkin = DefaultSkin;

struct TSkinColours {
    QColor window, windowText, base, alternateBase, text, button, buttonText, brightText;
    QColor highlight, highlightedText, link, linkVisited, toolTipBase, toolTipText;
    QColor light, midlight, mid, dark, shadow, placeholder;
    QColor disabledText;
};

// Brushed aluminium: blue-tinted light greys with a steel-blue selection.
const TSkinColours SwingMetalColours{
    QColor(0xdd, 0xe2, 0xe8), QColor(0x1c, 0x23, 0x2c), QColor(0xf6, 0xf8, 0xfa), QColor(0xe8, 0xec, 0xf1),
    QColor(0x1c, 0x23, 0x2c), QColor(0xd3, 0xd9, 0xe1), QColor(0x1c, 0x23, 0x2c), QColor(0xff, 0xff, 0xff),
    QColor(0x5b, 0x7f, 0xa6), QColor(0xff, 0xff, 0xff), QColor(0x2f, 0x5d, 0x93), QColor(0x5a, 0x4a, 0x8a),
    QColor(0xf2, 0xf4, 0xf7), QColor(0x1c, 0x23, 0x2c), QColor(0xf7, 0xf9, 0xfb), QColor(0xea, 0xee, 0xf2),
    QColor(0xa9, 0xb3, 0xbf), QColor(0x80, 0x8b, 0x98), QColor(0x4a, 0x52, 0x5c), QColor(0x7d, 0x87, 0x93),
    QColor(0x8c, 0x95, 0xa0),
};

// Dark slate with a hot pink pulse for selections and a cyan for links.
const TSkinColours XPulseColours{
    QColor(0x26, 0x2a, 0x33), QColor(0xe8, 0xec, 0xf2), QColor(0x1d, 0x20, 0x27), QColor(0x25, 0x29, 0x32),
    QColor(0xe8, 0xec, 0xf2), QColor(0x33, 0x38, 0x46), QColor(0xe8, 0xec, 0xf2), QColor(0xff, 0xff, 0xff),
    QColor(0xe0, 0x45, 0x7b), QColor(0xff, 0xff, 0xff), QColor(0x58, 0xc4, 0xff), QColor(0xb3, 0x8c, 0xff),
    QColor(0x33, 0x38, 0x46), QColor(0xe8, 0xec, 0xf2), QColor(0x4a, 0x50, 0x61), QColor(0x3d, 0x43, 0x52),
    QColor(0x1f, 0x22, 0x2a), QColor(0x16, 0x18, 0x1e), QColor(0x0b, 0x0c, 0x0f), QColor(0x8a, 0x92, 0xa3),
    QColor(0x75, 0x7c, 0x8a),
};

QPalette MakePalette(const TSkinColours& c) {
    QPalette p;
    p.setColor(QPalette::Window, c.window);
    p.setColor(QPalette::WindowText, c.windowText);
    p.setColor(QPalette::Base, c.base);
    p.setColor(QPalette::AlternateBase, c.alternateBase);
    p.setColor(QPalette::Text, c.text);
    p.setColor(QPalette::Button, c.button);
    p.setColor(QPalette::ButtonText, c.buttonText);
    p.setColor(QPalette::BrightText, c.brightText);
    p.setColor(QPalette::Highlight, c.highlight);
    p.setColor(QPalette::HighlightedText, c.highlightedText);
    p.setColor(QPalette::Link, c.link);
    p.setColor(QPalette::LinkVisited, c.linkVisited);
    p.setColor(QPalette::ToolTipBase, c.toolTipBase);
    p.setColor(QPalette::ToolTipText, c.toolTipText);
    p.setColor(QPalette::Light, c.light);
    p.setColor(QPalette::Midlight, c.midlight);
    p.setColor(QPalette::Mid, c.mid);
    p.setColor(QPalette::Dark, c.dark);
    p.setColor(QPalette::Shadow, c.shadow);
    p.setColor(QPalette::PlaceholderText, c.placeholder);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, c.disabledText);
    p.setColor(QPalette::Disabled, QPalette::Highlight, c.mid);
    return p;
}

}  // namespace

void ApplySkin(TSkin skin) {
    if (QApplication::style()->name().compare("fusion", Qt::CaseInsensitive) != 0) {
        if (QStyle* fusion = QStyleFactory::create("Fusion")) QApplication::setStyle(fusion);
    }
    QApplication::setPalette(MakePalette(skin == TSkin::SwingMetal ? SwingMetalColours : XPulseColours));
    currentSkin = skin;
}

bool ApplySkin(int themeIndex) {
    if (themeIndex != static_cast<int>(TSkin::SwingMetal) && themeIndex != static_cast<int>(TSkin::XPulse))
        return false;
    ApplySkin(static_cast<TSkin>(themeIndex));
    return true;
}

TSkin CurrentSkin() {
    return currentSkin;
}

QString SkinName(TSkin skin) {
    return skin == TSkin::SwingMetal ? QStringLiteral("Swing Metal") : QStringLiteral("X Pulse");
}

QString CurrentSkinName() {
    return SkinName(currentSkin);
}

void KeepWhite(QWidget* widget) {
    if (!widget) return;
    // Roles set on the widget itself survive later application palettes.
    QPalette p = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Base, Qt::white);
        p.setColor(group, QPalette::Window, Qt::white);
        p.setColor(group, QPalette::AlternateBase, Qt::white);
    }
    p.setColor(QPalette::Active, QPalette::Text, Qt::black);
    p.setColor(QPalette::Inactive, QPalette::Text, Qt::black);
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}
