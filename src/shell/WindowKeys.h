#pragma once

#include <functional>

class QAbstractItemView;
class QAbstractButton;
class QWidget;

// Keys the windows answer to the way desktop dialogs and lists do. Each installs an event
// filter owned by the widget it watches.

// Enter and Return on the list's entry with the focus mark run `open`, after the list has
// handled the key, as a double-click does.
void OpenEntryOnEnter(QAbstractItemView* list, std::function<void()> open);

// In a window that is no dialog of the toolkit's: Return and Enter that no control took press
// `defaultButton`; Escape closes the window, as its close button does.
void DialogKeys(QWidget* window, QAbstractButton* defaultButton);
