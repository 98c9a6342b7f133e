#include "support/UiFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

QFont UiFont(const QString& family) {
    if (QFontDatabase::hasFamily(family)) return QFont(family);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (QFontInfo(font).fixedPitch()) {
        // A desktop without a configured UI font: ask for the generic sans-serif face.
        font.setFamilies(QStringList{QStringLiteral("Sans Serif")});
        font.setStyleHint(QFont::SansSerif);
    }
    return font;
}
