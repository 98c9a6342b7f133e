#pragma once

#include <QFont>
#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <litehtml.h>

#include "base/Text.h"
#include "htmlview/HtmlCleaner.h"

class QButtonGroup;
class TPictureCache;

// What a submission hands to the owner.
struct TFormSubmission {
    ByteString action, target, encType, method;
    TStringArray results;
};

// The form controls of one document as real widgets on the view's viewport, placed where the
// renderer lays out their elements, with the submission rules of the view.
class THtmlForms : public QObject {
    Q_OBJECT

public:
    THtmlForms(QWidget* viewport, TPictureCache* pictures);
    ~THtmlForms() override;

    // Replaces every control by those of a new document (filled-in state included).
    void Reset(const std::vector<TFormSpec>& forms, const std::vector<TControlSpec>& controls,
               const std::string& charset, const QString& baseAddress, bool viewImages);
    void Clear();

    int Count() const { return static_cast<int>(controls_.size()); }
    // The size the control takes in the layout.
    QSize NaturalSize(int index) const;
    // Distance from the bottom of the control to the baseline of its text.
    int Baseline(int index) const;
    // How the document styles a control: its font, and the colours, border, radius and padding
    // it gives (then the widget gets a style sheet of its own).
    struct TLook {
        QFont font;
        bool styled = false;
        QColor background, color, borderColor;
        int borderWidth = 0, radius = 0;
        QMargins padding;
        bool operator==(const TLook& o) const {
            return font == o.font && styled == o.styled && background == o.background && color == o.color &&
                   borderColor == o.borderColor && borderWidth == o.borderWidth && radius == o.radius &&
                   padding == o.padding;
        }
    };
    // Gives the control the document's look; its natural size follows.
    void SetLook(int index, const TLook& look);
    // The element that lays the control out, for placing the widget after a layout.
    void Attach(int index, const std::weak_ptr<litehtml::element>& element);
    // Moves the widgets to where their elements are, given the document's origin on the viewport
    // and the zoom it is drawn at (the widgets and their text grow with it).
    void Place(QPoint origin, double zoom = 1.0);
    QWidget* Widget(int index) const;
    // The control an element of the layout stands for; -1 for none.
    int IndexOf(const litehtml::element* element) const;

    // The document of the submission's form was handled: a submission is ready.
    std::function<void(TFormSubmission submission)> OnSubmit;
    // Whether anyone listens; without a listener nothing is submitted.
    std::function<bool()> CanSubmit;

    // Builds what submitting `form` gives: by `submitter` (a control index, or -1 for Enter in a
    // text field), with the click position for a picture button.
    TFormSubmission Build(int form, int submitter, QPoint click) const;
    void Submit(int form, int submitter, QPoint click);
    // The first submit button (or picture button) of the form; -1 for none.
    int DefaultButton(int form) const;
    void ResetForm(int form);

private:
    struct TControl {
        TControlSpec declared;
        QPointer<QWidget> widget;
        std::weak_ptr<litehtml::element> element;
        QSize natural;
        int baseline = 0;
        QString pictureKey;
        TLook look;
        bool looked = false;
    };
    QSize Natural(const TControl& control, const QFontMetrics& metrics) const;

    // The control's text, and the padding and borders the document gives it, at the zoom its
    // document is drawn at.
    void ScaleFont(TControl& control, double zoom);
    void Create(int index);
    void Restore(TControl& control);
    std::string Encoded(const QString& text) const;

    QWidget* viewport_;
    TPictureCache* pictures_;
    std::vector<TFormSpec> forms_;
    std::vector<TControl> controls_;
    std::vector<QButtonGroup*> groups_;
    std::string charset_;
    QString baseAddress_;
    bool viewImages_ = true;
};

// The element that stands for a form control in the layout: a box of the control's size.
class TControlElement : public litehtml::html_tag {
public:
    TControlElement(const std::shared_ptr<litehtml::document>& doc, THtmlForms* forms, int index);

    int render(int x, int y, int max_width, bool second_pass = false) override;
    void parse_styles(bool is_reparse = false) override;
    void get_content_size(litehtml::size& sz, int max_width) override;
    bool is_replaced() const override { return true; }
    int line_height() const override { return height(); }
    int get_base_line() override;
    void draw(litehtml::uint_ptr hdc, int x, int y, const litehtml::position* clip) override;
    void draw_background(litehtml::uint_ptr hdc, int x, int y, const litehtml::position* clip) override;

private:
    litehtml::size Measure(int parentWidth) const;

    THtmlForms* forms_;
    int index_;
    THtmlForms::TLook look_;
};
