#include "htmlview/DocumentContainer.h"

#include <el_anchor.h>

#include <QApplication>
#include <QGuiApplication>
#include <QPainterPath>
#include <QPalette>
#include <QScreen>
#include <QUrl>
#include <algorithm>
#include <cstring>

#include "base/Text.h"
#include "base/WideText.h"
#include "htmlview/EmojiText.h"
#include "htmlview/FontVariants.h"
#include "htmlview/HintedElements.h"
#include "htmlview/HtmlCleaner.h"
#include "htmlview/HtmlElements.h"
#include "htmlview/HtmlFonts.h"
#include "htmlview/HtmlForms.h"
#include "htmlview/HtmlPainter.h"
#include "htmlview/HtmlSelection.h"
#include "htmlview/InlineBoxes.h"
#include "htmlview/PictureCache.h"
#include "htmlview/ResourceFetcher.h"
#include "htmlview/StyleFixes.h"

namespace {

// A link whose target the user has visited: styled by :visited instead of :link.
class TVisitedAnchor : public litehtml::el_anchor {
public:
    using litehtml::el_anchor::el_anchor;
    void apply_stylesheet(const litehtml::css& stylesheet) override {
        m_pseudo_classes.push_back("visited");
        litehtml::html_tag::apply_stylesheet(stylesheet);
    }
};

}  // namespace

THtmlContainer::THtmlContainer(THtmlFonts& fonts, TPictureCache& pictures, THtmlForms& forms,
                               THtmlSelection& selection, TResourceFetcher& fetcher)
    : fonts_(fonts), pictures_(pictures), forms_(forms), selection_(selection), fetcher_(fetcher) {}

void THtmlContainer::SetDefaultFont(const QString& name, int pixelSize) {
    fontName_ = name.toStdString();
    fontSize_ = std::clamp(pixelSize, THtmlFonts::kMinPixelSize, THtmlFonts::kMaxPixelSize);
}

void THtmlContainer::SetBaseAddress(const QString& address) {
    if (address == base_) return;
    base_ = address;
    keys_.clear();
}

void THtmlContainer::SetSelectionColors(const QColor& background, const QColor& text) {
    selectionBackground_ = background;
    selectionText_ = text;
}

void THtmlContainer::BeginPaint(QPainter* painter, QPoint origin, const QRect& canvas) {
    painter_ = painter;
    origin_ = origin;
    canvas_ = canvas;
    clipDepth_ = 0;
    drawnPictures_.clear();
}

void THtmlContainer::EndPaint() {
    while (clipDepth_ > 0) {
        htmlpaint::PopClip(*painter_);
        --clipDepth_;
    }
    painter_ = nullptr;
}

QString THtmlContainer::PictureKey(const std::string& src, const std::string& base) {
    QByteArray id(src.data(), static_cast<qsizetype>(src.size()));
    id.append('\0').append(base.data(), static_cast<qsizetype>(base.size()));
    auto found = keys_.constFind(id);
    if (found != keys_.constEnd()) return *found;
    QString baseAddress = base_;
    if (!base.empty()) {
        const QString resolvedBase = TPictureCache::Resolve(QString::fromStdString(base), base_);
        if (!resolvedBase.isEmpty()) baseAddress = resolvedBase;
    }
    QString key = TPictureCache::Resolve(QString::fromUtf8(src.data(), static_cast<qsizetype>(src.size())),
                                         baseAddress);
    if (keys_.size() > 4096) keys_.clear();
    keys_.insert(id, key);
    return key;
}

litehtml::uint_ptr THtmlContainer::create_font(const char* faceName, int size, int weight,
                                               litehtml::font_style italic, unsigned int decoration,
                                               litehtml::font_metrics* fm) {
    return fonts_.Create(faceName, size, weight, italic, decoration, fm);
}

void THtmlContainer::delete_font(litehtml::uint_ptr hFont) {
    fonts_.Delete(hFont);
}

int THtmlContainer::text_width(const char* text, litehtml::uint_ptr hFont) {
    return fonts_.TextWidth(text, hFont);
}

