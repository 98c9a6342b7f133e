#include "htmlview/HtmlForms.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyle>
#include <QTextBlock>
#include <QTextLayout>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <map>

#include "base/WideText.h"
#include "htmlview/CharsetDetect.h"
#include "htmlview/HtmlPainter.h"
#include "htmlview/PictureCache.h"

namespace {

constexpr int kMaxControlSide = 4000;
// The side of a check box or radio button, as browsers draw them.
constexpr int kToggleSide = 13;

// A picture that submits its form with the position of the click.
class TPictureButton : public QAbstractButton {
public:
    TPictureButton(QWidget* parent, TPictureCache* pictures, QString key, QString alt)
        : QAbstractButton(parent), pictures_(pictures), key_(std::move(key)), alt_(std::move(alt)) {
        setCursor(Qt::PointingHandCursor);
    }
    QPoint clickPosition;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        clickPosition = event->position().toPoint();
        QAbstractButton::mouseReleaseEvent(event);
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QPixmap frame = pictures_ ? pictures_->Frame(key_) : QPixmap();
        if (!frame.isNull()) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawPixmap(rect(), frame);
        } else if (!alt_.isEmpty()) {
            painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, alt_);
        }
        if (hasFocus()) {
            painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
            painter.drawRect(rect().adjusted(0, 0, -1, -1));
        }
    }

private:
    TPictureCache* pictures_;
    QString key_, alt_;
};

// Hard-wrapped text: the lines as displayed, joined by CR LF.
QString DisplayedLines(QPlainTextEdit* edit) {
    QStringList lines;
    for (QTextBlock block = edit->document()->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        QTextLayout* layout = block.layout();
        if (!layout || layout->lineCount() <= 1) {
            lines << text;
            continue;
        }
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            QString piece = text.mid(line.textStart(), line.textLength());
            if (i + 1 < layout->lineCount()) {
                while (piece.endsWith(QLatin1Char(' '))) piece.chop(1);
            }
            lines << piece;
        }
    }
    return lines.join(QStringLiteral("\r\n"));
}

}  // namespace

THtmlForms::THtmlForms(QWidget* viewport, TPictureCache* pictures)
    : viewport_(viewport), pictures_(pictures) {}

THtmlForms::~THtmlForms() {
    Clear();
}

void THtmlForms::Clear() {
    for (TControl& control : controls_) delete control.widget.data();
    for (QButtonGroup* group : groups_) delete group;
    controls_.clear();
    groups_.clear();
    forms_.clear();
}

void THtmlForms::Reset(const std::vector<TFormSpec>& forms, const std::vector<TControlSpec>& controls,
                       const std::string& charset, const QString& baseAddress, bool viewImages) {
    Clear();
    forms_ = forms;
    charset_ = charset;
    baseAddress_ = baseAddress;
    viewImages_ = viewImages;
    controls_.resize(controls.size());
    for (size_t i = 0; i < controls.size(); ++i) controls_[i].declared = controls[i];
    // Created in document order, so that tabbing follows the document.
    for (size_t i = 0; i < controls_.size(); ++i) Create(static_cast<int>(i));
    std::map<std::pair<int, std::string>, QButtonGroup*> radioGroups;
    for (TControl& control : controls_) {
        if (control.declared.kind != TControlKind::Radio || control.declared.name.empty()) continue;
        auto key = std::make_pair(control.declared.form, control.declared.name);
        QButtonGroup*& group = radioGroups[key];
        if (!group) {
            group = new QButtonGroup();
            group->setExclusive(true);
            groups_.push_back(group);
        }
        group->addButton(static_cast<QAbstractButton*>(control.widget.data()));
    }
    for (TControl& control : controls_) Restore(control);
}

