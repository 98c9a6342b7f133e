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

// Dark slate frames and menus with a hot pink pulse for selections. Buttons, text fields and
// documents stay dark on light: the message view takes its default colours from the button
// text and the highlighted text, as the desktop's own colours would give them.
const TSkinColours XPulseColours{
    QColor(0x26, 0x2a, 0x33), QColor(0xe8, 0xec, 0xf2), QColor(0xf4, 0xf6, 0xf9), QColor(0xe6, 0xea, 0xf0),
    QColor(0x1c, 0x20, 0x29), QColor(0xc4, 0xcb, 0xd6), QColor(0x1c, 0x20, 0x29), QColor(0xff, 0xff, 0xff),
    QColor(0xe0, 0x45, 0x7b), QColor(0xff, 0xff, 0xff), QColor(0x1f, 0x6f, 0xd1), QColor(0x7a, 0x4f, 0xd0),
    QColor(0x33, 0x38, 0x46), QColor(0xe8, 0xec, 0xf2), QColor(0xe4, 0xe8, 0xee), QColor(0xd4, 0xd9, 0xe1),
    QColor(0x8d, 0x95, 0xa3), QColor(0x5a, 0x61, 0x6e), QColor(0x0b, 0x0c, 0x0f), QColor(0x7d, 0x85, 0x94),
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
    const QPalette palette = MakePalette(skin == TSkin::SwingMetal ? SwingMetalColours : XPulseColours);
    QApplication::setPalette(palette);
    // Menus are drawn with the button text over the window colour: give them the window's text.
    QPalette menus = palette;
    for (auto group : {QPalette::Active, QPalette::Inactive})
        menus.setColor(group, QPalette::ButtonText, palette.color(group, QPalette::WindowText));
    QApplication::setPalette(menus, "QMenuBar");
    QApplication::setPalette(menus, "QMenu");
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