void THtmlContainer::draw_text(litehtml::uint_ptr, const char* text, litehtml::uint_ptr hFont,
                               litehtml::web_color color, const litehtml::position& given) {
    THtmlFont* font = THtmlFonts::From(hFont);
    if (!painter_ || !font || !text) return;
    litehtml::position pos = given;
    QString word = FromUtf8(text);
    if (markerMirrored_) {
        // A list number on the right of its item, read from the right.
        pos.x = markerAxis_ - given.x - given.width;
        if (word.endsWith(QLatin1Char('.'))) word = QLatin1Char('.') + word.chopped(1);
    }
    painter_->setFont(font->font);
    const QPointF baseline(pos.x, pos.y + markerShift_ + font->Ascent());
    int from = 0, to = 0;
    if (selection_.RangeAt(htmlpaint::Coordinate(static_cast<long long>(pos.x) - origin_.x()),
                           htmlpaint::Coordinate(static_cast<long long>(pos.y) - origin_.y()), from, to)) {
        const int left = pos.x + emojitext::Width(*font, word.left(from));
        const int right = pos.x + emojitext::Width(*font, word.left(to));
        const QRect marked(left, pos.y, std::max(1, right - left),
                           std::max(pos.height, font->metrics.height()));
        painter_->fillRect(marked, selectionBackground_);
        painter_->save();
        painter_->setClipRect(marked, Qt::IntersectClip);
        painter_->setPen(selectionText_);
        emojitext::Draw(*painter_, *font, baseline, word);
        painter_->restore();
        painter_->save();
        QRegion rest(QRect(pos.x - 2, pos.y - 4, std::max(pos.width, right - pos.x) + 8, pos.height + 8));
        painter_->setClipRegion(rest.subtracted(QRegion(marked)), Qt::IntersectClip);
        painter_->setPen(htmlpaint::ToColor(color));
        emojitext::Draw(*painter_, *font, baseline, word);
        painter_->restore();
        return;
    }
    painter_->setPen(htmlpaint::ToColor(color));
    if (font->decoration && word.trimmed().isEmpty()) {
        // Qt leaves trailing spaces undecorated unless asked: an underlined link is one line.
        painter_->drawText(QRectF(pos.x, pos.y, std::max(pos.width, 1) + 1, font->metrics.height()),
                           Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextIncludeTrailingSpaces,
                           word);
        return;
    }
    emojitext::Draw(*painter_, *font, baseline, word);
}

int THtmlContainer::pt_to_px(int pt) const {
    // The view works at 96 dots per inch, the desktop's logical resolution.
    return static_cast<int>(
        std::clamp<long long>((static_cast<long long>(pt) * 96 + 36) / 72, -100000, 100000));
}

void THtmlContainer::draw_list_marker(litehtml::uint_ptr, const litehtml::list_marker& marker) {
    if (!painter_) return;
    QPixmap picture;
    if (!marker.image.empty() && viewImages_)
        picture = pictures_.Frame(PictureKey(marker.image, marker.baseurl ? marker.baseurl : ""));
    litehtml::list_marker placed = marker;
    if (markerMirrored_) placed.pos.x = markerAxis_ - marker.pos.x - marker.pos.width;
    htmlpaint::DrawListMarker(*painter_, placed, picture, THtmlFonts::From(marker.font), markerMirrored_);
}

void THtmlContainer::ApplyFontVariants(const litehtml::element::ptr& root) {
    ::ApplyFontVariants(root, fonts_);
}

void THtmlContainer::load_image(const char* src, const char* baseurl, bool) {
    if (!viewImages_ || !src) return;
    const QString key = PictureKey(src, baseurl ? baseurl : "");
    if (key.isEmpty()) return;
    pictures_.Load(key);
    if (builtPictures_.size() < 4096 &&
        std::find(builtPictures_.begin(), builtPictures_.end(), key) == builtPictures_.end())
        builtPictures_.push_back(key);
}

void THtmlContainer::get_image_size(const char* src, const char* baseurl, litehtml::size& sz) {
    sz.width = sz.height = 0;
    if (!viewImages_ || !src) return;
    const QString key = PictureKey(src, baseurl ? baseurl : "");
    if (key.isEmpty()) return;
    const QSize size = pictures_.Size(key);
    if (size.isValid()) {
        sz.width = size.width();
        sz.height = size.height();
    } else if (pictures_.State(key) == TPictureCache::TState::Loading) {
        sizeWaits_.insert(key);
    }
}

