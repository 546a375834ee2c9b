// Benchmarks of two TMan2Man components meeting over loopback: the round trip of a registered
// record, and chat lines through the component's own acknowledged delivery on a lossy link.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <vector>

#include "tests/net/test_TMan2ManDriver.h"
#include "tests/support/ScriptedPrompts.h"

using namespace m2mtest;
using Clock = std::chrono::steady_clock;

namespace {

// The connection's own provider time-out (not the tests' shortened one), so that the figures
// are those a user sees.
SessionTestHooks BenchHooks(int dropPercent) {
    SessionTestHooks h;
    h.port = 0;
    h.bindAddress = "127.0.0.1";
    h.dropPercent = dropPercent;
    h.seed = 11;
    return h;
}

struct Pair {
    ScriptedPrompts prompts;
    std::array<uint8_t, 56> hostRecord{}, guestRecord{};
    TMan2Man host, guest;
    bool ok = false;
    Pair() {
        for (TMan2Man* m : {&host, &guest}) m->SetLiveCheckInterval(0);
        host.RegiStruct(hostRecord.data(), 56, 1);
        guest.RegiStruct(guestRecord.data(), 56, 1);
        if (!Host(host, "Host")) return;
        prompts.AnswerTexts({""});
        if (!Join(guest, "Guest", "Host")) return;
        ok = WaitUntil([&] { return host.Connected(); });
    }
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

void RegisteredRecordRoundTrip(benchmark::State& state) {
    HooksScope hooks(BenchHooks(0));
    Pair pair;
    if (!pair.ok) {
        state.SkipWithError("the two components did not connect");
        return;
    }
    // The guest sends every record it receives straight back.
    pair.guest.OnRegiDataComming = [&](TMan2Man* m, RegiDataTag) {
        pair.guestRecord[0] ^= 1;
        m->SendRegiData(0, false);
    };
    bool back = false;
    pair.host.OnRegiDataComming = [&](TMan2Man*, RegiDataTag) { back = true; };
    std::vector<double> micros;
    int lost = 0;
    for (auto _ : state) {
        back = false;
        pair.hostRecord[0]++;
        const auto start = Clock::now();
        pair.host.SendRegiData(0, false);
        const auto limit = start + std::chrono::seconds(1);
        while (!back && Clock::now() < limit)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        if (!back) ++lost;
        state.SetIterationTime(s);
        micros.push_back(s * 1e6);
    }
    state.counters["median_us"] = Percentile(micros, 0.5);
    state.counters["p99_us"] = Percentile(micros, 0.99);
    state.counters["lost"] = lost;
}
BENCHMARK(RegisteredRecordRoundTrip)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

// Chat lines from the guest, each sent only after the one before was acknowledged.
void ChatLinesWithLoss(benchmark::State& state) {
    const int drop = int(state.range(0));
    HooksScope hooks(BenchHooks(drop));
    Pair pair;
    if (!pair.ok) {
        state.SkipWithError("the two components did not connect");
        return;
    }
    int arrived = 0;
    pair.host.OnChatComming = [&](TMan2Man*) { ++arrived; };
    constexpr int kLines = 200;
    for (auto _ : state) {
        arrived = 0;
        int failed = 0;
        const auto start = Clock::now();
        for (int i = 0; i < kLines; ++i)
            if (!pair.guest.SendChat("line " + std::to_string(i))) ++failed;
        WaitUntil([&] { return arrived >= kLines - failed; }, 5000);
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(s);
        state.counters["lines_per_s"] = arrived / s;
        state.counters["arrived"] = arrived;
        state.counters["failed_sends"] = failed;
    }
}
BENCHMARK(ChatLinesWithLoss)->Arg(0)->Arg(10)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
