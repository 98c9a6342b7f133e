#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

class QFrame;
class QPushButton;

// A label that stands for a web address: underlined, with a pointing-hand cursor, in the
// skin's highlight colour. A click (or Enter and Space once it has the focus) asks the desktop
// to open the address with the user's default program; once that succeeded the label shows the
// skin's visited-link colour.
class TURLLabel : public QLabel {
    Q_OBJECT
public:
    explicit TURLLabel(const QString& caption, QWidget* parent = nullptr);

    QString URL() const { return url_; }
    void SetURL(const QString& url) { url_ = url; }
    bool Visited() const { return visited_; }

    // Opens the address as a click does; gives whether the desktop accepted it.
    bool Open();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    QString url_;
    bool visited_ = false;
    bool pressed_ = false;
};

// The About window: product name, version and the maker's notices. While it is open the main
// window is disabled and HTTPForm->Paused is set; "Ok" and the close button undo both, without
// a poll.
//
// Created once at start-up, right after MainForm, with `new TAboutForm()`: a top-level window
// without parent, hidden until opened. The constructor sets the global `AboutForm` and gives
// MainForm its ShowAbout; the destructor clears both.
class TAboutForm : public QWidget {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);
    ~TAboutForm() override;

    QFrame* Panel;
    QLabel* ProgramIcon;
    QLabel* LabelProduct;
    QLabel* LabelCopyright;
    QLabel* LabelReserved;
    QLabel* LabelSupport;
    TURLLabel* URLLabel;
    QPushButton* OKButton;

    // Makes the window visible, raised and active.
    void Open();

    void FormActivate();
    void FormClose();
    void OKButtonClick();

    // The copyright line as the window shows it, with the given sign ("(C)" or "©").
    static QString CopyrightLine(const QString& sign);

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
};

extern TAboutForm* AboutForm;
