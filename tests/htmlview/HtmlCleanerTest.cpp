// The cleaning of documents before the renderer sees them, and the reading of their encoding.
#include <gtest/gtest.h>

#include <gumbo.h>

#include <string>
#include <vector>

#include "htmlview/CharsetDetect.h"
#include "htmlview/HtmlCleaner.h"

namespace {

// The deepest element nesting of a document, walked without recursion.
int Depth(const std::string& html) {
    GumboOutput* output = gumbo_parse(html.c_str());
    int deepest = 0;
    std::vector<std::pair<const GumboNode*, int>> stack{{output->root, 1}};
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        deepest = std::max(deepest, depth);
        if (node->type != GUMBO_NODE_ELEMENT) continue;
        for (unsigned i = 0; i < node->v.element.children.length; ++i)
            stack.push_back({static_cast<const GumboNode*>(node->v.element.children.data[i]), depth + 1});
    }
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return deepest;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(HtmlCleaner, DeepNestingIsFlattenedAndItsTextKept) {
    std::string html;
    for (int i = 0; i < 10000; ++i) html += "<div>";
    html += "deep text";
    for (int i = 0; i < 10000; ++i) html += "<span><b>";
    const TCleanDocument clean = CleanDocument(html);
    EXPECT_TRUE(clean.truncated);
    EXPECT_LE(Depth(clean.html), TCleanLimits().maxDepth + 4);
    EXPECT_NE(clean.html.find("deep text"), std::string::npos);
}

TEST(HtmlCleaner, SpansAreClamped) {
    struct TCase {
        const char* attribute;
        const char* expected;
    };
    const std::vector<TCase> cases = {
        {"colspan=0", "colspan=\"1\""},
        {"colspan=-1", "colspan=\"1\""},
        {"colspan=1000000000", "colspan=\"1000\""},
        {"colspan=' 3 '", "colspan=\"3\""},
        {"colspan=abc", "colspan=\"1\""},
        {"colspan=99999999999999", "colspan=\"1\""},
        {"rowspan=0", "rowspan=\"0\""},
        {"rowspan=-1", "rowspan=\"0\""},
        {"rowspan=1000000000", "rowspan=\"65534\""},
        {"rowspan=7", "rowspan=\"7\""},
    };
    for (const TCase& c : cases) {
        const TCleanDocument clean =
            CleanDocument(std::string("<table><tr><td ") + c.attribute + ">x</td></tr></table>");
        EXPECT_NE(clean.html.find(c.expected), std::string::npos) << c.attribute << " gave " << clean.html;
    }
}

TEST(HtmlCleaner, TheSpanBudgetStopsHugeGrids) {
    std::string html = "<table>";
    for (int i = 0; i < 500; ++i) html += "<tr><td colspan=1000>x</td></tr>";
    const TCleanDocument clean = CleanDocument(html + "</table>");
    EXPECT_EQ(Count(clean.html, "colspan=\"1000\""), TCleanLimits().maxCellSpanTotal / 1000);
}

TEST(HtmlCleaner, ScriptsHandlersFramesAndForeignContentAreDropped) {
    const TCleanDocument clean = CleanDocument(
        "<p onclick='evil()' title='t'>a<script>alert(1)</script>b</p><iframe src=x>in frame</iframe>"
        "<svg><text>vector</text></svg><object>plugin</object><!-- comment --><noscript>ns</noscript>c");
    for (const char* gone :
         {"onclick", "alert", "iframe", "in frame", "vector", "plugin", "comment", "<noscript"})
        EXPECT_EQ(clean.html.find(gone), std::string::npos) << gone;
    for (const char* kept : {"title=\"t\"", ">a", "b</p>", "c"})
        EXPECT_NE(clean.html.find(kept), std::string::npos) << kept;
}

TEST(HtmlCleaner, TextAndAttributesAreEscaped) {
    const TCleanDocument clean =
        CleanDocument("<p title='a\"b&lt;'>1 &lt; 2 &amp; 3</p><style>p{} </style><b>x</b></style>");
    EXPECT_NE(clean.html.find("title=\"a&quot;b&lt;\""), std::string::npos);
    EXPECT_NE(clean.html.find("1 &lt; 2 &amp; 3"), std::string::npos);
}

TEST(HtmlCleaner, ElementsBeyondTheCapLoseTheirTags) {
    std::string html;
    for (int i = 0; i < 1000; ++i) html += "<span>w</span>";
    TCleanLimits limits;
    limits.maxElements = 100;
    const TCleanDocument clean = CleanDocument(html, limits);
    EXPECT_LE(Count(clean.html, "<span>"), 100u);
    EXPECT_EQ(Count(clean.html, "w"), 1000u);
    EXPECT_TRUE(clean.truncated);
}

TEST(HtmlCleaner, ControlsAndFormsAreCollectedInDocumentOrder) {
    const TCleanDocument clean = CleanDocument(
        "<form action=a method=PoSTED target=t enctype=e><input name=x value=1 data-qv-control=99>"
        "<select name=s><optgroup disabled><option>g</optgroup><option value=v selected>Label</select></form>"
        "<textarea name=t>\nkept</textarea><button type=reset>R <i>x</i></button>");
    ASSERT_EQ(clean.forms.size(), 1u);
    EXPECT_EQ(clean.forms[0].action, "a");
    EXPECT_EQ(clean.forms[0].method, "PoST");
    EXPECT_EQ(clean.forms[0].target, "t");
    EXPECT_EQ(clean.forms[0].enctype, "e");
    ASSERT_EQ(clean.controls.size(), 4u);
    EXPECT_EQ(clean.controls[0].kind, TControlKind::Text);
    EXPECT_EQ(clean.controls[0].form, 0);
    EXPECT_EQ(clean.controls[1].kind, TControlKind::Select);
    ASSERT_EQ(clean.controls[1].options.size(), 2u);
    EXPECT_TRUE(clean.controls[1].options[0].disabled);
    EXPECT_EQ(clean.controls[1].options[1].value, "v");
    EXPECT_EQ(clean.controls[1].options[1].label, "Label");
    EXPECT_EQ(clean.controls[2].kind, TControlKind::TextArea);
    EXPECT_EQ(clean.controls[2].text, "kept");
    EXPECT_EQ(clean.controls[2].form, -1);
    EXPECT_EQ(clean.controls[3].kind, TControlKind::Reset);
    EXPECT_EQ(clean.controls[3].text, "R x");
    // The document cannot name a control of its own choosing.
    EXPECT_EQ(Count(clean.html, "data-qv-control=\"99\""), 0u);
    EXPECT_EQ(Count(clean.html, "data-qv-control=\"0\""), 1u);
}

TEST(HtmlCleaner, TheBaseAddressIsTakenAndTheElementDropped) {
    const TCleanDocument clean =
        CleanDocument("<head><base href='http://site/dir/'><base href=second></head><p>x");
    EXPECT_EQ(clean.baseHref, "http://site/dir/");
    EXPECT_EQ(clean.html.find("<base"), std::string::npos);
}

TEST(HtmlCleaner, AnEmptyNamedAnchorGetsAPlace) {
    const TCleanDocument clean = CleanDocument("<a name=top></a><p>x</p>");
    EXPECT_NE(clean.html.find("<a name=\"top\">\xE2\x80\x8B</a>"), std::string::npos) << clean.html;
}

TEST(HtmlCharset, TheDeclarationWinsOtherwiseUtf8OrWindows1252) {
    struct TCase {
        std::string bytes;
        const char* charset;
        std::string text;  // UTF-8 expected somewhere in the result
    };
    const std::vector<TCase> cases = {
        {"<p>caf\xC3\xA9</p>", "utf-8", "caf\xC3\xA9"},
        {"<p>caf\xE9 \x80 \x93</p>", "windows-1252", "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9C"},
        {"<meta charset='iso-8859-1'><p>\xE9\x80</p>", "windows-1252", "\xC3\xA9\xE2\x82\xAC"},
        {"<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=koi8-r\"><p>\xC1</p>", "koi8-r",
         "\xD0\xB0"},
        {"<meta charset=utf-8><p>\xE9</p>", "utf-8", "\xEF\xBF\xBD"},
        {"\xEF\xBB\xBF<p>x\xC3\xA9</p>", "utf-8", "x\xC3\xA9"},
        {"<meta charset=no-such-set><p>\xC3\xA9</p>", "utf-8", "\xC3\xA9"},
        {"<!-- <meta charset=koi8-r> --><p>\xE9</p>", "windows-1252", "\xC3\xA9"},
        {"<meta content='text/html; charset=\"utf-8\"' http-equiv=content-type><p>\xC3\xA9", "utf-8",
         "\xC3\xA9"},
        {"\xED\xA0\x80", "windows-1252", "\xC3\xAD"},  // an encoded surrogate is not UTF-8
        {"\xC3", "windows-1252", "\xC3\x83"},
    };
    for (const TCase& c : cases) {
        const TDecodedDocument decoded = DecodeDocument(c.bytes);
        EXPECT_EQ(decoded.charset, c.charset) << c.bytes;
        EXPECT_NE(decoded.text.find(c.text), std::string::npos) << c.bytes << " gave " << decoded.text;
    }
}

TEST(HtmlCharset, TextsAreEncodedBackForTheSite) {
    EXPECT_EQ(EncodeForCharset("caf\xC3\xA9 \xE2\x82\xAC", "windows-1252"), "caf\xE9 \x80");
    EXPECT_EQ(EncodeForCharset("\xE2\x98\x83", "windows-1252"), "&#9731;");
    EXPECT_EQ(EncodeForCharset("\xC3\xA9", "utf-8"), "\xC3\xA9");
    EXPECT_EQ(EncodeForCharset("\xD0\xB0", "koi8-r"), "\xC1");
}

TEST(HtmlCleaner, PresentationalAttributesBecomeHintsApartFromTheElementsOwnStyle) {
    struct TCase {
        std::string html, expected;
    };
    const std::vector<TCase> cases = {
        {"<body bgcolor=ffcc00 text=red>",
         "<body bgcolor=\"ffcc00\" text=\"red\" data-qv-hints=\"background-color:#ffcc00;color:#ff0000;\">"},
        {"<body link=green><a href=x>", "<style>a:link{color:green}</style><html>"},
        {"<table border=2 cellpadding=3><tr><td style='color:blue'>",
         "<td data-qv-hints=\"border:1px inset #808080;padding:3px;\" style=\"color:#0000ff\">"},
        {"<table border=2>", "data-qv-hints=\"border:2px outset #808080;\""},
        {"<table border=0><tr><td>x", "<td>x"},
        {"<ol type=a><li type=I>",
         "data-qv-hints=\"list-style-type:lower-alpha;\"><li type=\"I\" "
         "data-qv-hints=\"list-style-type:upper-roman;\">"},
        {"<img align=left hspace=4 src=x>", "data-qv-hints=\"float:left;margin-left:4px;margin-right:4px;\""},
        {"<font face='Verdana, Arial'>", "data-qv-hints=\"font-family:Verdana, Arial;\""},
        // The document cannot write hints of its own.
        {"<p data-qv-hints='color:red'>x", "<p>x"},
        // Attribute values cannot smuggle other declarations into the style.
        {"<table><tr><td bgcolor='red;position:fixed'>x", "<td bgcolor=\"red;position:fixed\">x"},
        {"<body background=\"a.png');x:y('\">", "background-image:url('a.png%27%29;x:y%28%27');"},
    };
    for (const TCase& c : cases) {
        const TCleanDocument clean = CleanDocument(c.html);
        EXPECT_NE(clean.html.find(c.expected), std::string::npos) << c.html << " gave " << clean.html;
    }
}

TEST(HtmlCleaner, TablesNestedTooDeeplyAreUnwrapped) {
    std::string html;
    for (int i = 0; i < 30; ++i) html += "<table><tr><td>";
    html += "inner";
    const TCleanDocument clean = CleanDocument(html);
    EXPECT_EQ(Count(clean.html, "<table>"), static_cast<size_t>(TCleanLimits().maxTableNesting));
    EXPECT_NE(clean.html.find("inner"), std::string::npos);
    TCleanLimits limits;
    limits.keepStyles = false;
    const TCleanDocument bare =
        CleanDocument("<style>p{}</style><p style='display:table' bgcolor=red>x</p>", limits);
    EXPECT_EQ(bare.html.find("display"), std::string::npos);
    EXPECT_EQ(bare.html.find("<style"), std::string::npos);
}
