#pragma once

class QWidget;
class TFindBar;
class THtmlView;

// The keys of the main window for its message view, wherever the focus is in the window:
// Ctrl+F opens the find bar, F3 and Shift+F3 go to the next and previous place found; Ctrl++
// (and Ctrl+=), Ctrl+- and Ctrl+0 zoom the message in, out and back to its own size.
void MessageViewKeys(QWidget* window, THtmlView* view, TFindBar* findBar);
