// Benchmarks of two main windows drawing together over loopback: from the mouse-up on one to
// the element stored on the other, and a burst of 10,000 lines; argument 1 connects them with
// a passphrase.
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

    explicit Pair(bool guarded) {
        const char* passphrase = guarded ? "bench passphrase" : "";
        for (TForm1* f : {host.get(), guest.get()}) {
            f->SnapDistance = 0;
            f->show();
        }
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
        ok = WaitUntil(
            [&] { return host->windowTitle() == "HOST" && guest->windowTitle() == "CLIENT"; });
    }
    ~Pair() {
        guest.reset();
        host.reset();
    }
};

void MouseUpToStoredOnThePartner(benchmark::State& state) {
    Pair pair(state.range(0) != 0);
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
    ->UseManualTime()
    ->Iterations(300)
    ->Unit(benchmark::kMillisecond);

void BurstOfTenThousandLines(benchmark::State& state) {
    Pair pair(state.range(0) != 0);
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
