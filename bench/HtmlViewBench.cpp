// Opening messages in the HTML view: about 5 KB, 50 KB and 1 MB; opening a recently opened 50 KB
// message again; opening a 50 KB message prepared while idle; a 5 MB message (the longest stall of the window
// and the resident memory before, after, and after the next message); the fuzz finding of nested tables and
// long words; painting.
#include <benchmark/benchmark.h>

#include <chrono>

#include <unistd.h>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <fstream>
#include <string>

#include "htmlview/HtmlView.h"

namespace {

// A realistic message: a heading, paragraphs with links and emphasis, an order table and a list,
// repeated until it reaches the size asked for. `variant` changes the text a little.
std::string Message(size_t bytes, int variant = 0) {
    std::string html =
        "<html><head><style>body{font-family:Arial,sans-serif} td{border:1px solid #ccc;padding:3px}"
        " .total{font-weight:bold;background:#eee}</style></head><body>";
    for (int part = 0; html.size() < bytes; ++part) {
        const std::string n = std::to_string(part + variant * 100000);
        html += "<h3>Order " + n +
                " received</h3><p>Customer <b>Jana Example</b> ordered the items below. "
                "Please check the stock and <a href='admin/order.php?id=" +
                n +
                "'>confirm the order</a> "
                "before the end of the day, or <i>contact the customer</i> if anything is missing.</p>"
                "<table><tr><th>Item</th><th>Qty</th><th>Price</th></tr>"
                "<tr><td>Espresso beans, 1 kg</td><td>2</td><td>37.00</td></tr>"
                "<tr><td>Milk frother</td><td>1</td><td>24.90</td></tr>"
                "<tr class=total><td colspan=2>Total</td><td>61.90</td></tr></table>"
                "<ul><li>Delivery: express</li><li>Payment: card</li></ul>";
    }
    return html + "</body></html>";
}

THtmlView* View() {
    static THtmlView* view = [] {
        auto* v = new THtmlView();
        v->SetBorderStyle(TBorderStyle::bsNone);
        v->SetScrollBars(TScrollStyle::ssNone);
        v->resize(640, 480);
        return v;
    }();
    return view;
}

void Open(THtmlView* view, const std::string& html) {
    view->LoadBuffer(html.data(), static_cast<int64_t>(html.size()), "");
}

// Resident memory of the process in megabytes.
double ResidentMB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Handles events until nothing is left for a while; the longest single step in milliseconds.
double LongestStep(int quietMs = 200) {
    QElapsedTimer idle, step;
    idle.start();
    double longest = 0;
    while (idle.elapsed() < quietMs) {
        step.start();
        const bool busy =
            QCoreApplication::instance()->eventDispatcher()->processEvents(QEventLoop::AllEvents);
        longest = std::max(longest, step.nsecsElapsed() / 1e6);
        if (busy) idle.restart();
    }
    return longest;
}

void BM_LoadBuffer(benchmark::State& state) {
    const std::string html = Message(static_cast<size_t>(state.range(0)));
    THtmlView* view = View();
    int round = 0;
    for (auto _ : state) {
        // A different message each time: nothing is reused from the previous open.
        state.PauseTiming();
        const std::string fresh = html + "<!-- " + std::to_string(++round) + " -->";
        state.ResumeTiming();
        Open(view, fresh);
        benchmark::DoNotOptimize(view->VerticalRange());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(html.size()));
    state.counters["bytes"] = static_cast<double>(html.size());
}
BENCHMARK(BM_LoadBuffer)->Arg(5 << 10)->Arg(50 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// Double-clicking between two 50 KB messages of the list, as a reader does.
void BM_ReopenRecent50K(benchmark::State& state) {
    const std::string a = Message(50 << 10, 1), b = Message(50 << 10, 2);
    THtmlView* view = View();
    Open(view, a);
    Open(view, b);
    bool first = true;
    for (auto _ : state) {
        Open(view, first ? a : b);
        first = !first;
        benchmark::DoNotOptimize(view->VerticalRange());
    }
}
BENCHMARK(BM_ReopenRecent50K)->Unit(benchmark::kMillisecond);

// A new 50 KB message that the owner handed to PrepareBuffer when it arrived: the view built it
// while idle, and the double-click only lays it out.
void BM_OpenPrepared50K(benchmark::State& state) {
    THtmlView* view = View();
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string html = Message(50 << 10, 10 + (++round % 1000));
        view->PrepareBuffer(html.data(), static_cast<int64_t>(html.size()));
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 400) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        state.ResumeTiming();
        Open(view, html);
        benchmark::DoNotOptimize(view->VerticalRange());
    }
}
BENCHMARK(BM_OpenPrepared50K)->Iterations(8)->Unit(benchmark::kMillisecond);