void THtmlForms::Create(int index) {
    TControl& control = controls_[static_cast<size_t>(index)];
    const TControlSpec& declared = control.declared;
    QWidget* widget = nullptr;
    const QFontMetrics metrics(viewport_->font());
    const int charWidth = std::max(1, metrics.averageCharWidth());
    switch (declared.kind) {
        case TControlKind::Hidden: return;
        case TControlKind::Text: {
            auto* edit = new QLineEdit(viewport_);
            if (declared.password) edit->setEchoMode(QLineEdit::Password);
            if (declared.maxLength >= 0) edit->setMaxLength(std::min(declared.maxLength, 32767));
            edit->setPlaceholderText(FromUtf8(declared.placeholder));
            edit->setReadOnly(declared.readOnly);
            connect(edit, &QLineEdit::returnPressed, this, [this, index] {
                const int form = controls_[static_cast<size_t>(index)].declared.form;
                // As in browsers: Enter presses the form's first submit button, and a disabled
                // one keeps the form from being sent.
                const int button = DefaultButton(form);
                if (button >= 0 && controls_[static_cast<size_t>(button)].declared.disabled) return;
                Submit(form, button, {});
            });
            const int chars = declared.size > 0 ? declared.size : 20;
            control.natural = QSize(chars * charWidth + 8, edit->sizeHint().height());
            widget = edit;
            break;
        }
        case TControlKind::CheckBox:
        case TControlKind::Radio: {
            QAbstractButton* button = declared.kind == TControlKind::CheckBox
                                          ? static_cast<QAbstractButton*>(new QCheckBox(viewport_))
                                          : new QRadioButton(viewport_);
            control.natural = button->sizeHint();
            widget = button;
            break;
        }
        case TControlKind::Submit:
        case TControlKind::Reset:
        case TControlKind::Button:
        case TControlKind::File: {
            QString label = FromUtf8(declared.kind == TControlKind::File
                                         ? std::string()
                                         : (declared.text.empty() ? declared.value : declared.text));
            if (declared.kind == TControlKind::File) label = tr("Browse...");
            if (label.isEmpty() && declared.kind == TControlKind::Submit) label = tr("Submit");
            if (label.isEmpty() && declared.kind == TControlKind::Reset) label = tr("Reset");
            auto* button = new QPushButton(label, viewport_);
            button->setAutoDefault(false);
            if (declared.kind == TControlKind::Submit)
                connect(button, &QPushButton::clicked, this, [this, index] {
                    Submit(controls_[static_cast<size_t>(index)].declared.form, index, {});
                });
            if (declared.kind == TControlKind::Reset)
                connect(button, &QPushButton::clicked, this,
                        [this, index] { ResetForm(controls_[static_cast<size_t>(index)].declared.form); });
            control.natural = button->sizeHint();
            widget = button;
            break;
        }
        case TControlKind::Picture: {
            const QString key =
                viewImages_ ? TPictureCache::Resolve(FromUtf8(declared.src), baseAddress_) : QString();
            if (!key.isEmpty()) pictures_->Load(key);
            auto* button = new TPictureButton(viewport_, pictures_, key, FromUtf8(declared.alt));
            control.pictureKey = key;
            control.natural =
                declared.alt.empty()
                    ? QSize(0, 0)
                    : QSize(metrics.horizontalAdvance(FromUtf8(declared.alt)) + 4, metrics.height() + 4);
            connect(button, &QAbstractButton::clicked, this, [this, index, button] {
                Submit(controls_[static_cast<size_t>(index)].declared.form, index, button->clickPosition);
            });
            widget = button;
            break;
        }
        case TControlKind::Select: {
            const bool listBox = declared.multiple || declared.size > 1;
            if (listBox) {
                auto* list = new QListWidget(viewport_);
                list->setSelectionMode(declared.multiple ? QAbstractItemView::MultiSelection
                                                         : QAbstractItemView::SingleSelection);
                int widest = 0;
                for (const TOptionSpec& option : declared.options) {
                    auto* item = new QListWidgetItem(FromUtf8(option.label), list);
                    if (option.disabled)
                        item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
                    widest = std::max(widest, metrics.horizontalAdvance(item->text()));
                }
                const int rows = std::max(declared.size > 1 ? declared.size : 4, 1);
                const int rowHeight = std::max(list->sizeHintForRow(0), metrics.height() + 2);
                control.natural = QSize(widest + list->verticalScrollBar()->sizeHint().width() + 16,
                                        rows * rowHeight + 2 * list->frameWidth());
                widget = list;
            } else {
                auto* combo = new QComboBox(viewport_);
                for (const TOptionSpec& option : declared.options) combo->addItem(FromUtf8(option.label));
                if (auto* model = qobject_cast<QStandardItemModel*>(combo->model()))
                    for (size_t i = 0; i < declared.options.size(); ++i)
                        if (declared.options[i].disabled) model->item(static_cast<int>(i))->setEnabled(false);
                combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
                control.natural = combo->sizeHint();
                widget = combo;
            }
            break;
        }
        case TControlKind::TextArea: {
            auto* edit = new QPlainTextEdit(viewport_);
            edit->setReadOnly(declared.readOnly);
            edit->setTabChangesFocus(true);
            edit->setPlaceholderText(FromUtf8(declared.placeholder));
            if (declared.wrap == "off") edit->setLineWrapMode(QPlainTextEdit::NoWrap);
            const int cols = declared.cols > 0 ? declared.cols : 20;
            const int rows = declared.rows > 0 ? declared.rows : 2;
            const int frame = 2 * edit->frameWidth() + 8;
            control.natural = QSize(cols * charWidth + edit->verticalScrollBar()->sizeHint().width() + frame,
                                    rows * metrics.lineSpacing() + frame);
            widget = edit;
            break;
        }
    }
    if (!widget) return;
    if (declared.kind == TControlKind::File || declared.disabled) widget->setEnabled(false);
    control.natural =
        control.natural.boundedTo(QSize(kMaxControlSide, kMaxControlSide)).expandedTo(QSize(1, 1));
    const QFontMetrics widgetMetrics(widget->font());
    control.baseline =
        std::max(0, (control.natural.height() - widgetMetrics.height()) / 2 + widgetMetrics.descent());
    if (declared.kind == TControlKind::CheckBox || declared.kind == TControlKind::Radio) {
        // Browsers' boxes: 13 pixels, standing on the baseline (their margins are in the default
        // style sheet).
        control.natural = QSize(kToggleSide, kToggleSide);
        control.baseline = 0;
    }
    widget->hide();
    control.widget = widget;
}

