#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <atomic>
#include <functional>
#include <thread>

#include "support/MessageBox.h"

namespace {

const QString ProgramText =
    QStringLiteral("Connection Failed!\r\nCheck that you correctly entered webscript URL!");

// Rounds half away from zero after multiplying, as the layout's arithmetic does.
int MulDiv(int a, int b, int c) {
    const long long p = static_cast<long long>(a) * b;
    const long long q = (std::llabs(p) + c / 2) / c;
    return static_cast<int>(p < 0 ? -q : q);
}

QDialog* OpenBox() {
    QWidget* Modal = QApplication::activeModalWidget();
    if (!Modal || !Modal->inherits("TMessageBoxForm") || !Modal->isVisible()) return nullptr;
    return qobject_cast<QDialog*>(Modal);
}

// Shows a box and runs Action on it once it is open; a box still open after a generous time is
// closed so that a failing test cannot hang. Gives the box's result.
int32_t WithBox(TMessageBox& Box, const QString& Text, MessageKind Kind, TMessageButtons Buttons,
                const std::function<void(QDialog*)>& Action, bool* Reached = nullptr,
                int32_t HelpContext = 0) {
    bool Done = false;
    QTimer Watch;
    QObject::connect(&Watch, &QTimer::timeout, [&] {
        if (Done) return;
        if (QDialog* Dialog = OpenBox()) {
            Done = true;
            Watch.stop();
            Action(Dialog);
        }
    });
    Watch.start(10);
    QElapsedTimer Clock;
    Clock.start();
    QTimer Guard;
    QObject::connect(&Guard, &QTimer::timeout, [&] {
        if (Clock.elapsed() < 20000) return;
        if (QDialog* Dialog = OpenBox()) Dialog->close();
    });
    Guard.start(100);
    const int32_t Result = Box.ShowDialog(Text, Kind, Buttons, HelpContext);
    if (Reached) *Reached = Done;
    EXPECT_TRUE(Done) << "the box never opened";
    EXPECT_EQ(OpenBox(), nullptr) << "the box is gone after ShowDialog";
    return Result;
}

void Key(QDialog* Dialog, int KeyCode) {
    QWidget* Target = Dialog->focusWidget() ? Dialog->focusWidget() : Dialog;
    QKeyEvent Press(QEvent::KeyPress, KeyCode, Qt::NoModifier);
    QApplication::sendEvent(Target, &Press);
}

struct Figures {
    int cx, cy, HorzMargin, VertMargin, HorzSpacing, VertSpacing, ButtonWidth, ButtonHeight, ButtonSpacing;
};

Figures Expected(const QFont& ButtonFont) {
    const QFontMetrics M(ButtonFont);
    Figures F{};
    F.cx = M.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52;
    F.cy = M.height();
    F.HorzMargin = MulDiv(30, F.cx, 4);
    F.VertMargin = MulDiv(15, F.cy, 8);
    F.HorzSpacing = MulDiv(10, F.cx, 4);
    F.VertSpacing = MulDiv(10, F.cy, 8);
    F.ButtonWidth = MulDiv(50, F.cx, 4);
    F.ButtonHeight = MulDiv(17, F.cy, 8);
    F.ButtonSpacing = MulDiv(4, F.cx, 4);
    return F;
}

struct ProgramBox : TMessageBox {
    ProgramBox() {
        MessageFont = ProgramFont();
        ButtonFont = ProgramFont();
    }
};

}  // namespace

