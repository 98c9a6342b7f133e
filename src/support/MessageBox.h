#pragma once

#include <QFont>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <initializer_list>

// The kind of a box: picks its icon and its caption.
enum MessageKind {
    mkWarning = 0,       // exclamation icon, "Warning"
    mkError = 1,         // critical icon, "Error"
    mkInformation = 2,   // information icon, "Information"
    mkConfirmation = 3,  // question icon, "Confirm"
    mkCustom = 4,        // no icon, the application's title
};

// The buttons of a box, laid out left to right in this order; the value is the bit number.
enum TMessageButton {
    mbYes = 0,       // "&Yes", result 6
    mbNo = 1,        // "&No", result 7
    mbOK = 2,        // "OK", result 1
    mbCancel = 3,    // "Cancel", result 2
    mbAbort = 4,     // "&Abort", result 3
    mbRetry = 5,     // "&Retry", result 4
    mbIgnore = 6,    // "&Ignore", result 5
    mbAll = 7,       // "&All", result 8
    mbNoToAll = 8,   // "N&o to All", result 9
    mbYesToAll = 9,  // "Yes to &All", result 10
    mbHelp = 10,     // "&Help", does not close the box
};
constexpr int MessageButtonCount = 11;

// A set of buttons: bit n stands for button n, so {mbOK} is 4.
class TMessageButtons {
public:
    constexpr TMessageButtons() = default;
    constexpr TMessageButtons(std::initializer_list<TMessageButton> Buttons) {
        for (TMessageButton Button : Buttons) FBits |= 1u << Button;
    }
    static constexpr TMessageButtons FromBits(uint32_t Bits) {
        TMessageButtons Set;
        Set.FBits = Bits & ((1u << MessageButtonCount) - 1);
        return Set;
    }
    constexpr uint32_t Bits() const { return FBits; }
    constexpr bool Contains(TMessageButton Button) const { return (FBits >> Button) & 1u; }
    constexpr int Count() const {
        int N = 0;
        for (int Bit = 0; Bit < MessageButtonCount; ++Bit) N += (FBits >> Bit) & 1u;
        return N;
    }
    constexpr bool operator==(const TMessageButtons&) const = default;

private:
    uint32_t FBits = 0;
};

// Modal results of the buttons.
enum TModalResult : int32_t {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

enum TPosition { poDesigned, poDefault, poScreenCenter, poDesktopCenter, poMainFormCenter };

enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8, biClose = 16 };
using TBorderIcons = unsigned;

// Shows a short text in a small modal window with the kind's icon and a row of buttons, and
// tells which button closed it. One instance, MsgBox, lives on the main window.
class TMessageBox : public QObject {
    Q_OBJECT

public:
    explicit TMessageBox(QObject* Owner = nullptr);
    ~TMessageBox() override;

    // Builds a box, shows it modally (timers and hand-overs from workers go on running), destroys
    // it and gives the modal result of the button that closed it, or 2 when it was closed in any
    // other way. CR LF in Text starts a new line; long lines wrap at half the screen width.
    int32_t ShowDialog(const QString& Text, MessageKind Kind, TMessageButtons Buttons, int32_t HelpContext);

    // Settings. The program sets MessageFont and ButtonFont to ProgramFont(); the rest keep
    // their defaults.
    QFont MessageFont;  // font of the text
    QFont ButtonFont;   // font of the buttons, whose average character size scales the layout
    // Boxes are given no explicit position, so each one opens at the screen's centre.
    TPosition Position = poScreenCenter;
    TBorderIcons BorderIcons = biClose | biSystemMenu;
    bool ShowIconImage = true;
    bool ShowButtonGlyph = true;
    bool ShowHints = false;
    bool StayOnTop = false;
    // Skin effects of the frame; a plain window has none of them, they are kept for the layout.
    QString Animation;
    bool Blending = false;
    bool Shadow = false;
    bool Sizeable = false;

    // This component serves the calls that name none (MessageDialog below).
    bool Global() const { return FGlobal; }
    void SetGlobal(bool Value);

    // Raised by the Help button: the application shows the help topic of the context.
    std::function<void(TMessageBox* Sender, int32_t HelpContext)> OnHelp;

    // "MS Sans Serif", 11 pixels high, no style: the font the program gives both fonts.
    static QFont ProgramFont();

private:
    bool FGlobal = false;
};

// A box shown through the component whose Global is set, or with default settings when none is.
int32_t MessageDialog(const QString& Text, MessageKind Kind, TMessageButtons Buttons, int32_t HelpContext);
