#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "htmlview/HtmlFonts.h"
#include "htmlview/HtmlForms.h"

// How the document's style reaches the form controls: their font, colours, border, radius and
// padding as a widget style sheet, and the natural sizes browsers give (size=, cols=, rows=).

namespace {

constexpr int kMaxControlSide = 4000;

QString Rgba(const QColor& color) {
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

}  // namespace

QSize THtmlForms::Natural(const TControl& control, const QFontMetrics& metrics) const {
    const TControlSpec& declared = control.declared;
    const TLook& look = control.look;
    // What surrounds the text: the document's padding and border, or a browser's defaults.
    const int border = look.styled ? look.borderWidth : 2;
    const QMargins padding = look.styled ? look.padding : QMargins(2, 1, 2, 1);
    const int extraWidth = padding.left() + padding.right() + 2 * border;
    const int extraHeight = padding.top() + padding.bottom() + 2 * border;
    const int charWidth = std::max(1, metrics.averageCharWidth());
    switch (declared.kind) {
        case TControlKind::Text: {
            const int chars = declared.size > 0 ? declared.size : 20;
            return QSize(chars * charWidth + extraWidth, metrics.height() + extraHeight);
        }
        case TControlKind::TextArea: {
            const int cols = declared.cols > 0 ? declared.cols : 20;
            const int rows = declared.rows > 0 ? declared.rows : 2;
            return QSize(cols * charWidth + 15 + extraWidth, rows * metrics.height() + extraHeight);
        }
        case TControlKind::Submit:
        case TControlKind::Reset:
        case TControlKind::Button: {
            auto* button = qobject_cast<QPushButton*>(control.widget.data());
            const QString text = button ? button->text() : QString();
            const QMargins buttonPadding = look.styled ? look.padding : QMargins(6, 1, 6, 1);
            return QSize(
                metrics.horizontalAdvance(text) + buttonPadding.left() + buttonPadding.right() + 2 * border,
                metrics.height() + buttonPadding.top() + buttonPadding.bottom() + 2 * border);
        }
        case TControlKind::Select:
            if (auto* combo = qobject_cast<QComboBox*>(control.widget.data())) {
                int widest = 0;
                for (int i = 0; i < combo->count(); ++i)
                    widest = std::max(widest, metrics.horizontalAdvance(combo->itemText(i)));
                // A browser's list has a border of one pixel and no padding above and below.
                return QSize(widest + 24 + extraWidth,
                             look.styled ? metrics.height() + extraHeight + 2 : metrics.height() + 4);
            }
            return control.natural;
        default: return control.natural;
    }
}

namespace {

// The style sheet that gives a widget the document's look, its lengths at the zoom it is drawn at;
// empty when the widget keeps its own.
QString StyleSheet(const QWidget& widget, const THtmlForms::TLook& look, double zoom) {
    const auto px = [zoom](int length) { return static_cast<int>(std::lround(length * zoom)); };
    const QLatin1String name(widget.metaObject()->className());
    // Only a colour: the widget keeps its own frame.
    if (!look.styled && look.color.isValid())
        return QStringLiteral("%1 { color: %2; }").arg(name, Rgba(look.color));
    if (!look.styled) return {};
    QString sheet = QStringLiteral("%1 { ").arg(name);
    if (look.background.isValid())
        sheet += QStringLiteral("background-color: %1; ").arg(Rgba(look.background));
    if (look.color.isValid()) sheet += QStringLiteral("color: %1; ").arg(Rgba(look.color));
    if (look.borderWidth > 0 && look.borderColor.isValid())
        sheet += QStringLiteral("border: %1px solid %2; ")
                     .arg(std::max(1, px(look.borderWidth)))
                     .arg(Rgba(look.borderColor));
    else
        sheet += QStringLiteral("border: none; ");
    sheet += QStringLiteral("border-radius: %1px; ").arg(px(look.radius));
    sheet += QStringLiteral("padding: %1px %2px %3px %4px; }")
                 .arg(px(look.padding.top()))
                 .arg(px(look.padding.right()))
                 .arg(px(look.padding.bottom()))
                 .arg(px(look.padding.left()));
    return sheet;
}

}  // namespace

void THtmlForms::SetLook(int index, const TLook& look) {
    if (index < 0 || index >= Count()) return;
    TControl& control = controls_[static_cast<size_t>(index)];
    if (control.looked && control.look == look) return;
    control.looked = true;
    control.look = look;
    QWidget* widget = control.widget.data();
    if (!widget) return;
    const TControlKind kind = control.declared.kind;
    if (kind == TControlKind::CheckBox || kind == TControlKind::Radio || kind == TControlKind::Picture ||
        kind == TControlKind::Hidden)
        return;
    widget->setFont(look.font);
    const QString sheet = StyleSheet(*widget, look, 1.0);
    if (widget->styleSheet() != sheet) widget->setStyleSheet(sheet);
    QSize natural = Natural(control, QFontMetrics(look.font));
    // Without the document's box the widget draws its own frame, which needs the height it asks
    // for; text fields, buttons and lists take the browsers' heights, which their frames fit.
    const bool browserHeight = kind == TControlKind::Text || kind == TControlKind::Submit ||
                               kind == TControlKind::Reset || kind == TControlKind::Button ||
                               kind == TControlKind::Select;
    if (!look.styled && kind != TControlKind::TextArea && !browserHeight)
        natural.setHeight(std::max(natural.height(), widget->sizeHint().height()));
    control.natural = natural.boundedTo(QSize(kMaxControlSide, kMaxControlSide)).expandedTo(QSize(1, 1));
    const QFontMetrics metrics(look.font);
    control.baseline = std::max(0, (control.natural.height() - metrics.height()) / 2 + metrics.descent());
    // A text area scrolls its text: browsers stand its box on the baseline.
    if (kind == TControlKind::TextArea) control.baseline = 0;
}

void THtmlForms::ScaleFont(TControl& control, double zoom) {
    QWidget* widget = control.widget.data();
    const TControlKind kind = control.declared.kind;
    if (!widget || kind == TControlKind::CheckBox || kind == TControlKind::Radio ||
        kind == TControlKind::Picture || kind == TControlKind::Hidden)
        return;
    QFont font = control.looked ? control.look.font : viewport_->font();
    if (zoom != 1.0) {
        if (font.pixelSize() > 0)
            font.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pixelSize() * zoom))));
        else
            font.setPointSizeF(font.pointSizeF() * zoom);
    }
    if (widget->font() != font) widget->setFont(font);
    // The document's padding and borders grow with the text they hold.
    if (control.looked) {
        const QString sheet = StyleSheet(*widget, control.look, zoom);
        if (widget->styleSheet() != sheet) widget->setStyleSheet(sheet);
    }
}