TEST(SupportMessageBox, ProgramCallLayout) {
    ProgramBox Box;
    const Figures F = Expected(Box.ButtonFont);
    ASSERT_GT(F.cx, 0);
    const QRect Screen = QGuiApplication::primaryScreen()->geometry();
    const QFontMetrics Text(Box.MessageFont);
    const int Line1 = Text.horizontalAdvance(QStringLiteral("Connection Failed!"));
    const int Line2 =
        Text.horizontalAdvance(QStringLiteral("Check that you correctly entered webscript URL!"));
    ASSERT_LT(Line2, Screen.width() / 2) << "both lines fit, no wrapping";

    const int32_t Result = WithBox(Box, ProgramText, mkWarning, {mbOK}, [&](QDialog* D) {
        EXPECT_EQ(D->windowTitle(), QStringLiteral("Warning"));
        auto* Image = D->findChild<QLabel*>(QStringLiteral("Image"));
        auto* Message = D->findChild<QLabel*>(QStringLiteral("Message"));
        auto* OK = D->findChild<QPushButton*>(QStringLiteral("OK"));
        ASSERT_TRUE(Image && Message && OK);
        EXPECT_EQ(D->findChildren<QPushButton*>().size(), 1);

        const QRect T = Message->geometry();
        EXPECT_NEAR(T.width(), std::max(Line1, Line2), 1);
        EXPECT_GE(T.height(), Text.height() + Text.lineSpacing() - 1) << "two lines";
        EXPECT_LT(T.height(), 3 * Text.lineSpacing());
        EXPECT_EQ(Message->text().count(QLatin1Char('\n')), 1);
        EXPECT_FALSE(Message->text().contains(QLatin1Char('\r')));

        const int BlockWidth = T.width() + 32 + F.HorzSpacing;
        const int BlockHeight = std::max(T.height(), 32);
        const int ClientWidth = std::max(BlockWidth, F.ButtonWidth) + 2 * F.HorzMargin;
        const int ClientHeight = BlockHeight + F.ButtonHeight + F.VertSpacing + 2 * F.VertMargin;
        EXPECT_EQ(D->size(), QSize(ClientWidth, ClientHeight));
        EXPECT_EQ(D->pos(),
                  QPoint(Screen.width() / 2 - ClientWidth / 2, Screen.height() / 2 - ClientHeight / 2));
        EXPECT_EQ(Image->geometry(), QRect(F.HorzMargin, F.VertMargin, 32, 32));
        EXPECT_FALSE(Image->pixmap().isNull());
        EXPECT_EQ(T.topLeft(), QPoint(BlockWidth - T.width() + F.HorzMargin, F.VertMargin));
        EXPECT_EQ(OK->geometry(),
                  QRect((ClientWidth - F.ButtonWidth) / 2, BlockHeight + F.VertMargin + F.VertSpacing,
                        F.ButtonWidth, F.ButtonHeight));
        EXPECT_TRUE(OK->isDefault());
        EXPECT_EQ(OK->text(), QStringLiteral("OK"));
        OK->click();
    });
    EXPECT_EQ(Result, 1);
}

TEST(SupportMessageBox, MultiButtonLayout) {
    ProgramBox Box;
    const Figures F = Expected(Box.ButtonFont);
    const TMessageButtons Buttons{mbYes, mbNo, mbCancel, mbHelp};
    const char* Names[] = {"Yes", "No", "Cancel", "Help"};
    const char* Captions[] = {"&Yes", "&No", "Cancel", "&Help"};
    EXPECT_EQ(Buttons.Bits(), 1u | 2u | 8u | 1024u);
    WithBox(Box, QStringLiteral("Save the changes?"), mkConfirmation, Buttons, [&](QDialog* D) {
        EXPECT_EQ(D->windowTitle(), QStringLiteral("Confirm"));
        auto* Message = D->findChild<QLabel*>(QStringLiteral("Message"));
        ASSERT_TRUE(Message);
        const int Row = 4 * F.ButtonWidth + 3 * F.ButtonSpacing;
        const int BlockWidth = Message->width() + 32 + F.HorzSpacing;
        const int BlockHeight = 32;
        const int ClientWidth = std::max(BlockWidth, Row) + 2 * F.HorzMargin;
        EXPECT_EQ(D->width(), ClientWidth);
        EXPECT_EQ(D->height(), BlockHeight + F.ButtonHeight + F.VertSpacing + 2 * F.VertMargin);
        EXPECT_EQ(Message->x(), BlockWidth - Message->width() + F.HorzMargin);
        int X = (ClientWidth - Row) / 2;
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(Names[i]);
            auto* B = D->findChild<QPushButton*>(QString::fromLatin1(Names[i]));
            ASSERT_TRUE(B);
            EXPECT_EQ(B->text(), QString::fromLatin1(Captions[i]));
            EXPECT_EQ(B->geometry(),
                      QRect(X, BlockHeight + F.VertMargin + F.VertSpacing, F.ButtonWidth, F.ButtonHeight));
            X += F.ButtonWidth + F.ButtonSpacing;
        }
        EXPECT_TRUE(D->findChild<QPushButton*>(QStringLiteral("Yes"))->isDefault());
        D->findChild<QPushButton*>(QStringLiteral("No"))->click();
    });
}

