#pragma once

class QString;
class QWidget;

namespace platform {

// Gives the keyboard focus to a shown top-level window. Under X11 at the desktop's present time:
// the toolkit's own activation uses the time of the last event the program saw, and a program
// that has been idle while another took the focus would see that request ignored. Under Wayland
// with the activation token kept below, when there is one; where the compositor still leaves the
// focus elsewhere, the window asks for the user's attention.
void FocusTopLevel(QWidget* window);

// The program runs on a Wayland compositor, where only a token lets a window take the focus.
bool ActivationTakesToken();

// Keeps a token (from a later start of the program) for the next FocusTopLevel under Wayland; an
// empty one changes nothing.
void KeepActivationToken(const QString& token);

}  // namespace platform
