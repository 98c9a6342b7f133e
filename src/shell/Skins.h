#pragma once

#include <QString>

class QWidget;

// The program's two looks, both drawn by Qt's Fusion style with a palette of their own. The
// numbers are the Tags of the hidden "Skins" menu's items.
enum class TSkin : int {
    SwingMetal = 0,  // "Swing Metal": cool light metallic greys
    XPulse = 1,      // "X Pulse": dark slate with a vivid accent; in use at start
};

constexpr TSkin DefaultSkin = TSkin::XPulse;

// Switches the whole application to the skin. Widgets that were given a fixed background with
// KeepWhite keep it.
void ApplySkin(TSkin skin);

// The menu's way in: applies the skin with that number (a menu item's Tag). Returns false and
// changes nothing for a number that names no skin.
bool ApplySkin(int themeIndex);

TSkin CurrentSkin();
QString SkinName(TSkin skin);  // "Swing Metal" or "X Pulse"
QString CurrentSkinName();

// Gives the widget a white background with black text under every skin (the message list).
void KeepWhite(QWidget* widget);