TEST(SupportMessageBox, WideCaptionsWidenEveryButton) {
    TMessageBox Box;
    // Wide word spaces stretch the two-word captions but not the average letter width.
    QFont Font = TMessageBox::ProgramFont();
    Font.setWordSpacing(40);
    Box.ButtonFont = Font;
    const Figures F = Expected(Font);
    const QFontMetrics M(Font);
    const int Widest = std::max(M.horizontalAdvance(QStringLiteral("No to All")),
                                M.horizontalAdvance(QStringLiteral("Yes to All"))) +
                       8;
    ASSERT_GT(Widest, F.ButtonWidth + 2);
    WithBox(Box, QStringLiteral("Replace all?"), mkConfirmation, {mbNoToAll, mbYesToAll}, [&](QDialog* D) {
        auto* No = D->findChild<QPushButton*>(QStringLiteral("NoToAll"));
        auto* Yes = D->findChild<QPushButton*>(QStringLiteral("YesToAll"));
        ASSERT_TRUE(No && Yes);
        EXPECT_NEAR(No->width(), Widest, 1);
        EXPECT_EQ(No->width(), Yes->width());
        EXPECT_LT(No->x(), Yes->x()) << "bit order, left to right";
        EXPECT_EQ(Yes->x() - No->x(), No->width() + F.ButtonSpacing);
        D->close();
    });
}

TEST(SupportMessageBox, KindsGiveCaptionAndIcon) {
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Quorvel 1.01"));
    struct Case {
        MessageKind Kind;
        const char* Caption;
        bool Icon;
        QStyle::StandardPixmap Standard;
    };
    const Case Cases[] = {
        {mkWarning, "Warning", true, QStyle::SP_MessageBoxWarning},
        {mkError, "Error", true, QStyle::SP_MessageBoxCritical},
        {mkInformation, "Information", true, QStyle::SP_MessageBoxInformation},
        {mkConfirmation, "Confirm", true, QStyle::SP_MessageBoxQuestion},
        {mkCustom, "Quorvel 1.01", false, QStyle::SP_CustomBase},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Caption);
        ProgramBox Box;
        WithBox(Box, QStringLiteral("Text"), C.Kind, {mbOK}, [&](QDialog* D) {
            EXPECT_EQ(D->windowTitle(), QString::fromLatin1(C.Caption));
            auto* Image = D->findChild<QLabel*>(QStringLiteral("Image"));
            EXPECT_EQ(Image != nullptr, C.Icon);
            if (Image) {
                const QImage Shown = Image->pixmap().toImage();
                const QImage Standard =
                    D->style()->standardIcon(C.Standard, nullptr, D).pixmap(32, 32).toImage();
                EXPECT_EQ(Shown.convertToFormat(QImage::Format_ARGB32),
                          Standard.convertToFormat(QImage::Format_ARGB32));
            } else {
                auto* Message = D->findChild<QLabel*>(QStringLiteral("Message"));
                EXPECT_EQ(Message->x(), Expected(Box.ButtonFont).HorzMargin)
                    << "the text starts at the margin";
            }
            D->close();
        });
    }
    ProgramBox Plain;
    Plain.ShowIconImage = false;
    WithBox(Plain, QStringLiteral("Text"), mkWarning, {mbOK}, [&](QDialog* D) {
        EXPECT_EQ(D->findChild<QLabel*>(QStringLiteral("Image")), nullptr);
        D->close();
    });
}

