#pragma once

#include <QHash>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <litehtml.h>

class THtmlFonts;
class TPictureCache;
class THtmlForms;
class THtmlSelection;
class TResourceFetcher;

// What the renderer asks of its surroundings: fonts, text, pictures, backgrounds, borders,
// clipping and the screen, all drawn through QPainter.
class THtmlContainer : public litehtml::document_container {
public:
    // External style sheets: nested imports are followed this deep.
    static constexpr int kMaxImportDepth = 3;
    static constexpr int kMaxStyleSheets = 32;
    static constexpr int kMaxStyleSheetBytes = 512 << 10;

    THtmlContainer(THtmlFonts& fonts, TPictureCache& pictures, THtmlForms& forms, THtmlSelection& selection,
                   TResourceFetcher& fetcher);
    ~THtmlContainer() = default;

    // Settings of the view.
    void SetDefaultFont(const QString& name, int pixelSize);
    void SetViewImages(bool value) { viewImages_ = value; }
    bool ViewImages() const { return viewImages_; }
    // The address relative ones are resolved against (the owner's, or the document's base).
    void SetBaseAddress(const QString& address);
    const QString& BaseAddress() const { return base_; }
    void SetClientSize(QSize size) { client_ = size; }
    void SetSelectionColors(const QColor& background, const QColor& text);

    // Painting: the document's origin on the canvas, and the canvas rectangle.
    void BeginPaint(QPainter* painter, QPoint origin, const QRect& canvas);
    void EndPaint();

    // The cursor the renderer asked for under the mouse ("pointer", "auto", ...).
    const std::string& Cursor() const { return cursor_; }
    // Where each picture was drawn in the last paint, in document coordinates.
    const QHash<QString, std::vector<QRect>>& DrawnPictures() const { return drawnPictures_; }
    // Pictures whose size the last layout asked for while unknown.
    bool WaitsForSize(const QString& key) const { return sizeWaits_.count(key) != 0; }
    void ClearSizeWaits() { sizeWaits_.clear(); }
    QString PictureKey(const std::string& src, const std::string& base);

    // A new document is about to be built from its text: each fetched sheet may be handed out
    // once again, so that a sheet importing itself cannot recurse.
    void BeginBuild() {
        sheetsGiven_.clear();
        builtPictures_.clear();
        sheetsPending_ = false;
    }
    // The pictures the last build asked for.
    const std::vector<QString>& BuiltPictures() const { return builtPictures_; }
    // Whether the last build went without a style sheet that is still on its way.
    bool SheetsPending() const { return sheetsPending_; }
    // Whether the document being built follows the rules of browsers' quirks mode.
    void SetQuirksMode(bool quirks) { quirks_ = quirks; }
    bool QuirksMode() const { return quirks_; }

    // Whether the picture of an img element cannot be shown (failed, refused, or pictures off).
    bool PictureMissing(const std::string& src);
    // Draws what stands for a picture that cannot be shown: its alt text, inside a frame when the
    // document gives the picture a size.
    void DrawMissingPicture(const litehtml::position& box, const std::string& alt, litehtml::uint_ptr font,
                            litehtml::web_color color, bool framed);

    // How far the numbers of list items drawn next are moved down, to the baseline of their
    // item's first line (litehtml draws them as text, placed by the font's height).
    void SetMarkerShift(int pixels) { markerShift_ = pixels; }
    // Markers drawn next stand mirrored about the middle of their item (a right-to-left list):
    // the sum of the left and right edges of the item's box.
    void SetMarkerMirror(bool mirrored, int leftPlusRight = 0) {
        markerMirrored_ = mirrored;
        markerAxis_ = leftPlusRight;
    }

    // Gives the elements of a built document the fonts of their letter and word spacing, small
    // capitals and language; called before each layout.
    void ApplyFontVariants(const litehtml::element::ptr& root);