void THtmlForms::Restore(TControl& control) {
    const TControlSpec& declared = control.declared;
    QWidget* widget = control.widget.data();
    if (!widget) return;
    switch (declared.kind) {
        case TControlKind::Text: static_cast<QLineEdit*>(widget)->setText(FromUtf8(declared.value)); break;
        case TControlKind::CheckBox:
        case TControlKind::Radio: {
            auto* button = static_cast<QAbstractButton*>(widget);
            QButtonGroup* group = button->group();
            // An exclusive group refuses to untick its last button.
            if (group && !declared.checked && button->isChecked()) {
                group->setExclusive(false);
                button->setChecked(false);
                group->setExclusive(true);
            } else {
                button->setChecked(declared.checked);
            }
            break;
        }
        case TControlKind::TextArea:
            static_cast<QPlainTextEdit*>(widget)->setPlainText(FromUtf8(declared.text));
            break;
        case TControlKind::Select:
            if (auto* list = qobject_cast<QListWidget*>(widget)) {
                list->clearSelection();
                for (size_t i = 0; i < declared.options.size(); ++i) {
                    if (!declared.options[i].selected) continue;
                    list->item(static_cast<int>(i))->setSelected(true);
                    list->setCurrentRow(static_cast<int>(i), QItemSelectionModel::Current);
                }
            } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
                int selected = -1;
                for (size_t i = 0; i < declared.options.size(); ++i)
                    if (declared.options[i].selected) selected = static_cast<int>(i);
                for (size_t i = 0; selected < 0 && i < declared.options.size(); ++i)
                    if (!declared.options[i].disabled) selected = static_cast<int>(i);
                combo->setCurrentIndex(selected);
            }
            break;
        default: break;
    }
}

void THtmlForms::ResetForm(int form) {
    if (form < 0) return;
    for (TControl& control : controls_)
        if (control.declared.form == form) Restore(control);
}

QSize THtmlForms::NaturalSize(int index) const {
    if (index < 0 || index >= Count()) return {};
    const TControl& control = controls_[static_cast<size_t>(index)];
    if (control.declared.kind == TControlKind::Picture) {
        const QSize picture = control.pictureKey.isEmpty() ? QSize() : pictures_->Size(control.pictureKey);
        int width = control.declared.width, height = control.declared.height;
        if (picture.isValid() && !picture.isEmpty()) {
            if (!width && !height) return picture;
            if (!width) width = picture.width() * height / picture.height();
            if (!height) height = picture.height() * width / picture.width();
        }
        if (!width && !height) return control.natural;
        return QSize(width, height);
    }
    return control.natural;
}

int THtmlForms::Baseline(int index) const {
    if (index < 0 || index >= Count()) return 0;
    return controls_[static_cast<size_t>(index)].baseline;
}

void THtmlForms::Attach(int index, const std::weak_ptr<litehtml::element>& element) {
    if (index < 0 || index >= Count()) return;
    controls_[static_cast<size_t>(index)].element = element;
}

QWidget* THtmlForms::Widget(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return controls_[static_cast<size_t>(index)].widget.data();
}

int THtmlForms::IndexOf(const litehtml::element* element) const {
    if (!element) return -1;
    for (size_t i = 0; i < controls_.size(); ++i)
        if (controls_[i].element.lock().get() == element) return static_cast<int>(i);
    return -1;
}

