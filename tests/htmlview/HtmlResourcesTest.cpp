// Pictures and style sheets fetched in the background from a loopback server.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <map>
#include <mutex>

#include "HtmlViewTestSupport.h"
#include "common/TestHttpServer.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;
using testing_support::TReceivedRequest;
using testing_support::TTestHttpServer;
using testing_support::TTestResponse;

namespace {

// Serves fixed bodies by path and counts the requests for each.
class TResourceServer {
public:
    TResourceServer()
        : server_([this](const TReceivedRequest& request) {
              std::lock_guard<std::mutex> lock(mutex_);
              ++hits_[request.Path];
              auto found = bodies_.find(request.Path);
              if (found == bodies_.end()) return TTestResponse::Text("missing", 404);
              return TTestResponse::Text(found->second.first, 200, found->second.second);
          }) {}

    void Put(const std::string& path, const QByteArray& body, const std::string& type) {
        std::lock_guard<std::mutex> lock(mutex_);
        bodies_[path] = {body.toStdString(), type};
    }
    int Hits(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        return hits_[path];
    }
    std::string Base() const { return server_.Url("/site/"); }
    TTestHttpServer& Server() { return server_; }

private:
    std::mutex mutex_;
    std::map<std::string, std::pair<std::string, std::string>> bodies_;
    std::map<std::string, int> hits_;
    TTestHttpServer server_;
};

const QColor kRed(255, 0, 0), kGreen(0, 255, 0);

}  // namespace

