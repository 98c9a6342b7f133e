#pragma once

#include <QFont>
#include <QString>

// The font the windows ask for by family name. Where that family is not installed, the
// desktop's own UI font is used instead of whatever the font matcher would pick for the name:
// under some locales (Japanese, for one) that pick is a monospaced face.
QFont UiFont(const QString& family);