void THtmlForms::Place(QPoint origin, double zoom) {
    for (TControl& control : controls_) {
        QWidget* widget = control.widget.data();
        if (!widget) continue;
        auto element = control.element.lock();
        bool shown = element != nullptr;
        for (auto e = element; shown && e; e = e->parent())
            if (e->get_display() == litehtml::display_none ||
                e->get_visibility() != litehtml::visibility_visible)
                shown = false;
        if (!shown) {
            widget->hide();
            continue;
        }
        const litehtml::position place = element->get_placement();
        const auto scaled = [zoom](long long length) {
            return static_cast<long long>(std::floor(length * zoom));
        };
        widget->setGeometry(
            htmlpaint::Coordinate(origin.x() + scaled(place.x)),
            htmlpaint::Coordinate(origin.y() + scaled(place.y)),
            static_cast<int>(std::clamp<long long>(scaled(place.width), 1, kMaxControlSide)),
            static_cast<int>(std::clamp<long long>(scaled(place.height), 1, kMaxControlSide)));
        ScaleFont(control, zoom);
        widget->show();
    }
}

std::string THtmlForms::Encoded(const QString& text) const {
    return EncodeForCharset(text.toStdString(), charset_);
}

int THtmlForms::DefaultButton(int form) const {
    for (size_t i = 0; i < controls_.size(); ++i) {
        const TControlSpec& declared = controls_[i].declared;
        if (declared.form == form &&
            (declared.kind == TControlKind::Submit || declared.kind == TControlKind::Picture))
            return static_cast<int>(i);
    }
    return -1;
}

TFormSubmission THtmlForms::Build(int form, int submitter, QPoint click) const {
    TFormSubmission submission;
    if (form < 0 || form >= static_cast<int>(forms_.size())) return submission;
    const TFormSpec& declared = forms_[static_cast<size_t>(form)];
    submission.action = EncodeForCharset(declared.action, charset_);
    submission.target = EncodeForCharset(declared.target, charset_);
    submission.encType = EncodeForCharset(declared.enctype, charset_);
    submission.method = EncodeForCharset(declared.method, charset_);
    auto add = [&](const std::string& name, const QString& value) {
        submission.results.push_back(EncodeForCharset(name, charset_) + "=" + Encoded(value));
    };
    for (size_t i = 0; i < controls_.size(); ++i) {
        const TControl& control = controls_[i];
        const TControlSpec& c = control.declared;
        if (c.form != form || c.disabled) continue;
        QWidget* widget = control.widget.data();
        if (c.kind == TControlKind::Picture) {
            if (static_cast<int>(i) != submitter) continue;
            const QString x = QString::number(click.x()), y = QString::number(click.y());
            if (c.name.empty()) {
                add("x", x);
                add("y", y);
            } else {
                add(c.name + ".x", x);
                add(c.name + ".y", y);
            }
            continue;
        }
        // A control without a name gives no entry, as in browsers.
        if (c.name.empty()) continue;
        switch (c.kind) {
            case TControlKind::Text:
                if (auto* edit = qobject_cast<QLineEdit*>(widget)) add(c.name, edit->text());
                break;
            case TControlKind::Hidden: add(c.name, FromUtf8(c.value)); break;
            case TControlKind::CheckBox:
            case TControlKind::Radio:
                if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->isChecked())
                    add(c.name, FromUtf8(c.value));
                break;
            case TControlKind::Select:
                if (auto* combo = qobject_cast<QComboBox*>(widget)) {
                    const int at = combo->currentIndex();
                    if (at >= 0 && at < static_cast<int>(c.options.size()))
                        add(c.name, FromUtf8(c.options[static_cast<size_t>(at)].value));
                } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
                    for (int row = 0; row < list->count() && row < static_cast<int>(c.options.size());
                         ++row) {
                        const bool chosen =
                            c.multiple ? list->item(row)->isSelected()
                                       : (row == list->currentRow() && list->item(row)->isSelected());
                        if (chosen) add(c.name, FromUtf8(c.options[static_cast<size_t>(row)].value));
                    }
                }
                break;
            case TControlKind::TextArea:
                if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
                    QString text = c.wrap == "hard" ? DisplayedLines(edit) : edit->toPlainText();
                    if (c.wrap != "hard") text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
                    add(c.name, text);
                }
                break;
            default: break;
        }
    }
    if (submitter >= 0 && submitter < Count()) {
        const TControlSpec& button = controls_[static_cast<size_t>(submitter)].declared;
        if (button.kind == TControlKind::Submit && !button.name.empty())
            add(button.name, FromUtf8(button.value));
    }
    return submission;
}

void THtmlForms::Submit(int form, int submitter, QPoint click) {
    if (form < 0 || form >= static_cast<int>(forms_.size())) return;
    if (!CanSubmit || !CanSubmit()) return;
    TFormSubmission submission = Build(form, submitter, click);
    // Delivered after the click or key press has been handled completely.
    QMetaObject::invokeMethod(
        this,
        [this, submission = std::move(submission)]() mutable {
            if (OnSubmit) OnSubmit(std::move(submission));
        },
        Qt::QueuedConnection);
}
