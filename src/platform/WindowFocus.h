#pragma once

class QWidget;

namespace platform {

// Gives the keyboard focus to a shown top-level window at the desktop's present time. The
// toolkit's own activation uses the time of the last event the program saw; a program that has
// been idle while another took the focus would see that request ignored.
void FocusTopLevel(QWidget* window);

}  // namespace platform
