// The message list's order and images: binary-search insertion must give exactly the order a
// full sort with ListViewCompare gives.
#include <gtest/gtest.h>

#include <QIcon>
#include <QListView>
#include <algorithm>
#include <random>

#include "common/PollScript.h"
#include "exchange/DataUnit.h"
#include "shell/MainUnit.h"
#include "shell/MessageListModel.h"

using testing_support::EncodeFieldList;

namespace {

class MessageListOrder : public ::testing::Test {
protected:
    void TearDown() override { ClearNotifications(); }

    // A stored notification with that Index (and title).
    TNotification* Stored(int32_t index, const std::string& title = "") {
        auto n = std::make_unique<TNotification>(
            EncodeFieldList({{"Index", std::to_string(index)},
                             {"Title", title.empty() ? "T" + std::to_string(index) : title},
                             {"Header", "H"},
                             {"Message", "M"}}));
        TNotification* raw = n.get();
        AppendNotification(std::move(n));
        return raw;
    }

    static std::vector<int32_t> Indexes(const TMessageListModel& model) {
        std::vector<int32_t> out;
        for (int row = 0; row < model.Count(); ++row) out.push_back(model.Data(row)->Index);
        return out;
    }

    TMessageListModel model_{&TMainForm::ListViewCompare};
};

TEST_F(MessageListOrder, NewestIndexStandsOnTopWhateverTheOrderOfArrival) {
    struct Case {
        std::vector<int32_t> arrivals;
        std::vector<int32_t> shown;
    };
    const Case cases[] = {
        {{1, 2, 3}, {3, 2, 1}},
        {{3, 2, 1}, {3, 2, 1}},
        {{9, 10}, {10, 9}},
        {{5, -2, 0, 7, 5}, {7, 5, 5, 0, -2}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        TMessageListModel model(&TMainForm::ListViewCompare);
        for (int32_t index : c.arrivals) model.Add(Stored(index));
        EXPECT_EQ(Indexes(model), c.shown);
        ClearNotifications();
    }
}

TEST_F(MessageListOrder, InsertionGivesTheOrderOfAFullSort) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int32_t> pick(-20, 200);
    std::vector<TNotification*> all;
    for (int i = 0; i < 2000; ++i) {
        TNotification* n = Stored(pick(random));
        all.push_back(n);
        model_.Add(n);
    }
    std::vector<TNotification*> sorted = all;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](TNotification* a, TNotification* b) { return TMainForm::ListViewCompare(a, b) < 0; });
    ASSERT_EQ(model_.Count(), 2000);
    for (int row = 0; row < model_.Count(); ++row) {
        ASSERT_EQ(model_.Data(row)->Index, sorted[static_cast<size_t>(row)]->Index) << row;
        ASSERT_EQ(model_.Caption(row).toStdString(), model_.Data(row)->Title) << row;
    }
    for (int row = 1; row < model_.Count(); ++row)
        ASSERT_LE(TMainForm::ListViewCompare(model_.Data(row - 1), model_.Data(row)), 0) << row;
}

TEST_F(MessageListOrder, AddReportsTheRowItLandedOn) {
    EXPECT_EQ(model_.Add(Stored(5)), 0);
    EXPECT_EQ(model_.Add(Stored(9)), 0);
    EXPECT_EQ(model_.Add(Stored(1)), 2);
    EXPECT_EQ(model_.Add(Stored(7)), 1);
    EXPECT_EQ(model_.Caption(1), "T7");
    EXPECT_EQ(model_.RowOf(model_.Data(3)), 3);
    EXPECT_EQ(model_.RowOf(nullptr), -1);
}

TEST_F(MessageListOrder, CompareFollowsTheStoredIndexOnly) {
    TNotification* ten = Stored(10);
    TNotification* nine = Stored(9);
    TNotification* otherTen = Stored(10);
    TNotification outside(EncodeFieldList({{"Index", "50"}}));
    EXPECT_LT(TMainForm::ListViewCompare(ten, nine), 0);
    EXPECT_GT(TMainForm::ListViewCompare(nine, ten), 0);
    EXPECT_EQ(TMainForm::ListViewCompare(ten, otherTen), 0);
    // A notification that is not in the store counts as Index 0.
    EXPECT_GT(TMainForm::ListViewCompare(&outside, nine), 0);
}

TEST_F(MessageListOrder, ImagesAndCaptionsReachTheView) {
    int asked = -1;
    model_.SetImageSource([&](int imageIndex) {
        asked = imageIndex;
        QPixmap pixmap(16, 16);
        pixmap.fill(imageIndex == 1 ? Qt::white : Qt::yellow);
        return QIcon(pixmap);
    });
    model_.Add(Stored(7, "Order \xE2\x84\x96 7"));
    const QModelIndex top = model_.index(0);
    EXPECT_EQ(model_.data(top, Qt::DisplayRole).toString(), QString::fromUtf8("Order \xE2\x84\x96 7"));
    EXPECT_EQ(model_.data(top, TMessageListModel::ImageIndexRole).toInt(), 0);
    EXPECT_FALSE(model_.data(top, Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(model_.flags(top) & Qt::ItemIsEditable);

    int changes = 0;
    QObject::connect(&model_, &QAbstractItemModel::dataChanged, [&] { ++changes; });
    model_.SetImageIndex(0, 2);
    model_.SetImageIndex(0, 2);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(model_.ImageIndex(0), 2);
    model_.data(top, Qt::DecorationRole);
    EXPECT_EQ(asked, 2);
}

}  // namespace