// Enter clicks the default button, Esc the cancel button; closing otherwise gives 2.
TEST(SupportMessageBox, DefaultAndCancelButtons) {
    struct Case {
        const char* Name;
        TMessageButtons Buttons;
        const char* Default;
        int32_t Enter;
        int32_t Escape;  // 0: Esc does nothing, the box is then closed
    };
    const Case Cases[] = {
        {"OK", {mbOK}, "OK", 1, 1},
        {"OK Cancel", {mbOK, mbCancel}, "OK", 1, 2},
        {"Yes No", {mbYes, mbNo}, "Yes", 6, 7},
        {"Yes No Cancel", {mbYes, mbNo, mbCancel}, "Yes", 6, 2},
        {"Abort Retry Ignore", {mbAbort, mbRetry, mbIgnore}, "Retry", 4, 0},
        {"Yes OK No", {mbYes, mbOK, mbNo}, "OK", 1, 7},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        ProgramBox Box;
        EXPECT_EQ(WithBox(Box, QStringLiteral("Text"), mkConfirmation, C.Buttons,
                          [&](QDialog* D) {
                              auto* Default = D->findChild<QPushButton*>(QString::fromLatin1(C.Default));
                              ASSERT_TRUE(Default);
                              EXPECT_TRUE(Default->isDefault());
                              Key(D, Qt::Key_Return);
                          }),
                  C.Enter);
        bool StayedOpen = false;
        const int32_t Escaped =
            WithBox(Box, QStringLiteral("Text"), mkConfirmation, C.Buttons, [&](QDialog* D) {
                Key(D, Qt::Key_Escape);
                if (C.Escape == 0) {
                    QApplication::processEvents();
                    StayedOpen = OpenBox() == D;
                    D->close();
                }
            });
        if (C.Escape == 0) {
            EXPECT_TRUE(StayedOpen);
            EXPECT_EQ(Escaped, 2);
        } else {
            EXPECT_EQ(Escaped, C.Escape);
        }
    }
}

TEST(SupportMessageBox, ClosingTheWindowGivesTwo) {
    ProgramBox Box;
    EXPECT_EQ(WithBox(Box, ProgramText, mkWarning, {mbOK}, [](QDialog* D) { D->close(); }), 2);
    EXPECT_EQ(WithBox(Box, ProgramText, mkWarning, {mbYes, mbNo}, [](QDialog* D) { D->close(); }), 2);
}

TEST(SupportMessageBox, LineBreaksAndWrapping) {
    ProgramBox Box;
    const QFontMetrics M(Box.MessageFont);
    const int Half = QGuiApplication::primaryScreen()->geometry().width() / 2;
    QString Long;
    while (M.horizontalAdvance(Long) < 2 * Half) Long += QStringLiteral("word ");
    const QString Text = QStringLiteral("first\r\nsecond\r\n") + Long.trimmed();
    WithBox(Box, Text, mkWarning, {mbOK}, [&](QDialog* D) {
        auto* Message = D->findChild<QLabel*>(QStringLiteral("Message"));
        ASSERT_TRUE(Message);
        EXPECT_LE(Message->width(), Half);
        EXPECT_GT(Message->width(), Half / 2);
        // Two short lines and a long one that needs at least three lines at half the screen.
        EXPECT_GE(Message->height(), 5 * M.lineSpacing() - M.leading() - 1);
        EXPECT_FALSE(Message->text().contains(QLatin1Char('\r')));
        EXPECT_TRUE(Message->wordWrap());
        D->close();
    });
}