// A 50 KB message nobody prepared (an old one, read before and since dropped from the view's
// keeping), double-clicked: the press of the first click selects it and the owner asks for it to
// be built at once; the second click comes the argument's milliseconds later. Timed from the
// second click to the message laid out, including whatever of the build was still running then.
void BM_DoubleClickOpen50K(benchmark::State& state) {
    THtmlView* view = View();
    const auto gap = std::chrono::milliseconds(state.range(0));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string html = Message(50 << 10, 2000 + (++round % 1000));
        // Quiet before the press: nothing else is being built.
        QElapsedTimer quiet;
        quiet.start();
        while (quiet.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        const auto press = std::chrono::steady_clock::now();
        view->PrepareBuffer(html.data(), static_cast<int64_t>(html.size()), TPrepare::Soon);
        while (std::chrono::steady_clock::now() - press < gap)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.ResumeTiming();
        const auto secondClick = press + gap;
        Open(view, html);
        benchmark::DoNotOptimize(view->VerticalRange());
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - secondClick).count());
    }
}
BENCHMARK(BM_DoubleClickOpen50K)
    ->Arg(120)
    ->Arg(200)
    ->Iterations(8)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// What keeping the built documents of recently opened 50 KB messages costs in memory.
void BM_CacheMemoryPer50K(benchmark::State& state) {
    THtmlView* view = View();
    for (auto _ : state) {
        Open(view, Message(5 << 10, 50));
        Open(view, Message(5 << 10, 51));
        Open(view, Message(5 << 10, 52));
        Open(view, Message(5 << 10, 53));
        Open(view, Message(50 << 10, 54));
        LongestStep(50);
        const double one = ResidentMB();
        for (int i = 55; i < 59; ++i) Open(view, Message(50 << 10, i));
        LongestStep(50);
        state.counters["MB_per_kept_document"] = (ResidentMB() - one) / 4;
    }
}
BENCHMARK(BM_CacheMemoryPer50K)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LargeMessage(benchmark::State& state) {
    const std::string large = Message(5 << 20, 3), small = Message(5 << 10, 4);
    THtmlView* view = View();
    Open(view, small);
    LongestStep();
    for (auto _ : state) {
        const double before = ResidentMB();
        QElapsedTimer clock;
        clock.start();
        Open(view, large);
        const double load = clock.nsecsElapsed() / 1e6;
        const double after = LongestStep();
        const double loaded = ResidentMB();
        state.counters["height_px"] = view->VerticalRange();
        Open(view, small);
        LongestStep();
        state.counters["stall_ms"] = std::max(load, after);
        state.counters["rss_before_MB"] = before;
        state.counters["rss_loaded_MB"] = loaded;
        state.counters["rss_next_MB"] = ResidentMB();
    }
}
BENCHMARK(BM_LargeMessage)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_FuzzFindingNestedSlow(benchmark::State& state) {
    std::string path = __FILE__;
    path = path.substr(0, path.find_last_of('/')) + "/../fuzz/corpus/HtmlViewFuzz/nested-slow.html";
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("nested-slow.html not found");
        return;
    }
    const std::string html = file.readAll().toStdString();
    THtmlView* view = View();
    for (auto _ : state) {
        Open(view, html);
        state.counters["stall_ms"] = std::max(0.0, LongestStep(50));
    }
}
BENCHMARK(BM_FuzzFindingNestedSlow)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_PaintFullView(benchmark::State& state) {
    const std::string html = Message(50 << 10);
    THtmlView* view = View();
    Open(view, html);
    QImage canvas(view->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&canvas);
        view->render(&painter);
    }
}
BENCHMARK(BM_PaintFullView)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
