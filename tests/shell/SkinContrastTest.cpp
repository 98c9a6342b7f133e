// Every text the skins draw stands out from its background by at least 4.5:1 (the contrast of
// relative luminances), computed from the palettes and measured on a real drop-down list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QListView>
#include <QPalette>
#include <QStandardItemModel>
#include <cmath>
#include <map>

#include "common/EventLoopWait.h"
#include "shell/Skins.h"

using testing_support::WaitUntil;

namespace {

double Luminance(const QColor& colour) {
    auto channel = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The background of a stretch of the picture (its most common colour) and the colour that
// stands out most from it (the cores of the letters).
std::pair<QColor, QColor> BackgroundAndText(const QImage& image, const QRect& area) {
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) ++counts[image.pixel(x, y) | 0xff000000];
    QRgb background = 0;
    int most = -1;
    for (const auto& [rgb, n] : counts)
        if (n > most) most = n, background = rgb;
    QRgb text = background;
    double best = 1.0;
    for (const auto& [rgb, n] : counts)
        if (const double c = Contrast(QColor(rgb), QColor(background)); c > best) best = c, text = rgb;
    return {QColor(background), QColor(text)};
}

class SkinContrast : public ::testing::TestWithParam<TSkin> {
protected:
    void TearDown() override { ApplySkin(DefaultSkin); }
};

}  // namespace

TEST_P(SkinContrast, EveryTextOnItsBackgroundInThePalettes) {
    ApplySkin(GetParam());
    const QPalette app = QApplication::palette();
    const QPalette menus = QApplication::palette("QMenu");
    struct Pair {
        const char* Name;
        const QPalette& Palette;
        QPalette::ColorRole Text, Background;
        bool Disabled = true;  // also drawn greyed out
    };
    const Pair Table[] = {
        {"window text", app, QPalette::WindowText, QPalette::Window},
        {"field text", app, QPalette::Text, QPalette::Base},
        {"field text on alternate rows", app, QPalette::Text, QPalette::AlternateBase},
        {"button text", app, QPalette::ButtonText, QPalette::Button},
        {"selection", app, QPalette::HighlightedText, QPalette::Highlight},
        {"link", app, QPalette::Link, QPalette::Base},
        {"visited link", app, QPalette::LinkVisited, QPalette::Base},
        {"tool tip", app, QPalette::ToolTipText, QPalette::ToolTipBase},
        {"placeholder", app, QPalette::PlaceholderText, QPalette::Base, false},
        // The message view draws the button text over the highlighted-text colour.
        {"message text", app, QPalette::ButtonText, QPalette::HighlightedText, false},
        {"message field text", app, QPalette::Text, QPalette::HighlightedText, false},
        {"menu item", menus, QPalette::ButtonText, QPalette::Window},
        {"drop-down item", menus, QPalette::Text, QPalette::Window},
        {"drop-down item selected", menus, QPalette::HighlightedText, QPalette::Highlight},
    };
    for (const Pair& P : Table)
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            if (group == QPalette::Disabled && !P.Disabled) continue;
            const double ratio =
                Contrast(P.Palette.color(group, P.Text), P.Palette.color(group, P.Background));
            EXPECT_GE(ratio, 4.5) << P.Name << " in colour group " << group << ": "
                                  << P.Palette.color(group, P.Text).name().toStdString() << " on "
                                  << P.Palette.color(group, P.Background).name().toStdString();
        }
}

TEST_P(SkinContrast, DropDownItemsAsDrawn) {
    ApplySkin(GetParam());
    QComboBox combo;
    auto* model = new QStandardItemModel(&combo);
    for (const char* text : {"Selected option", "Another option", "Switched off"})
        model->appendRow(new QStandardItem(QString::fromLatin1(text)));
    model->item(2)->setEnabled(false);
    combo.setModel(model);
    combo.resize(220, 30);
    combo.show();
    ASSERT_TRUE(WaitUntil([&] { return combo.isVisible(); }));
    combo.showPopup();
    QListView* list = qobject_cast<QListView*>(combo.view());
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return list->isVisible(); }));
    const QImage image = list->viewport()->grab().toImage();
    struct Row {
        const char* Name;
        int Index;
    };
    for (const Row& R : {Row{"selected", 0}, Row{"unselected", 1}, Row{"disabled", 2}}) {
        const QRect area = list->visualRect(model->index(R.Index, 0)).intersected(image.rect());
        ASSERT_FALSE(area.isEmpty()) << R.Name;
        const auto [background, text] = BackgroundAndText(image, area);
        EXPECT_GE(Contrast(text, background), 4.5)
            << R.Name << ": " << text.name().toStdString() << " on " << background.name().toStdString();
    }
    combo.hidePopup();
}

INSTANTIATE_TEST_SUITE_P(BothSkins, SkinContrast, ::testing::Values(TSkin::SwingMetal, TSkin::XPulse),
                         [](const auto& info) {
                             return info.param == TSkin::SwingMetal ? std::string("SwingMetal")
                                                                    : std::string("XPulse");
                         });