void TControlElement::parse_styles(bool is_reparse) {
    litehtml::html_tag::parse_styles(is_reparse);
    look_ = THtmlForms::TLook();
    if (THtmlFont* font = THtmlFonts::From(get_font())) look_.font = font->font;
    // Styled when the document says anything about the control's box or colours.
    static const char* const kProperties[] = {
        "background-color",  "background-image", "border-top-style",
        "border-left-style", "border-top-width", "border-top-color",
        "padding-top",       "padding-left",     "border-top-left-radius"};
    for (const char* name : kProperties)
        if (m_style.get_property(name)) look_.styled = true;
    if (!look_.styled && !m_style.get_property("color")) return;
    if (const litehtml::background* background = get_background(true))
        if (background->m_color.alpha > 0)
            look_.background = QColor(background->m_color.red, background->m_color.green,
                                      background->m_color.blue, background->m_color.alpha);
    const litehtml::web_color color = get_color("color", true, litehtml::web_color(0, 0, 0));
    look_.color = QColor(color.red, color.green, color.blue, color.alpha);
    const litehtml::css_border& top = m_css_borders.top;
    if (top.style != litehtml::border_style_none && top.style != litehtml::border_style_hidden)
        look_.borderColor = QColor(top.color.red, top.color.green, top.color.blue, top.color.alpha);
}

TControlElement::TControlElement(const std::shared_ptr<litehtml::document>& doc, THtmlForms* forms, int index)
    : litehtml::html_tag(doc), forms_(forms), index_(index) {}

litehtml::size TControlElement::Measure(int parentWidth) const {
    const QSize natural = forms_->NaturalSize(index_);
    litehtml::size size;
    size.width = natural.width();
    size.height = natural.height();
    if (!m_css_width.is_predefined()) size.width = m_css_width.calc_percent(parentWidth);
    if (!m_css_height.is_predefined() && m_css_height.units() != litehtml::css_units_percentage) {
        const float height = m_css_height.val();
        size.height =
            height > kMaxControlSide ? kMaxControlSide : (height >= 0 ? static_cast<int>(height) : 0);
    }
    size.width = std::clamp(size.width, 0, kMaxControlSide);
    size.height = std::clamp(size.height, 0, kMaxControlSide);
    return size;
}

int TControlElement::render(int x, int y, int max_width, bool) {
    calc_outlines(max_width);
    // The control's padding and border are the widget's own: the widget covers its whole box.
    THtmlForms::TLook look = look_;
    if (look.styled) {
        look.padding = QMargins(m_padding.left, m_padding.top, m_padding.right, m_padding.bottom);
        look.borderWidth = std::max({m_borders.left, m_borders.top, m_borders.right, m_borders.bottom, 0});
        const litehtml::border_radiuses radii = m_css_borders.radius.calc_percents(m_pos.width, m_pos.height);
        look.radius = std::max(0, radii.top_left_x);
    }
    forms_->SetLook(index_, look);
    m_padding = litehtml::margins();
    m_borders = litehtml::margins();
    m_pos.move_to(x, y);
    const litehtml::size size = Measure(max_width);
    m_pos.width = size.width;
    m_pos.height = size.height;
    calc_auto_margins(max_width);
    m_pos.x += content_margins_left();
    m_pos.y += content_margins_top();
    return m_pos.width + content_margins_left() + content_margins_right();
}

void TControlElement::get_content_size(litehtml::size& sz, int max_width) {
    sz = Measure(max_width);
}

int TControlElement::get_base_line() {
    return forms_->Baseline(index_) + content_margins_bottom();
}

void TControlElement::draw(litehtml::uint_ptr, int, int, const litehtml::position*) {}

void TControlElement::draw_background(litehtml::uint_ptr, int, int, const litehtml::position*) {}
