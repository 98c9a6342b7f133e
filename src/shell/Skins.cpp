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
    QColor disabledText;        // on Base, AlternateBase and Button
    QColor disabledWindowText;  // on Window, where menus and drop-down lists draw their items
};

// Every text and its background keep a contrast of at least 4.5:1 (disabled text included): the
// selection colours are dark enough for white text, and a skin with dark frames and light fields
// has a disabled grey for each.

// Brushed aluminium: blue-tinted light greys with a steel-blue selection.
const TSkinColours SwingMetalColours{
    QColor(0xdd, 0xe2, 0xe8), QColor(0x1c, 0x23, 0x2c), QColor(0xf6, 0xf8, 0xfa), QColor(0xe8, 0xec, 0xf1),
    QColor(0x1c, 0x23, 0x2c), QColor(0xd3, 0xd9, 0xe1), QColor(0x1c, 0x23, 0x2c), QColor(0xff, 0xff, 0xff),
    QColor(0x4a, 0x6d, 0x94), QColor(0xff, 0xff, 0xff), QColor(0x2f, 0x5d, 0x93), QColor(0x5a, 0x4a, 0x8a),
    QColor(0xf2, 0xf4, 0xf7), QColor(0x1c, 0x23, 0x2c), QColor(0xf7, 0xf9, 0xfb), QColor(0xea, 0xee, 0xf2),
    QColor(0xa9, 0xb3, 0xbf), QColor(0x80, 0x8b, 0x98), QColor(0x4a, 0x52, 0x5c), QColor(0x5f, 0x67, 0x74),
    QColor(0x55, 0x5e, 0x69), QColor(0x55, 0x5e, 0x69),
};

// Dark slate frames and menus with a hot pink pulse for selections. Buttons, text fields and
// documents stay dark on light: the message view takes its default colours from the button
// text and the highlighted text, as the desktop's own colours would give them.
const TSkinColours XPulseColours{
    QColor(0x26, 0x2a, 0x33), QColor(0xe8, 0xec, 0xf2), QColor(0xf4, 0xf6, 0xf9), QColor(0xe6, 0xea, 0xf0),
    QColor(0x1c, 0x20, 0x29), QColor(0xc4, 0xcb, 0xd6), QColor(0x1c, 0x20, 0x29), QColor(0xff, 0xff, 0xff),
    QColor(0xc2, 0x36, 0x6a), QColor(0xff, 0xff, 0xff), QColor(0x1f, 0x6f, 0xd1), QColor(0x7a, 0x4f, 0xd0),
    QColor(0x33, 0x38, 0x46), QColor(0xe8, 0xec, 0xf2), QColor(0xe4, 0xe8, 0xee), QColor(0xd4, 0xd9, 0xe1),
    QColor(0x8d, 0x95, 0xa3), QColor(0x5a, 0x61, 0x6e), QColor(0x0b, 0x0c, 0x0f), QColor(0x5f, 0x67, 0x74),
    QColor(0x4a, 0x51, 0x5e), QColor(0xa3, 0xaa, 0xb6),
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
    p.setColor(QPalette::Disabled, QPalette::WindowText, c.disabledWindowText);
    for (auto role : {QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, c.disabledText);
    p.setColor(QPalette::Disabled, QPalette::Highlight, c.mid);
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, c.text);
    return p;
}

}  // namespace

void ApplySkin(TSkin skin) {
    if (QApplication::style()->name().compare("fusion", Qt::CaseInsensitive) != 0) {
        if (QStyle* fusion = QStyleFactory::create("Fusion")) QApplication::setStyle(fusion);
    }
    const QPalette palette = MakePalette(skin == TSkin::SwingMetal ? SwingMetalColours : XPulseColours);
    QApplication::setPalette(palette);
    // Menus, and the drop-down lists of combo boxes that take the menus' palette, draw their
    // items' text over the window colour: give them the window's text.
    QPalette menus = palette;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        for (auto role : {QPalette::ButtonText, QPalette::Text})
            menus.setColor(group, role, palette.color(group, QPalette::WindowText));
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