void THtmlContainer::draw_background(litehtml::uint_ptr, const litehtml::background_paint& bg) {
    if (!painter_) return;
    QPixmap picture;
    if (!bg.image.empty() && viewImages_) {
        const QString key = PictureKey(bg.image, bg.baseurl);
        picture = pictures_.Frame(key);
        if (!picture.isNull()) {
            const QRect clip = htmlpaint::ToRect(bg.clip_box);
            drawnPictures_[key].push_back(clip.translated(-origin_));
        }
    }
    htmlpaint::DrawBackground(*painter_, bg, picture, canvas_);
}

void THtmlContainer::draw_borders(litehtml::uint_ptr, const litehtml::borders& borders,
                                  const litehtml::position& draw_pos, bool) {
    if (painter_) htmlpaint::DrawBorders(*painter_, borders, draw_pos);
}

void THtmlContainer::transform_text(std::string& text, litehtml::text_transform tt) {
    QString value = QString::fromStdString(text);
    switch (tt) {
        case litehtml::text_transform_uppercase: value = value.toUpper(); break;
        case litehtml::text_transform_lowercase: value = value.toLower(); break;
        case litehtml::text_transform_capitalize:
            if (!value.isEmpty()) value[0] = value[0].toUpper();
            break;
        default: return;
    }
    text = value.toStdString();
}

void THtmlContainer::import_css(std::string& text, const std::string& url, std::string& baseurl) {
    QString base = base_;
    int depth = 1;
    auto parent = sheets_.find(baseurl);
    if (!baseurl.empty()) {
        const QString resolved = TPictureCache::Resolve(QString::fromStdString(baseurl), base_);
        if (!resolved.isEmpty()) base = resolved;
        if (parent != sheets_.end()) depth = parent->second.depth + 1;
    }
    const QString address = TPictureCache::Resolve(QString::fromStdString(url), base);
    if (address.isEmpty() || address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) return;
    const std::string key = address.toStdString();
    auto found = sheets_.find(key);
    if (found != sheets_.end()) {
        // The renderer parses what it gets at once, imports included: each sheet is given once
        // per build, which ends any import loop.
        if (found->second.state == TStyleSheet::TState::Loading) sheetsPending_ = true;
        if (found->second.state == TStyleSheet::TState::Ready && sheetsGiven_.insert(key).second) {
            text = found->second.text;
            baseurl = key;
        }
        return;
    }
    if (depth > kMaxImportDepth || static_cast<int>(sheets_.size()) >= kMaxStyleSheets) return;
    TStyleSheet sheet;
    sheet.depth = depth;
    sheetsPending_ = true;
    sheets_.emplace(key, sheet);
    fetcher_.Fetch(address, [this, key](bool ok, const QByteArray& data) {
        auto entry = sheets_.find(key);
        if (entry == sheets_.end()) return;
        entry->second.state = ok ? TStyleSheet::TState::Ready : TStyleSheet::TState::Failed;
        if (ok)
            entry->second.text = TStyleFixes().StyleSheet(
                std::string(data.constData(),
                            static_cast<size_t>(std::min<qsizetype>(data.size(), kMaxStyleSheetBytes))));
        if (ok && OnStyleSheetArrived) OnStyleSheetArrived();
    });
}

void THtmlContainer::set_clip(const litehtml::position& pos, const litehtml::border_radiuses& bdr_radius,
                              bool valid_x, bool valid_y) {
    if (!painter_) return;
    htmlpaint::PushClip(*painter_, pos, bdr_radius, valid_x, valid_y);
    ++clipDepth_;
}

void THtmlContainer::del_clip() {
    if (!painter_ || clipDepth_ <= 0) return;
    htmlpaint::PopClip(*painter_);
    --clipDepth_;
}

void THtmlContainer::get_client_rect(litehtml::position& client) const {
    client = litehtml::position(0, 0, client_.width(), client_.height());
}

