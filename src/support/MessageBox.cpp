#include "support/MessageBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <array>
#include <cstdlib>

#include "support/UiFont.h"

namespace {

struct TButtonInfo {
    const char* Name;
    const char* Caption;
    int32_t Result;
    QStyle::StandardPixmap Glyph;
};

const std::array<TButtonInfo, MessageButtonCount> ButtonInfo = {{
    {"Yes", QT_TRANSLATE_NOOP("TMessageBox", "&Yes"), mrYes, QStyle::SP_DialogYesButton},
    {"No", QT_TRANSLATE_NOOP("TMessageBox", "&No"), mrNo, QStyle::SP_DialogNoButton},
    {"OK", QT_TRANSLATE_NOOP("TMessageBox", "OK"), mrOk, QStyle::SP_DialogOkButton},
    {"Cancel", QT_TRANSLATE_NOOP("TMessageBox", "Cancel"), mrCancel, QStyle::SP_DialogCancelButton},
    {"Abort", QT_TRANSLATE_NOOP("TMessageBox", "&Abort"), mrAbort, QStyle::SP_DialogAbortButton},
    {"Retry", QT_TRANSLATE_NOOP("TMessageBox", "&Retry"), mrRetry, QStyle::SP_DialogRetryButton},
    {"Ignore", QT_TRANSLATE_NOOP("TMessageBox", "&Ignore"), mrIgnore, QStyle::SP_DialogIgnoreButton},
    {"All", QT_TRANSLATE_NOOP("TMessageBox", "&All"), mrAll, QStyle::SP_DialogYesToAllButton},
    {"NoToAll", QT_TRANSLATE_NOOP("TMessageBox", "N&o to All"), mrNoToAll, QStyle::SP_DialogNoToAllButton},
    {"YesToAll", QT_TRANSLATE_NOOP("TMessageBox", "Yes to &All"), mrYesToAll,
     QStyle::SP_DialogYesToAllButton},
    {"Help", QT_TRANSLATE_NOOP("TMessageBox", "&Help"), mrNone, QStyle::SP_DialogHelpButton},
}};

// Measured once per run, like the platform's dialogs do: caption widths + 8, and the button
// height in vertical dialog units. The desktop's themes count as always active, hence 17.
std::array<int, MessageButtonCount> CaptionWidths{};
int ButtonHeightUnits = 14;

TMessageBox* GlobalBox = nullptr;

// Multiplies first, then divides with rounding half away from zero; -1 for a zero divisor.
int MulDiv(int Number, int Numerator, int Denominator) {
    if (Denominator == 0) return -1;
    const long long Product = static_cast<long long>(Number) * Numerator;
    const long long Magnitude = (std::llabs(Product) + std::llabs(Denominator) / 2) / std::llabs(Denominator);
    return static_cast<int>((Product < 0) != (Denominator < 0) ? -Magnitude : Magnitude);
}

QString KindCaption(MessageKind Kind) {
    switch (Kind) {
        case mkWarning: return TMessageBox::tr("Warning");
        case mkError: return TMessageBox::tr("Error");
        case mkInformation: return TMessageBox::tr("Information");
        case mkConfirmation: return TMessageBox::tr("Confirm");
        case mkCustom: break;
    }
    return QGuiApplication::applicationDisplayName();
}

bool KindIcon(MessageKind Kind, QStyle::StandardPixmap& Icon) {
    switch (Kind) {
        case mkWarning: Icon = QStyle::SP_MessageBoxWarning; return true;
        case mkError: Icon = QStyle::SP_MessageBoxCritical; return true;
        case mkInformation: Icon = QStyle::SP_MessageBoxInformation; return true;
        case mkConfirmation: Icon = QStyle::SP_MessageBoxQuestion; return true;
        case mkCustom: break;
    }
    return false;
}

// CR LF, and a CR or LF alone, each end a line.
QString NormalizeLineBreaks(const QString& Text) {
    QString Result = Text;
    Result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return Result;
}

}  // namespace

// The window of one box. Esc clicks the cancel button; closing it in any other way gives 2.
class TMessageBoxForm : public QDialog {
    Q_OBJECT

public:
    explicit TMessageBoxForm(Qt::WindowFlags Flags) : QDialog(nullptr, Flags) {}

    void SetCancelButton(QPushButton* Button) { FCancel = Button; }
    void Finish(int32_t Result) {
        FResult = Result;
        done(Result);
    }
    int32_t ModalResult() const { return FResult; }
    int32_t HelpContext = 0;

