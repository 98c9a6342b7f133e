// Realistic messages shown in a real window on a private X server: an order with a table, a
// question with a form, a newsletter with pictures and style sheets. With QUORVEL_SAMPLES_PNG set
// to a folder, the windows are also saved there as PNG files for a person to look at.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <cstdlib>
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

// Serves the files of the samples folder below /site/.
class TSampleServer {
public:
    TSampleServer()
        : server_([this](const TReceivedRequest& request) {
              {
                  std::lock_guard<std::mutex> lock(mutex_);
                  ++hits_[request.Path];
              }
              const std::string prefix = "/site/";
              if (request.Path.rfind(prefix, 0) != 0) return TTestResponse::Text("no", 404);
              const std::string name = request.Path.substr(prefix.size());
              const std::string body = name.find('/') == std::string::npos ? ReadSample(name) : std::string();
              if (body.empty()) return TTestResponse::Text("missing", 404);
              const bool gif = name.size() > 4 && name.compare(name.size() - 4, 4, ".gif") == 0;
              return TTestResponse::Text(body, 200, gif ? "image/gif" : "image/png");
          }) {}
    int Hits(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        return hits_[path];
    }
    std::string Base() const { return server_.Url("/site/"); }

private:
    std::mutex mutex_;
    std::map<std::string, int> hits_;
    TTestHttpServer server_;
};

// A top-level window around the view, set up as the main window sets its message view.
struct TSampleWindow {
    QWidget window;
    THtmlView* view;

    explicit TSampleWindow(const std::string& base) {
        window.resize(640, 560);
        view = new THtmlView(&window);
        view->SetBorderStyle(TBorderStyle::bsNone);
        view->SetScrollBars(TScrollStyle::ssNone);
        view->SetDefBackground(QColor(Qt::white));
        view->SetBaseAddress(base);
        view->setGeometry(0, 0, 640, 560);
        window.show();
        WaitFor([&] { return window.isVisible() && view->isVisible(); });
        Settle();
    }
    void Load(const std::string& sample) {
        const std::string html = ReadSample(sample);
        ASSERT_FALSE(html.empty()) << sample;
        view->LoadBuffer(html.data(), static_cast<int64_t>(html.size()), "");
        Settle();
    }
    // The window as the X server shows it.
    QImage Screen() {
        Settle();
        window.repaint();
        Settle();
        QScreen* screen = QGuiApplication::primaryScreen();
        return screen->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    }
    void Save(const std::string& name) {
        const char* folder = std::getenv("QUORVEL_SAMPLES_PNG");
        if (!folder || !*folder) return;
        QDir().mkpath(folder);
        Screen().save(QString::fromUtf8(folder) + "/" + QString::fromStdString(name) + ".png");
    }
};

}  // namespace

TEST(HtmlViewSamplesX, AnOrderShowsItsTableAndLinks) {
    TSampleWindow window("http://127.0.0.1:9/shop/");
    window.Load("order.html");
    const QImage image = window.Screen();
    // The header cells have their background; the total row its own.
    const QRect header = ColorBounds(image, QColor(0xdd, 0xe7, 0xf0), 2);
    const QRect total = ColorBounds(image, QColor(0xf4, 0xf4, 0xe0), 2);
    ASSERT_FALSE(header.isEmpty());
    ASSERT_FALSE(total.isEmpty());
    EXPECT_GT(header.width(), 500);
    EXPECT_GT(total.top(), header.bottom() + 60);
    EXPECT_LT(window.view->VerticalRange(), 0);
    window.Save("order");
}

TEST(HtmlViewSamplesX, AQuestionSubmitsItsAnswer) {
    TSampleWindow window("http://127.0.0.1:9/shop/");
    TStringArray results;
    ByteString action, method;
    window.view->OnFormSubmit = [&](THtmlView*, const ByteString& a, const ByteString&, const ByteString&,
                                    const ByteString& m, TStringArray r) {
        action = a;
        method = m;
        results = std::move(r);
    };
    window.Load("question.html");
    auto* viewport = window.view->viewport();
    EXPECT_EQ(viewport->findChildren<QRadioButton*>().size(), 2);
    EXPECT_EQ(viewport->findChildren<QCheckBox*>().size(), 1);
    ASSERT_EQ(viewport->findChildren<QPlainTextEdit*>().size(), 1);
    for (QWidget* control : viewport->findChildren<QWidget*>())
        if (control->parentWidget() == viewport) {
            EXPECT_TRUE(control->isVisible());
            EXPECT_TRUE(viewport->rect().contains(control->geometry())) << control->metaObject()->className();
        }
    window.Save("question");
    viewport->findChildren<QRadioButton*>()[1]->click();
    viewport->findChildren<QPlainTextEdit*>()[0]->setPlainText("New street 5\nBrno");
    QPushButton* send = nullptr;
    for (QPushButton* button : viewport->findChildren<QPushButton*>())
        if (button->text() == "Send answer") send = button;
    ASSERT_NE(send, nullptr);
    send->click();
    ASSERT_TRUE(WaitFor([&] { return !results.empty(); }));
    EXPECT_EQ(action, "reply.php");
    EXPECT_EQ(method, "post");
    EXPECT_EQ(results, (TStringArray{"id=10482", "answer=no", "notify=1", "carrier=ups",
                                     "text=New street 5\r\nBrno", "sign=Shop team", "send=Send answer"}));
}

TEST(HtmlViewSamplesX, ANewsletterShowsItsPictures) {
    TSampleServer server;
    TSampleWindow window(server.Base());
    window.Load("newsletter.html");
    ASSERT_TRUE(WaitFor([&] {
        return server.Hits("/site/beans.png") && server.Hits("/site/spinner.gif") &&
               server.Hits("/site/stripe.png") && server.Hits("/site/missing.png");
    }));
    // The beans picture is 96 x 72, drawn at the size the document gives (the same).
    ASSERT_TRUE(WaitFor([&] {
        const QRect beans = ColorBounds(window.Screen(), QColor(0x6f, 0x4e, 0x37), 6);
        return beans.width() >= 90 && beans.width() <= 96;
    }));
    // The white page sits on the coloured body background.
    const QImage image = window.Screen();
    EXPECT_EQ(image.pixelColor(5, 200), QColor(0xee, 0xf1, 0xf4));
    window.Save("newsletter");
}