    // A simple outer shadow of a box: offset, blurred over `blur` pixels, grown by `spread`.
    void DrawShadow(const litehtml::position& box, const litehtml::border_radiuses& radii, int dx, int dy,
                    int blur, int spread, litehtml::web_color color);

    // Whether a link target is in the view's visited list.
    std::function<bool(const std::string& href)> IsVisited;
    // A style sheet that was fetched in the background arrived: the document must be built again.
    std::function<void()> OnStyleSheetArrived;

    // litehtml::document_container
    litehtml::uint_ptr create_font(const char* faceName, int size, int weight, litehtml::font_style italic,
                                   unsigned int decoration, litehtml::font_metrics* fm) override;
    void delete_font(litehtml::uint_ptr hFont) override;
    int text_width(const char* text, litehtml::uint_ptr hFont) override;
    void draw_text(litehtml::uint_ptr hdc, const char* text, litehtml::uint_ptr hFont,
                   litehtml::web_color color, const litehtml::position& pos) override;
    int pt_to_px(int pt) const override;
    int get_default_font_size() const override { return fontSize_; }
    const char* get_default_font_name() const override { return fontName_.c_str(); }
    void draw_list_marker(litehtml::uint_ptr hdc, const litehtml::list_marker& marker) override;
    void load_image(const char* src, const char* baseurl, bool redraw_on_ready) override;
    void get_image_size(const char* src, const char* baseurl, litehtml::size& sz) override;
    void draw_background(litehtml::uint_ptr hdc, const litehtml::background_paint& bg) override;
    void draw_borders(litehtml::uint_ptr hdc, const litehtml::borders& borders,
                      const litehtml::position& draw_pos, bool root) override;
    void set_caption(const char*) override {}
    void set_base_url(const char*) override {}
    void link(const std::shared_ptr<litehtml::document>&, const litehtml::element::ptr&) override {}
    void on_anchor_click(const char*, const litehtml::element::ptr&) override {}
    void set_cursor(const char* cursor) override { cursor_ = cursor ? cursor : ""; }
    void transform_text(std::string& text, litehtml::text_transform tt) override;
    void import_css(std::string& text, const std::string& url, std::string& baseurl) override;
    void set_clip(const litehtml::position& pos, const litehtml::border_radiuses& bdr_radius, bool valid_x,
                  bool valid_y) override;
    void del_clip() override;
    void get_client_rect(litehtml::position& client) const override;
    std::shared_ptr<litehtml::element> create_element(
        const char* tag_name, const litehtml::string_map& attributes,
        const std::shared_ptr<litehtml::document>& doc) override;
    void get_media_features(litehtml::media_features& media) const override;
    void get_language(std::string& language, std::string& culture) const override;
    std::string resolve_color(const std::string& color) const override;
    void split_text(const char* text, const std::function<void(const char*)>& on_word,
                    const std::function<void(const char*)>& on_space) override;

private:
    struct TStyleSheet {
        enum class TState { Loading, Ready, Failed } state = TState::Loading;
        std::string text;
        int depth = 1;
    };

    THtmlFonts& fonts_;
    TPictureCache& pictures_;
    THtmlForms& forms_;
    THtmlSelection& selection_;
    TResourceFetcher& fetcher_;
    std::string fontName_ = "Times New Roman";
    int fontSize_ = 16;
    bool viewImages_ = true;
    QString base_;
    QSize client_;
    QColor selectionBackground_, selectionText_;
    std::string cursor_;
    QPainter* painter_ = nullptr;
    QPoint origin_;
    QRect canvas_;
    int clipDepth_ = 0;
    QHash<QString, std::vector<QRect>> drawnPictures_;
    std::set<QString> sizeWaits_;
    QHash<QByteArray, QString> keys_;
    std::map<std::string, TStyleSheet> sheets_;
    std::set<std::string> sheetsGiven_;
    std::vector<QString> builtPictures_;
    bool sheetsPending_ = false;
    bool quirks_ = false;
    int markerShift_ = 0;
    bool markerMirrored_ = false;
    int markerAxis_ = 0;
};