TEST(HtmlResources, ARelativePictureArrivesAndTheLayoutFollows) {
    TResourceServer server;
    server.Put("/site/pics/red.png", Picture(40, 120, kRed), "image/png");
    THtmlView view;
    Configure(view, 400, 100);
    view.SetBaseAddress(server.Base());
    std::vector<bool> processing;
    view.OnProcessing = [&](THtmlView*, bool on) { processing.push_back(on); };
    Load(view, "<body style='margin:0'><img src='pics/red.png' style='display:block'><p>after</p>");
    const int before = view.VerticalRange();
    EXPECT_EQ(processing, (std::vector<bool>{true, false}));
    ASSERT_TRUE(WaitFor([&] { return view.VerticalRange() >= before + 120; }));
    EXPECT_EQ(view.VerticalRange(), before + 120);
    EXPECT_EQ(processing, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(ColorBounds(Shot(view), kRed, 30), QRect(0, 0, 40, 100));
    EXPECT_EQ(server.Hits("/site/pics/red.png"), 1);
}

TEST(HtmlResources, AMissingPictureKeepsItsBox) {
    TResourceServer server;
    THtmlView view;
    Configure(view, 400, 200);
    view.SetBaseAddress(server.Base());
    Load(view,
         "<body style='margin:0'><img src='none.png' width=30 height=60 style='display:block'>"
         "<div style='background:#00ff00;height:10px'></div>");
    ASSERT_TRUE(WaitFor([&] { return server.Hits("/site/none.png") == 1; }));
    Settle();
    EXPECT_EQ(ColorBounds(Shot(view), kGreen, 10).top(), 60);
}

TEST(HtmlResources, FilesAreNeverRead) {
    QTemporaryDir folder;
    QImage(20, 20, QImage::Format_RGB32).save(folder.filePath("red.png"));
    {
        QImage image(20, 20, QImage::Format_RGB32);
        image.fill(kRed);
        image.save(folder.filePath("red.png"));
    }
    const std::string file = "file://" + folder.filePath("red.png").toStdString();
    struct TCase {
        std::string base, src;
    };
    for (const TCase& c : std::vector<TCase>{
             {"", file}, {"file://" + folder.path().toStdString() + "/", "red.png"}, {"", "red.png"}}) {
        THtmlView view;
        Configure(view, 200, 100);
        view.SetBaseAddress(c.base);
        Load(view,
             "<img src='" + c.src + "'><div style=\"background:url('" + c.src + "');height:30px\"></div>");
        Settle();
        EXPECT_TRUE(ColorBounds(Shot(view), kRed, 30).isEmpty()) << c.base << " " << c.src;
    }
}

TEST(HtmlResources, NoPictureIsFetchedWhenPicturesOrFetchingAreOff) {
    TResourceServer server;
    server.Put("/site/a.png", Picture(10, 10, kRed), "image/png");
    for (int variant = 0; variant < 2; ++variant) {
        THtmlView view;
        Configure(view, 200, 100);
        view.SetBaseAddress(server.Base());
        if (variant == 0) view.SetViewImages(false);
        if (variant == 1) view.SetFetchResources(false);
        Load(view, "<img src='a.png'><p>marker</p>");
        // A later document that is fetched proves the earlier one would have been by now.
        THtmlView witness;
        Configure(witness, 200, 100);
        witness.SetBaseAddress(server.Base());
        server.Put("/site/w.png", Picture(10, 10, kRed), "image/png");
        Load(witness, "<img src='w.png'>");
        ASSERT_TRUE(WaitFor([&] { return server.Hits("/site/w.png") == variant + 1; }));
        Settle();
        EXPECT_EQ(server.Hits("/site/a.png"), 0) << variant;
    }
}

TEST(HtmlResources, APictureUsedTwiceIsFetchedOnce) {
    TResourceServer server;
    server.Put("/site/r.png", Picture(10, 10, kRed), "image/png");
    THtmlView view;
    Configure(view, 300, 100);
    view.SetBaseAddress(server.Base());
    Load(view,
         "<img src='r.png'><img src='/site/r.png'><div style='background:url(r.png);height:10px'></div>");
    ASSERT_TRUE(WaitFor([&] { return !ColorBounds(Shot(view), kRed, 30).isEmpty(); }));
    Settle();
    EXPECT_EQ(server.Hits("/site/r.png"), 1);
}

TEST(HtmlResources, ExternalStyleSheetsApplyOnceFetched) {
    TResourceServer server;
    server.Put("/site/style.css", "@import url(style.css); .box { background: #00ff00; height: 40px; }",
               "text/css");
    THtmlView view;
    Configure(view, 300, 100);
    view.SetBaseAddress(server.Base());
    Load(view, "<link rel=stylesheet href='style.css'><div class=box></div>");
    ASSERT_TRUE(WaitFor([&] { return !ColorBounds(Shot(view), kGreen, 10).isEmpty(); }));
    EXPECT_EQ(ColorBounds(Shot(view), kGreen, 10).height(), 40);
    // The sheet imports itself: it is still fetched only once.
    Settle();
    EXPECT_EQ(server.Hits("/site/style.css"), 1);
}

TEST(HtmlResources, ImportsAreFollowedOnlyAFewLevelsDeep) {
    TResourceServer server;
    for (int level = 1; level <= 6; ++level)
        server.Put("/site/l" + std::to_string(level) + ".css",
                   QByteArray("@import url(l") + QByteArray::number(level + 1) + ".css);", "text/css");
    THtmlView view;
    Configure(view, 300, 100);
    view.SetBaseAddress(server.Base());
    int processing = 0;
    view.OnProcessing = [&](THtmlView*, bool) { ++processing; };
    Load(view, "<style>@import url(l1.css);</style><p>x</p>");
    // The load and one new build for each of the three sheets that arrive.
    ASSERT_TRUE(WaitFor([&] { return processing >= 8; }));
    // A fetch started later by another view shows the first one had its chance.
    server.Put("/site/w.png", Picture(4, 4, kRed), "image/png");
    THtmlView witness;
    Configure(witness, 100, 100);
    witness.SetBaseAddress(server.Base());
    Load(witness, "<img src='w.png'>");
    ASSERT_TRUE(WaitFor([&] { return server.Hits("/site/w.png") == 1; }));
    Settle();
    EXPECT_EQ(server.Hits("/site/l3.css"), 1);
    EXPECT_EQ(server.Hits("/site/l4.css"), 0);
    EXPECT_EQ(processing, 8);
}
