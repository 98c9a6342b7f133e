// The windows' font by family name, and what stands in for a family that is not installed.
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>

#include "support/UiFont.h"

namespace {

TEST(SupportUiFont, AnInstalledFamilyIsUsedAMissingOneGivesWayToAProportionalUiFont) {
    struct Case {
        const char* Family;
        bool Installed;
    };
    const Case cases[] = {
        {"DejaVu Sans", true},
        {"Liberation Serif", true},
        {"MS Sans Serif", false},
        {"No Such Family Anywhere", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Family);
        const QString family = QString::fromLatin1(c.Family);
        ASSERT_EQ(QFontDatabase::hasFamily(family), c.Installed) << "the machine's fonts are not as expected";
        const QFontInfo shown(UiFont(family));
        EXPECT_FALSE(shown.fixedPitch()) << shown.family().toStdString();
        if (c.Installed) {
            EXPECT_EQ(shown.family(), family);
        } else {
            EXPECT_NE(shown.family(), family);
        }
    }
}

}  // namespace