std::shared_ptr<litehtml::element> THtmlContainer::create_element(
    const char* tag_name, const litehtml::string_map& attributes,
    const std::shared_ptr<litehtml::document>& doc) {
    if (!tag_name) return nullptr;
    const bool hinted = attributes.find(kHintAttribute) != attributes.end();
    if (std::strcmp(tag_name, kWordElement) == 0) return std::make_shared<TWordElement>(doc);
    if (std::strcmp(tag_name, "img") == 0) return MakeElement<TImageElement>(hinted, doc, this);
    if (std::strcmp(tag_name, "table") == 0) return MakeElement<TTableElement>(hinted, doc);
    if (std::strcmp(tag_name, "li") == 0 && attributes.find(kControlAttribute) == attributes.end())
        return MakeElement<TListItem>(hinted, doc, this);
    static const char* const kBlocks[] = {"div",     "section", "header", "footer", "nav",  "main",
                                          "article", "aside",   "ul",     "ol",     "span", "form"};
    for (const char* block : kBlocks)
        if (std::strcmp(tag_name, block) == 0 && attributes.find(kControlAttribute) == attributes.end())
            return MakeElement<TFlexCandidate>(hinted, doc);
    if (std::strcmp(tag_name, "a") == 0) {
        auto href = attributes.find("href");
        if (href != attributes.end() && !href->second.empty() && IsVisited && IsVisited(href->second))
            return std::make_shared<TInlineBoxes<TVisitedAnchor>>(doc);
        return std::make_shared<TInlineBoxes<litehtml::el_anchor>>(doc);
    }
    static const char* const kInlines[] = {"b", "strong", "em", "i", "u", "code", "mark", "small"};
    for (const char* tag : kInlines)
        if (std::strcmp(tag_name, tag) == 0 && attributes.find(kControlAttribute) == attributes.end())
            return MakeElement<TInlineBoxes<litehtml::html_tag>>(hinted, doc);
    auto found = attributes.find(kControlAttribute);
    if (found == attributes.end()) return hinted ? MakeHintedElement(tag_name, doc) : nullptr;
    int32_t index = -1;
    if (!IsIntegerText(found->second, index) || index < 0 || index >= forms_.Count()) return nullptr;
    auto element = std::make_shared<TControlElement>(doc, &forms_, index);
    forms_.Attach(index, element);
    return element;
}

void THtmlContainer::get_media_features(litehtml::media_features& media) const {
    media.type = litehtml::media_type_screen;
    media.width = client_.width();
    media.height = client_.height();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize device = screen ? screen->size() : QSize(1280, 1024);
    media.device_width = device.width();
    media.device_height = device.height();
    media.color = 8;
    media.color_index = 256;
    media.monochrome = 0;
    media.resolution = 96;
}

void THtmlContainer::get_language(std::string& language, std::string& culture) const {
    language = "en";
    culture.clear();
}

std::string THtmlContainer::resolve_color(const std::string& color) const {
    // The system colours of older pages; any other unknown name means no colour.
    static const std::pair<const char*, QPalette::ColorRole> kRoles[] = {
        {"buttonface", QPalette::Button},
        {"threedface", QPalette::Button},
        {"buttontext", QPalette::ButtonText},
        {"window", QPalette::Base},
        {"windowtext", QPalette::Text},
        {"highlight", QPalette::Highlight},
        {"highlighttext", QPalette::HighlightedText},
        {"captiontext", QPalette::HighlightedText},
        {"activecaption", QPalette::Highlight},
        {"infobackground", QPalette::ToolTipBase},
        {"infotext", QPalette::ToolTipText},
        {"menu", QPalette::Window},
        {"menutext", QPalette::WindowText},
        {"threedshadow", QPalette::Dark},
        {"buttonshadow", QPalette::Dark},
        {"threedhighlight", QPalette::Light},
        {"buttonhighlight", QPalette::Light},
        {"threeddarkshadow", QPalette::Shadow},
        {"graytext", QPalette::PlaceholderText},
        {"canvas", QPalette::Base},
        {"canvastext", QPalette::Text},
        {"linktext", QPalette::Link},
    };
    std::string lower = color;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const auto& [name, role] : kRoles)
        if (lower == name) return QApplication::palette().color(QPalette::Active, role).name().toStdString();
    return {};
}

void THtmlContainer::split_text(const char* text, const std::function<void(const char*)>& on_word,
                                const std::function<void(const char*)>& on_space) {
    THtmlFonts::SplitWords(text, on_word, on_space);
}

