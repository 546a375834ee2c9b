// Benchmarks of two main windows drawing together over loopback: from the mouse-up on one to
// the element stored on the other, a burst of 10,000 lines, and the host's drawing taken on
// join. Argument 1 connects them with a passphrase; 2 stands for copies that know only the
// share records.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "render/JapaneseFonts.h"
#include "tests/net/test_TMan2ManDriver.h"
#include "tests/support/ScriptedPrompts.h"
#include "window/PaintBox.h"
#include "window/TForm1.h"

using namespace m2mtest;
using Clock = std::chrono::steady_clock;

namespace {

int AliveLines(const TForm1& f) {
    int n = 0;
    for (int i = 0; i <= f.store.lineTop; ++i) n += f.store.line(i).alive;
    return n;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// Two windows in this process, connected through their own dialogs on the connection that
// guarantees delivery.
struct Pair {
    HooksScope hooks{LoopbackHooks()};
    ScriptedPrompts prompts;
    std::unique_ptr<TForm1> host = std::make_unique<TForm1>(), guest = std::make_unique<TForm1>();
    bool ok = false;

    explicit Pair(int mode, int hostElements = 0) {
        const char* passphrase = mode == 1 ? "bench passphrase" : "";
        for (TForm1* f : {host.get(), guest.get()}) {
            f->SnapDistance = 0;
            f->sync.offer = mode != 2;
            f->show();
        }
        for (int i = 0; i < hostElements; ++i) {
            // A plan of short walls and columns, like the users' large drawings.
            const double x = (i % 1000) * 10.0, y = (i / 1000) * 10.0;
            if (i % 10 == 9)
                host->store.AddCircle(x + 5, y + 5, 2, 0, 0, 0);
            else
                host->store.AddLine(x, y, x + 7, y + (i % 3), 0);
        }
        // A 5 ms timer stands for the windows' own work during the join; its longest wait
        // says how long the event loop was held.
        QObject::connect(&tick, &QTimer::timeout,
                         [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        tick.setInterval(5);
        sinceTick.start();
        tick.start();
        {
            DialogDriver d;
            d.ChooseConnection(kTcp).TypePassphrase(passphrase).CreateSession("Host");
            host->Button("SpeedButton34")->click();
            if (!d.Finished()) return;
        }
        {
            DialogDriver d;
            prompts.AnswerTexts({""});
            d.ChooseConnection(kTcp).TypePassphrase(passphrase).JoinSession("Guest", "Host");
            guest->Button("SpeedButton34")->click();
            if (!d.Finished()) return;
        }
        const auto joined = Clock::now();
        ok = WaitUntil(
            [&] { return host->windowTitle() == "HOST" && guest->windowTitle() == "CLIENT"; });
        if (ok && mode != 2)
            ok = WaitUntil(
                [&] { return guest->sync.phase() == DrawingSync::Phase::InSync; }, 600000);
        joinSeconds = std::chrono::duration<double>(Clock::now() - joined).count();
        tick.stop();
    }
    QTimer tick;
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    double joinSeconds = 0;
    ~Pair() {
        guest.reset();
        host.reset();
    }
};

void MouseUpToStoredOnThePartner(benchmark::State& state) {
    Pair pair(int(state.range(0)));
    if (!pair.ok) {
        state.SkipWithError("the two windows did not connect");
        return;
    }
    TForm1& f = *pair.host;
    f.Button("SpeedButton3")->click();  // lines
    std::vector<double> millis;
    int i = 0;
    for (auto _ : state) {
        const int before = AliveLines(*pair.guest);
        const QPoint a(100 + i % 400, 100 + (i / 400) % 300), b(a.x() + 37, a.y() + 11);
        ++i;
        QTest::mouseClick(f.PaintBox1, Qt::LeftButton, Qt::NoModifier, a);
        QTest::mousePress(f.PaintBox1, Qt::LeftButton, Qt::NoModifier, b);
        QTest::mouseRelease(f.PaintBox1, Qt::LeftButton, Qt::NoModifier, b);
        const auto start = Clock::now();  // the line is made at the press; this is its mouse-up
        WaitUntil([&] { return AliveLines(*pair.guest) > before; }, 2000);
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(s);
        millis.push_back(s * 1e3);
    }
    state.counters["median_ms"] = Percentile(millis, 0.5);
    state.counters["p99_ms"] = Percentile(millis, 0.99);
}
BENCHMARK(MouseUpToStoredOnThePartner)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Iterations(300)
    ->Unit(benchmark::kMillisecond);

void BurstOfTenThousandLines(benchmark::State& state) {
    Pair pair(int(state.range(0)));
    if (!pair.ok) {
        state.SkipWithError("the two windows did not connect");
        return;
    }
    // A 5 ms timer stands for the window's own work; its longest wait says how long the
    // receiving side was unresponsive.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    for (auto _ : state) {
        const int before = AliveLines(*pair.guest);
        sinceTick.start();
        tick.start();
        const auto start = Clock::now();
        for (int i = 0; i < 10000; ++i)
            pair.host->store.AddLine(i % 500, i / 500, i % 500 + 0.75, i / 500 + 0.5, 1);
        const double sent = std::chrono::duration<double>(Clock::now() - start).count();
        const bool all =
            WaitUntil([&] { return AliveLines(*pair.guest) >= before + 10000; }, 60000);
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        tick.stop();
        state.SetIterationTime(s);
        state.counters["sent_ms"] = sent * 1e3;
        state.counters["all_stored_ms"] = s * 1e3;
        state.counters["arrived"] = AliveLines(*pair.guest) - before;
        state.counters["longest_timer_gap_ms"] = double(longestGap);
        if (!all) state.SkipWithError("not every line arrived");
    }
}
BENCHMARK(BurstOfTenThousandLines)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// From the guest's click on the session until the host's drawing of n elements is complete
// on the guest, with a timer standing for the guest window's own work.
void JoinTakesTheHostsDrawing(benchmark::State& state) {
    for (auto _ : state) {
        Pair pair(0, int(state.range(0)));
        if (!pair.ok) {
            state.SkipWithError("the drawing did not arrive");
            return;
        }
        state.SetIterationTime(pair.joinSeconds);
        state.counters["elements"] = double(state.range(0));
        state.counters["longest_timer_gap_ms"] = double(pair.longestGap);
        state.counters["equal"] =
            DrawingSync::Digest(pair.host->store) == DrawingSync::Digest(pair.guest->store);
    }
}
BENCHMARK(JoinTakesTheHostsDrawing)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallJapaneseFontSubstitutes();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
