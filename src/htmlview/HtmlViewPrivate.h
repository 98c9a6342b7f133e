#pragma once

#include <QColor>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <memory>
#include <string>

#include <litehtml.h>

#include "htmlview/DocumentCache.h"
#include "htmlview/DocumentContainer.h"
#include "htmlview/HtmlCleaner.h"
#include "htmlview/HtmlFind.h"
#include "htmlview/HtmlFonts.h"
#include "htmlview/HtmlForms.h"
#include "htmlview/HtmlKeyboard.h"
#include "htmlview/HtmlSelection.h"
#include "htmlview/HtmlView.h"
#include "htmlview/PictureCache.h"
#include "htmlview/ResourceFetcher.h"

// The document side of the view: loading, building, layout, painting, anchors and links.
class THtmlViewPrivate {
public:
    explicit THtmlViewPrivate(THtmlView* view);
    ~THtmlViewPrivate();

    // Settings.
    QColor defBackground;
    TBorderStyle borderStyle = TBorderStyle::bsFocused;
    TScrollStyle scrollBars = TScrollStyle::ssBoth;
    int historyMaxCount = 0;
    QString defFontName = QStringLiteral("Times New Roman");
    QString defPreFontName = QStringLiteral("Courier New");
    bool noSelect = false;
    int charSet = DEFAULT_CHARSET;
    int marginHeight = 5;
    int marginWidth = 10;
    // The margins the view adds around the document. The document's body margin (8 pixels unless
    // the document sets its own, as in browsers) is the page margin, and the view's own margins
    // lie within it: only a negative margin moves the page, cutting into its edge.
    int PageMarginWidth() const { return std::min(0, marginWidth); }
    int PageMarginHeight() const { return std::min(0, marginHeight); }
    int defFontSize = 12;
    QColor defFontColor, defLinkColor{0, 0, 255}, defOverLinkColor{0, 0, 255},
        defVisitedLinkColor{128, 0, 128};
    int visitedMaxCount = 50;
    bool viewImages = true;
    int imageCacheCount = 5;
    TViewOptions viewOptions = voPrintTableBackground | voPrintMonochromeBlack;
    intptr_t tag = 0;
    ByteString baseAddress;
    void StyleChanged() { contextDirty_ = true; }

    // Loading and layout.
    bool processing = false;
    void Load(std::string bytes, const ByteString& baseRef);
    // Builds the document of a message that is likely to be opened soon, when the view is idle;
    // opening it then costs only its layout.
    void Prepare(std::string bytes, TPrepare when);
    bool IsPrepared(const std::string& bytes) const;
    // Lays the document out again (a size change, a picture's size) with the processing events.
    void Relayout(bool keepTopElement);
    void ScheduleRelayout();
    void ScheduleRebuild();

    // Scroll model.
    int DocumentHeight() const;  // H
    int DocumentWidth() const;
    int ViewHeight() const;  // V
    int ViewWidth() const;
    int MaxVertical() const { return std::max(0, DocumentHeight() - ViewHeight()); }
    int MaxHorizontal() const { return std::max(0, DocumentWidth() - ViewWidth()); }
    int vpos = 0, hpos = 0;
    void ScrollTo(int vertical, int horizontal);
    QPoint Origin() const { return QPoint(PageMarginWidth() - hpos, PageMarginHeight() - vpos); }
    // The document is laid out at the view's size divided by the zoom and drawn scaled by it;
    // document coordinates are those of the layout.
    double zoom = 1.0;
    QPoint ToDocument(QPoint viewportPoint) const;
    // A document rectangle at the zoom, not yet moved to the origin, and on the viewport.
    QRect Scaled(const QRect& documentRect) const;
    QRect ToView(const QRect& documentRect) const { return Scaled(documentRect).translated(Origin()); }
    int Scaled(int documentLength) const;
    void SetZoom(double value);

    // Anchors and links.
    bool GoToAnchor(const ByteString& name);
    // The target of the link at a viewport point ("" for none), with "?x,y" for image maps.
    ByteString LinkAt(QPoint viewportPoint, bool withMapPosition) const;
    void AddVisited(const ByteString& target);
    void ClickLink(const ByteString& src);
    const litehtml::document::ptr& Document() const { return document_; }

    void Paint(QPainter& painter, const QRect& area);
    // Every occurrence found tinted, the current one more strongly (document coordinates).
    void PaintFound(QPainter& painter) const;
    // Scrolls the current occurrence into view.
    void RevealFound();
    void MouseOver(QPoint viewportPoint);
    void MouseLeave();
    void UpdateScrollBars();

    THtmlView* q;
    TResourceFetcher fetcher;
    TPictureCache pictures;
    THtmlFonts fonts;
    THtmlForms forms;
    THtmlKeyboard keyboard{*this};
    THtmlSelection selection;
    THtmlFind find;
    THtmlContainer container;

    // Mouse state.
    bool pressed = false;
    bool dragged = false;
    QPoint pressPoint;
    ByteString pressLink;
    double wheelRemainder = 0;
    int zoomWheelRemainder = 0;

private:
    // What the document shown was built from, for keeping it in the cache afterwards.
    struct TCurrent {
        std::string bytes;  // empty: not to be kept
        std::string stamp;
        QString base;
        std::vector<QString> pictures;
        bool sheetsPending = false;
    };

    void PrepareContainer();
    // The width the document is laid out to, and the client area it sees, at the zoom.
    int LayoutWidth() const;
    QSize LayoutClientSize() const;
    void SetDocumentShown(const litehtml::document::ptr& document);
    litehtml::document::ptr CreateDocument(TCleanDocument& clean);
    QString BaseFor(const TCleanDocument& clean) const;
    std::string Stamp() const;
    void RetireDocument();
    void Adopt(TDocumentCache::TEntry& built);
    void PrepareNext();
    void Build();
    void Layout();
    // Drops the document after a failure; the view then shows an empty one.
    void Discard();
    void BeginProcessing();
    void EndProcessing();
    std::shared_ptr<litehtml::element> FindAnchor(const std::string& name) const;
    int ElementTop(const std::shared_ptr<litehtml::element>& element) const;
    bool HasLinkTo(const std::string& target) const;
    // The deepest nesting of tables in a built document, whatever made them tables.
    static int TableNesting(const litehtml::document::ptr& document);

    std::unique_ptr<litehtml::context> context_[2];  // standard mode, quirks mode
    bool contextDirty_ = true;
    litehtml::document::ptr document_;
    TCleanDocument clean_;
    std::string charset_;
    std::string lastDocumentName_;
    int layoutWidth_ = -1;
    int docWidth_ = 0, docHeight_ = 0;
    QStringList visited_;
    QTimer relayoutTimer_, rebuildTimer_, prepareTimer_;
    TDocumentCache cache_;
    TCurrent current_;
    std::deque<std::string> pending_;  // messages to prepare
    // The pause after which the view counts as idle between two prepared documents.
    static constexpr int kPrepareIdleMs = 100;
    quint64 visitedGeneration_ = 0;
};