bool THtmlContainer::PictureMissing(const std::string& src) {
    if (!viewImages_) return true;
    const QString key = PictureKey(src, "");
    return key.isEmpty() || pictures_.State(key) == TPictureCache::TState::Failed;
}

void THtmlContainer::DrawMissingPicture(const litehtml::position& box, const std::string& alt,
                                        litehtml::uint_ptr font, litehtml::web_color color, bool framed) {
    THtmlFont* item = THtmlFonts::From(font);
    if (!painter_ || box.width <= 0 || box.height <= 0) return;
    const QRect rect = htmlpaint::ToRect(box);
    constexpr int kIcon = TImageElement::kIconSide;
    painter_->save();
    painter_->setClipRect(rect, Qt::IntersectClip);
    // The sign of a broken picture: a small torn frame.
    auto icon = [&](QPoint at) {
        painter_->setPen(QColor(160, 160, 160));
        painter_->setBrush(QColor(244, 244, 244));
        painter_->drawRect(QRect(at + QPoint(1, 1), QSize(kIcon - 4, kIcon - 3)));
        painter_->setPen(QColor(120, 160, 110));
        painter_->drawLine(at + QPoint(3, kIcon - 5), at + QPoint(7, kIcon - 9));
        painter_->drawLine(at + QPoint(7, kIcon - 9), at + QPoint(kIcon - 5, kIcon - 5));
    };
    if (framed) {
        painter_->setPen(QColor(192, 192, 192));
        painter_->setBrush(Qt::NoBrush);
        painter_->drawRect(rect.adjusted(0, 0, -1, -1));
        if (rect.width() >= kIcon + 4 && rect.height() >= kIcon + 4) icon(rect.topLeft() + QPoint(2, 2));
        if (alt.empty() || !item) {
            painter_->restore();
            return;
        }
        // The alt text beside the sign when it fits there, else wrapped below it.
        const QString text = QString::fromUtf8(alt.c_str());
        const QRect inside = rect.adjusted(2, 2, -2, -2);
        const int line = std::max(kIcon, item->metrics.height());
        painter_->setFont(item->font);
        painter_->setPen(htmlpaint::ToColor(color));
        if (kIcon + item->metrics.horizontalAdvance(text) <= inside.width())
            painter_->drawText(QPointF(inside.left() + kIcon, inside.top() + line - item->metrics.descent()),
                               text);
        else
            painter_->drawText(inside.adjusted(0, line, 0, 0),
                               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    } else if (!alt.empty() && item) {
        icon(QPoint(rect.left(), rect.top() + std::max(0, (rect.height() - kIcon) / 2)));
        painter_->setFont(item->font);
        painter_->setPen(htmlpaint::ToColor(color));
        painter_->drawText(QPointF(rect.left() + kIcon + 2, rect.bottom() + 1 - item->metrics.descent()),
                           QString::fromUtf8(alt.c_str()));
    }
    painter_->restore();
}

void THtmlContainer::DrawShadow(const litehtml::position& box, const litehtml::border_radiuses& radii, int dx,
                                int dy, int blur, int spread, litehtml::web_color color) {
    if (!painter_ || color.alpha == 0 || box.width <= 0 || box.height <= 0) return;
    blur = std::clamp(blur, 0, 64);
    spread = std::clamp(spread, -64, 64);
    const QRectF base =
        QRectF(htmlpaint::ToRect(box)).translated(dx, dy).adjusted(-spread, -spread, spread, spread);
    painter_->save();
    painter_->setRenderHint(QPainter::Antialiasing, true);
    painter_->setPen(Qt::NoPen);
    // The blur as rings of falling strength, about as wide as the blur radius on either side.
    const int steps = std::max(1, blur);
    for (int i = steps; i >= 1; --i) {
        const double grow = blur == 0 ? 0 : (static_cast<double>(i) - steps / 2.0);
        QColor c = htmlpaint::ToColor(color);
        c.setAlphaF(c.alphaF() / steps * (blur == 0 ? 1.0 : 1.0));
        painter_->setBrush(c);
        painter_->drawPath(htmlpaint::RoundedPath(base.adjusted(-grow, -grow, grow, grow), radii));
    }
    painter_->restore();
}