TEST(SupportMessageBox, OneLineBlockIsAsHighAsTheIcon) {
    ProgramBox Box;
    const Figures F = Expected(Box.ButtonFont);
    WithBox(Box, QStringLiteral("Hi"), mkWarning, {mbOK}, [&](QDialog* D) {
        auto* Message = D->findChild<QLabel*>(QStringLiteral("Message"));
        auto* OK = D->findChild<QPushButton*>(QStringLiteral("OK"));
        ASSERT_TRUE(Message && OK);
        ASSERT_LT(Message->height(), 32);
        EXPECT_EQ(OK->y(), 32 + F.VertMargin + F.VertSpacing);
        EXPECT_EQ(D->height(), 32 + F.ButtonHeight + F.VertSpacing + 2 * F.VertMargin);
        D->close();
    });
}

TEST(SupportMessageBox, TimersAndHandOversRunWhileOpen) {
    ProgramBox Box;
    int Ticks = 0;
    QTimer Ticker;
    QObject::connect(&Ticker, &QTimer::timeout, [&] { ++Ticks; });
    Ticker.start(10);
    std::atomic<bool> HandedOver{false};
    std::thread Worker;
    QObject Receiver;
    const int32_t Result = WithBox(Box, ProgramText, mkWarning, {mbOK}, [&](QDialog* D) {
        Worker = std::thread([&] {
            QMetaObject::invokeMethod(
                &Receiver, [&] { HandedOver = true; }, Qt::QueuedConnection);
        });
        // Close only once the other timer has ticked and the worker's call has run in the box's loop.
        auto* Closer = new QTimer(D);
        QObject::connect(Closer, &QTimer::timeout, [&, D] {
            if (Ticks >= 5 && HandedOver) D->findChild<QPushButton*>(QStringLiteral("OK"))->click();
        });
        Closer->start(10);
        Ticks = 0;
    });
    Worker.join();
    EXPECT_EQ(Result, 1);
    EXPECT_GE(Ticks, 5);
    EXPECT_TRUE(HandedOver);
}

TEST(SupportMessageBox, HelpButtonAsksForTheTopicAndStaysOpen) {
    ProgramBox Box;
    std::vector<int32_t> Topics;
    Box.OnHelp = [&](TMessageBox* Sender, int32_t Context) {
        EXPECT_EQ(Sender, &Box);
        Topics.push_back(Context);
    };
    const int32_t Result = WithBox(
        Box, QStringLiteral("Text"), mkInformation, {mbOK, mbHelp},
        [&](QDialog* D) {
            D->findChild<QPushButton*>(QStringLiteral("Help"))->click();
            QApplication::processEvents();
            EXPECT_EQ(OpenBox(), D);
            D->findChild<QPushButton*>(QStringLiteral("OK"))->click();
        },
        nullptr, 77);
    EXPECT_EQ(Result, 1);
    EXPECT_EQ(Topics, std::vector<int32_t>{77});
}

TEST(SupportMessageBox, GlobalComponentServesUnnamedCalls) {
    ProgramBox Box;
    Box.SetGlobal(true);
    bool Seen = false;
    QTimer Watch;
    QObject::connect(&Watch, &QTimer::timeout, [&] {
        if (QDialog* D = OpenBox()) {
            Watch.stop();
            Seen = D->findChild<QLabel*>(QStringLiteral("Message"))->font().pixelSize() == 11;
            D->findChild<QPushButton*>(QStringLiteral("Yes"))->click();
        }
    });
    Watch.start(10);
    EXPECT_EQ(MessageDialog(QStringLiteral("Text"), mkConfirmation, {mbYes, mbNo}, 0), 6);
    EXPECT_TRUE(Seen);
}
