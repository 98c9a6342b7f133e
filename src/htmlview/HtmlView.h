#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "base/Text.h"
#include "htmlview/SystemColors.h"

// Frame around the view; bsNone draws none.
enum class TBorderStyle { bsFocused, bsNone, bsSingle };

// The view's own scroll bars.
enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
// When a message handed to PrepareBuffer is built: when the program is idle (a message that
// arrived), or at the next turn of the event loop, before the others (a message the reader just
// selected: the second click of a double-click comes a moment later).
enum class TPrepare { WhenIdle, Soon };

// Display options, combined as a bit set.
enum TViewOption : unsigned {
    voOverLinksActive = 1u << 0,  // links take DefOverLinkColor under the mouse
    voNoLinkUnderline = 1u << 1,  // links are drawn without underline
    voPrintTableBackground = 1u << 2,
    voPrintMonochromeBlack = 1u << 3,
};
using TViewOptions = unsigned;

// Font character sets; fonts are Unicode here, the value is kept for the owner.
constexpr int DEFAULT_CHARSET = 1;

class THtmlViewPrivate;

// A control that lays out and draws one HTML document, scrolls it, lets the user select text,
// follow links and fill in forms, and reports link clicks and form submissions through events.
// User-interface thread only.
class THtmlView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit THtmlView(QWidget* parent = nullptr);
    ~THtmlView() override;
    THtmlView(const THtmlView&) = delete;
    THtmlView& operator=(const THtmlView&) = delete;

    // ---- Events (the sender comes first; skipped when unassigned) ----

    // Processing changes: true at the start, false at the end of every load and new layout.
    std::function<void(THtmlView* Sender, bool ProcessingOn)> OnProcessing;
    // The user clicked a link. SRC is the target as written (plus "?x,y" for server-side image
    // maps). Setting Handled stops the view's own handling ("#anchor" targets scroll there).
    std::function<void(THtmlView* Sender, const ByteString& SRC, bool& Handled)> OnLinkClick;
    // The user submitted a form. Results (name=value entries, not encoded) belongs to the
    // receiver. Delivered through the event queue after the click or key has been handled.
    // Texts are UTF-8.
    std::function<void(THtmlView* Sender, const ByteString& Action, const ByteString& Target,
                       const ByteString& EncType, const ByteString& Method, TStringArray Results)>
        OnFormSubmit;

    // ---- Operations ----

    // Joins the lines, each followed by CR LF, and loads the text. Ignored while Processing.
    void LoadLines(const TStringArray& Lines, const ByteString& BaseRef);
    // Loads exactly Length bytes (copied; the buffer need not outlive the call). Ignored while
    // Processing. When it returns the document is parsed and laid out.
    void LoadBuffer(const char* Buffer, int64_t Length, const ByteString& BaseRef);
    // Builds, while the program is idle, the document of a message that is likely to be opened
    // soon (an unread one), so that a later LoadBuffer of exactly these bytes shows it at once. The
    // view keeps the built documents of the last few messages (at most 4, of up to 128 KB each
    // and 256 KB together; none with form controls); the result on screen is the same as without.
    void PrepareBuffer(const char* Buffer, int64_t Length, TPrepare When = TPrepare::WhenIdle);
    // Whether a LoadBuffer of exactly these bytes would now show a document built before.
    bool IsPrepared(const char* Buffer, int64_t Length) const;
    // Scrolls the anchor (an "a" NAME or any ID, case-insensitive, leading "#" optional) to the
    // top edge. False, and nothing moves, when the name is empty or not found.
    bool GoToAnchor(const ByteString& Name);

    // The document row shown at the top edge, always within 0 .. H - V.
    int VerticalPosition() const;
    void SetVerticalPosition(int Position);
    // H - V: document height (margins included) less the client height; negative when the
    // document is shorter than the view.
    int VerticalRange() const;
    int HorizontalPosition() const;
    // True while a document is being loaded or laid out again.
    bool Processing() const;

    // Address against which relative addresses of pictures, style sheets and links are resolved
    // (the owner gives the Script URL). Empty: relative addresses stay unresolved.
    void SetBaseAddress(const ByteString& Address);
    ByteString BaseAddress() const;

    // Whether pictures and style sheets are fetched over http and https (on by default); data:
    // pictures are shown either way.
    void SetFetchResources(bool Value);
    bool FetchResources() const;

    // The selected text as the user sees it (empty when nothing is selected).
    QString SelectedText() const;

    // ---- Settings ----

    QColor DefBackground() const;  // default clBtnFace
    void SetDefBackground(const QColor& Color);
    TBorderStyle BorderStyle() const;  // default bsFocused
    void SetBorderStyle(TBorderStyle Style);
    TScrollStyle ScrollBars() const;  // default ssBoth
    void SetScrollBars(TScrollStyle Style);
    int HistoryMaxCount() const;  // default 0: no history
    void SetHistoryMaxCount(int Count);
    QString DefFontName() const;  // default "Times New Roman"
    void SetDefFontName(const QString& Name);
    QString DefPreFontName() const;  // default "Courier New"
    void SetDefPreFontName(const QString& Name);
    bool NoSelect() const;  // default false
    void SetNoSelect(bool Value);
    int CharSet() const;  // default DEFAULT_CHARSET
    void SetCharSet(int Value);
    // The view's page margins lie within the document's body margin (8 pixels by default, as in
    // browsers), so they never make a document narrower than a browser does; a negative margin
    // moves the page by that much, cutting into its edge.
    int MarginHeight() const;  // default 5
    void SetMarginHeight(int Value);
    int MarginWidth() const;  // default 10
    void SetMarginWidth(int Value);
    int DefFontSize() const;  // default 12 (points)
    void SetDefFontSize(int Value);
    QColor DefFontColor() const;  // default clBtnText
    void SetDefFontColor(const QColor& Color);
    QColor DefLinkColor() const;  // default blue
    void SetDefLinkColor(const QColor& Color);
    QColor DefOverLinkColor() const;  // default blue
    void SetDefOverLinkColor(const QColor& Color);
    QColor DefVisitedLinkColor() const;  // default purple
    void SetDefVisitedLinkColor(const QColor& Color);
    int VisitedMaxCount() const;  // default 50
    void SetVisitedMaxCount(int Count);
    bool ViewImages() const;  // default true
    void SetViewImages(bool Value);
    int ImageCacheCount() const;  // default 5
    void SetImageCacheCount(int Count);
    TViewOptions ViewOptions() const;  // default voPrintTableBackground | voPrintMonochromeBlack
    void SetViewOptions(TViewOptions Options);
    // Printing is never used; the values are only kept.
    double PrintMarginLeft = 2.0, PrintMarginRight = 2.0, PrintMarginTop = 2.0, PrintMarginBottom = 2.0;
    double PrintScale = 1.0;
    // An integer the view never uses (the main window keeps the displayed notification there).
    intptr_t Tag() const;
    void SetTag(intptr_t Value);
    // The target of the link that has the keyboard focus (reached with Tab); empty for none.
    ByteString FocusedLink() const;

    // ---- Finding and zooming ----

    // Looks for Text in the document without regard to case, marks every occurrence and makes the
    // first one at or below the top edge the current one, scrolled into view; returns the count.
    // Empty text marks nothing. The text stays looked for in documents loaded later.
    int FindText(const QString& Text);
    // Makes the next (or previous) occurrence the current one, wrapping around, and scrolls it
    // into view; returns its index, -1 when nothing is found.
    int FindNext(bool Forward);
    int FoundCount() const;
    int FoundCurrent() const;  // -1 for none
    // The text of an occurrence as shown, and the place of its first box on the viewport.
    QString FoundText(int Index) const;
    QRect FoundRect(int Index) const;

    // The size the document is shown at (1: its own); kept within 0.5 and 3. The layout follows at
    // the view's width divided by it, and the zoom stays for documents loaded later.
    double Zoom() const;
    void SetZoom(double Zoom);

signals:
    // What was found changed through a load or a new layout (FoundCount may differ).
    void FoundChanged();
    void ZoomChanged(double Zoom);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class THtmlViewPrivate;
    friend class THtmlAccessibleDocument;
    std::unique_ptr<THtmlViewPrivate> d_;
};
