#include "htmlview/DefaultStyle.h"

namespace {

const char* const kRules = R"CSS(
html, address, blockquote, body, center, div, figure, figcaption, footer, form, header, hr, legend,
listing, main, p, plaintext, pre, xmp, article, aside, h1, h2, h3, h4, h5, h6, hgroup, nav,
section, dir, dd, dl, dt, menu, ol, ul, fieldset, details, summary { display: block; }
head, link, meta, script, style, title, base, template, datalist, area, param, noscript,
[hidden], input[type="hidden"] { display: none; }
li { display: list-item; }
[dir="rtl"] { direction: rtl; }
[dir="ltr"] { direction: ltr; }
html { font-size: medium; line-height: normal; }
body { margin: 8px; }
p, blockquote, figure, listing, plaintext, pre, xmp, dl, ol, ul, dir, menu { margin-top: 1em; margin-bottom: 1em; }
blockquote, figure { margin-left: 40px; margin-right: 40px; }
address { font-style: italic; }
center { text-align: center; }
h1 { font-size: 2em; margin-top: 0.67em; margin-bottom: 0.67em; }
h2 { font-size: 1.5em; margin-top: 0.83em; margin-bottom: 0.83em; }
h3 { font-size: 1.17em; margin-top: 1em; margin-bottom: 1em; }
h4 { margin-top: 1.33em; margin-bottom: 1.33em; }
h5 { font-size: 0.83em; margin-top: 1.67em; margin-bottom: 1.67em; }
h6 { font-size: 0.67em; margin-top: 2.33em; margin-bottom: 2.33em; }
h1, h2, h3, h4, h5, h6, th, b, strong, dt { font-weight: bold; }
dd { margin-left: 40px; }
ol, ul, dir, menu { padding-left: 40px; }
ul, dir, menu { list-style-type: disc; }
ol { list-style-type: decimal; }
ol ul, ul ul, ol dir, ul dir, ol menu, ul menu { list-style-type: circle; }
ol ol ul, ol ul ul, ul ol ul, ul ul ul { list-style-type: square; }
ol ol, ol ul, ul ol, ul ul { margin-top: 0; margin-bottom: 0; }
table { display: table; border-collapse: separate; border-spacing: 2px; text-indent: 0; }
caption { display: table-caption; text-align: center; }
colgroup { display: table-column-group; }
col { display: table-column; }
thead { display: table-row-group; vertical-align: middle; }
tbody { display: table-row-group; vertical-align: middle; }
tfoot { display: table-row-group; vertical-align: middle; }
tr { display: table-row; vertical-align: inherit; }
td, th { display: table-cell; vertical-align: inherit; padding: 1px; }
th { text-align: center; }
td[nowrap], th[nowrap], nobr { white-space: nowrap; }
hr { border-style: solid; border-width: 1px; border-color: #9a9a9a #eeeeee #eeeeee #9a9a9a; height: 0; margin: 0.5em auto; }
pre, listing, xmp, plaintext { white-space: pre; }
pre, listing, xmp, plaintext, code, kbd, samp, tt { font-family: monospace; }
/* Browsers draw their fixed-pitch font at 13 pixels where the text around has 16 and follows the
   default size (FixedPitchSizes undoes it elsewhere). */
pre, listing, xmp, plaintext, code, kbd, samp, tt { font-size: 0.8125em; }
i, cite, dfn, em, var, address { font-style: italic; }
u, ins { text-decoration: underline; }
s, strike, del { text-decoration: line-through; }
big { font-size: 1.2em; }
small { font-size: 0.833em; }
/* Inline blocks moved by the padding of their own box, so that their line grows to hold them as
   in browsers. */
sub { font-size: 0.833em; display: inline-block; text-indent: 0; padding-bottom: 0.32em; position: relative; top: 0.32em; }
sup { font-size: 0.833em; display: inline-block; text-indent: 0; padding-top: 0.48em; position: relative; top: -0.48em; }
mark { background-color: yellow; color: black; }
fieldset { margin-left: 2px; margin-right: 2px; padding: 0.35em 0.75em 0.625em; border: 2px groove #c0c0c0; }
legend { padding-left: 2px; padding-right: 2px; }
br { display: block; }
img { display: inline-block; }
input, select, textarea, button { display: inline-block; vertical-align: baseline; }
/* Form controls do not take the font of the text around, as in browsers. */
input, select, textarea, button { font-family: Arial, sans-serif; font-size: 13.333px; font-weight: normal; font-style: normal; }
textarea { font-family: monospace; }
input[type="radio"] { margin: 3px 3px 0 5px; }
input[type="checkbox"] { margin: 3px 3px 3px 4px; }
pre code, pre kbd, pre samp, pre tt { font-size: 1em; }
)CSS";

QString Css(const QColor& color) {
    return color.name(QColor::HexRgb);
}

QString Family(const QString& name) {
    QString escaped = name;
    escaped.remove(QLatin1Char('"')).remove(QLatin1Char('\\'));
    return QStringLiteral("\"%1\"").arg(escaped);
}

}  // namespace

std::string DefaultStyleSheet(const TStyleDefaults& defaults) {
    QString sheet = QString::fromUtf8(kRules);
    sheet += QStringLiteral("html { color: %1; font-family: %2; }\n")
                 .arg(Css(defaults.fontColor), Family(defaults.fontName));
    const QString decoration = defaults.underlineLinks ? QStringLiteral("underline") : QStringLiteral("none");
    sheet += QStringLiteral("a:link { color: %1; text-decoration: %2; cursor: pointer; }\n")
                 .arg(Css(defaults.linkColor), decoration);
    sheet += QStringLiteral("a:visited { color: %1; text-decoration: %2; cursor: pointer; }\n")
                 .arg(Css(defaults.visitedLinkColor), decoration);
    if (defaults.highlightOverLinks)
        sheet +=
            QStringLiteral("a:link:hover, a:visited:hover { color: %1; }\n").arg(Css(defaults.overLinkColor));
    if (defaults.quirks) {
        // Browsers drop the default margins at the top of the page and at the top and bottom of
        // table cells in quirks mode; margins the document sets stay.
        sheet += QStringLiteral(
            "body > :first-child, td > :first-child, th > :first-child { margin-top: 0; }\n"
            "td > :last-child, th > :last-child { margin-bottom: 0; }\n");
    }
    return sheet.toStdString();
}