    void reject() override { Finish(mrCancel); }

protected:
    void keyPressEvent(QKeyEvent* Event) override {
        if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
            if (FCancel) FCancel->click();
            Event->accept();
            return;
        }
        QDialog::keyPressEvent(Event);
    }

private:
    QPointer<QPushButton> FCancel;
    int32_t FResult = mrCancel;
};

TMessageBox::TMessageBox(QObject* Owner) : QObject(Owner) {}

TMessageBox::~TMessageBox() {
    if (GlobalBox == this) GlobalBox = nullptr;
}

void TMessageBox::SetGlobal(bool Value) {
    FGlobal = Value;
    if (Value)
        GlobalBox = this;
    else if (GlobalBox == this)
        GlobalBox = nullptr;
}

QFont TMessageBox::ProgramFont() {
    QFont Font = UiFont(QStringLiteral("MS Sans Serif"));
    Font.setPixelSize(11);
    return Font;
}

int32_t TMessageBox::ShowDialog(const QString& Text, MessageKind Kind, TMessageButtons Buttons,
                                int32_t HelpContext) {
    ButtonHeightUnits = 17;

    Qt::WindowFlags Flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (BorderIcons & biSystemMenu) Flags |= Qt::WindowSystemMenuHint;
    if (BorderIcons & biClose) Flags |= Qt::WindowCloseButtonHint;
    if (BorderIcons & biMinimize) Flags |= Qt::WindowMinimizeButtonHint;
    if (BorderIcons & biMaximize) Flags |= Qt::WindowMaximizeButtonHint;
    if (BorderIcons & biHelp) Flags |= Qt::WindowContextHelpButtonHint;
    if (StayOnTop) Flags |= Qt::WindowStaysOnTopHint;
    TMessageBoxForm* Form = new TMessageBoxForm(Flags);
    Form->setLayoutDirection(QGuiApplication::layoutDirection());
    Form->setFont(ButtonFont);
    const bool RightToLeft = QGuiApplication::layoutDirection() == Qt::RightToLeft;

    const QFontMetrics ButtonMetrics(ButtonFont);
    const QString Letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int cx = ButtonMetrics.horizontalAdvance(Letters) / 52;
    const int cy = ButtonMetrics.height();

    const int HorzMargin = MulDiv(30, cx, 4);
    const int VertMargin = MulDiv(15, cy, 8);
    const int HorzSpacing = MulDiv(10, cx, 4);
    const int VertSpacing = MulDiv(10, cy, 8);
    int ButtonWidth = MulDiv(50, cx, 4);
    for (int Bit = 0; Bit < MessageButtonCount; ++Bit) {
        if (!Buttons.Contains(static_cast<TMessageButton>(Bit))) continue;
        int& Cached = CaptionWidths[static_cast<size_t>(Bit)];
        if (Cached == 0)
            Cached = ButtonMetrics
                         .boundingRect(QRect(), Qt::TextSingleLine | Qt::TextShowMnemonic,
                                       TMessageBox::tr(ButtonInfo[static_cast<size_t>(Bit)].Caption))
                         .width() +
                     8;
        if (Cached > ButtonWidth) ButtonWidth = Cached;
    }
    const int ButtonHeight = MulDiv(ButtonHeightUnits, cy, 8);
    const int ButtonSpacing = MulDiv(4, cx, 4);

    QScreen* Screen = QGuiApplication::primaryScreen();
    const QRect ScreenRect = Screen ? Screen->geometry() : QRect(0, 0, 1024, 768);
    const QString Message = NormalizeLineBreaks(Text);
    const int TextFlags =
        Qt::TextWordWrap | Qt::TextExpandTabs | (RightToLeft ? Qt::AlignRight : Qt::AlignLeft);
    const QRect TextRect =
        QFontMetrics(MessageFont).boundingRect(QRect(0, 0, ScreenRect.width() / 2, 0), TextFlags, Message);
    const int TextWidth = TextRect.width();
    const int TextHeight = TextRect.height();

    QStyle::StandardPixmap IconKind{};
    const bool HasIcon = KindIcon(Kind, IconKind) && ShowIconImage;
    int BlockWidth = TextWidth;
    int BlockHeight = TextHeight;
    if (HasIcon) {
        BlockWidth += 32 + HorzSpacing;
        if (BlockHeight < 32) BlockHeight = 32;
    }
    const int Count = Buttons.Count();
    const int RowWidth = Count > 0 ? Count * ButtonWidth + (Count - 1) * ButtonSpacing : 0;
    const int ClientWidth = std::max(BlockWidth, RowWidth) + 2 * HorzMargin;
    const int ClientHeight = BlockHeight + ButtonHeight + VertSpacing + 2 * VertMargin;
    Form->setFixedSize(ClientWidth, ClientHeight);

    const QPoint TopLeft(ScreenRect.width() / 2 - ClientWidth / 2,
                         ScreenRect.height() / 2 - ClientHeight / 2);
    Form->move(ScreenRect.topLeft() + TopLeft);
    Form->setWindowTitle(KindCaption(Kind));

    if (HasIcon) {
        QLabel* Image = new QLabel(Form);
        Image->setObjectName(QStringLiteral("Image"));
        Image->setPixmap(Form->style()->standardIcon(IconKind, nullptr, Form).pixmap(32, 32));
        Image->setGeometry(HorzMargin, VertMargin, 32, 32);
    }

    QLabel* Label = new QLabel(Form);
    Label->setObjectName(QStringLiteral("Message"));
    Label->setTextFormat(Qt::PlainText);
    Label->setWordWrap(true);
    Label->setFont(MessageFont);
    Label->setAlignment(Qt::AlignTop | (RightToLeft ? Qt::AlignRight : Qt::AlignLeft));
    Label->setText(Message);
    int LabelLeft = BlockWidth - TextWidth + HorzMargin;
    if (RightToLeft) LabelLeft = ClientWidth - LabelLeft - TextWidth;
    Label->setGeometry(LabelLeft, VertMargin, TextWidth, TextHeight);

    TMessageButton Default = Buttons.Contains(mbOK) ? mbOK : Buttons.Contains(mbYes) ? mbYes : mbRetry;
    TMessageButton Cancel = Buttons.Contains(mbCancel) ? mbCancel : Buttons.Contains(mbNo) ? mbNo : mbOK;
    const bool Glyphs =
        ShowButtonGlyph && Form->style()->styleHint(QStyle::SH_DialogButtonBox_ButtonsHaveIcons);
    QPushButton* Focus = nullptr;
    int X = (ClientWidth - RowWidth) / 2;
    for (int Bit = 0; Bit < MessageButtonCount; ++Bit) {
        const TMessageButton Which = static_cast<TMessageButton>(Bit);
        if (!Buttons.Contains(Which)) continue;
        const TButtonInfo& Info = ButtonInfo[static_cast<size_t>(Bit)];
        QPushButton* Button = new QPushButton(TMessageBox::tr(Info.Caption), Form);
        Button->setObjectName(QString::fromLatin1(Info.Name));
        Button->setFont(ButtonFont);
        if (Glyphs) Button->setIcon(Form->style()->standardIcon(Info.Glyph, nullptr, Button));
        if (ShowHints) Button->setToolTip(TMessageBox::tr(Info.Caption).remove(QLatin1Char('&')));
        if (Which == Default) {
            Button->setDefault(true);
            Focus = Button;
        }
        if (Which == Cancel) Form->SetCancelButton(Button);
        Button->setGeometry(X, BlockHeight + VertMargin + VertSpacing, ButtonWidth, ButtonHeight);
        X += ButtonWidth + ButtonSpacing;
        if (Which == mbHelp) {
            QObject::connect(Button, &QPushButton::clicked, Form, [this, Form] {
                if (OnHelp) OnHelp(this, Form->HelpContext);
            });
        } else {
            const int32_t Result = Info.Result;
            QObject::connect(Button, &QPushButton::clicked, Form, [Form, Result] { Form->Finish(Result); });
        }
    }
    if (Focus) Focus->setFocus();

    Form->HelpContext = HelpContext;
    QCoreApplication::processEvents();

    QPointer<TMessageBoxForm> Guard(Form);
    Form->exec();
    int32_t Result = mrCancel;
    if (Guard) {
        Result = Guard->ModalResult();
        delete Guard.data();
    }
    return Result;
}

int32_t MessageDialog(const QString& Text, MessageKind Kind, TMessageButtons Buttons, int32_t HelpContext) {
    if (GlobalBox) return GlobalBox->ShowDialog(Text, Kind, Buttons, HelpContext);
    TMessageBox Box;
    return Box.ShowDialog(Text, Kind, Buttons, HelpContext);
}

#include "MessageBox.moc"
