#include "support/UiFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

QFont UiFont(const QString& family) {
    // Installed under this very name: hasFamily() would also accept a name the font matcher
    // merely maps to some other face.
    if (QFontDatabase::families().contains(family, Qt::CaseInsensitive)) return QFont(family);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (QFontInfo(font).fixedPitch()) {
        // A desktop without a configured UI font: ask for the generic sans-serif face.
        font.setFamilies(QStringList{QStringLiteral("Sans Serif")});
        font.setStyleHint(QFont::SansSerif);
    }
    return font;
}
