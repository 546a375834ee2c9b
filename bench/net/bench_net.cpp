// Benchmarks of two TMan2Man components meeting over loopback: the round trip of a registered
// record (open and with a passphrase), chat lines through the component's own acknowledged
// delivery on a lossy link, and the join of a session with a passphrase.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "net/DPlayGuard.h"
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
    explicit Pair(const char* passphrase = "") {
        for (TMan2Man* m : {&host, &guest}) m->SetLiveCheckInterval(0);
        host.RegiStruct(hostRecord.data(), 56, 1);
        guest.RegiStruct(guestRecord.data(), 56, 1);
        if (!Host(host, "Host", kUdp, passphrase)) return;
        prompts.AnswerTexts({""});
        if (!Join(guest, "Guest", "Host", kUdp, passphrase)) return;
        ok = WaitUntil([&] { return host.Connected(); });
    }
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// Argument 0: an open session; 1: a session with a passphrase (every datagram sealed).
void RegisteredRecordRoundTrip(benchmark::State& state) {
    HooksScope hooks(BenchHooks(0));
    Pair pair(state.range(0) ? "bench passphrase" : "");
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
BENCHMARK(RegisteredRecordRoundTrip)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

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

// The memory-hard derivation of a passphrase key alone (each side runs it once per session).
void PassphraseKeyDerivation(benchmark::State& state) {
    const GUID instance{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    for (auto _ : state)
        benchmark::DoNotOptimize(dpguard::PassphraseKey("bench passphrase", instance));
}
BENCHMARK(PassphraseKeyDerivation)->Iterations(10)->Unit(benchmark::kMillisecond);

// Opening a session as host, and joining it as guest, through the session layer: with a
// passphrase each includes its key derivation, and the join the handshake.
struct LayerSide {
    IDirectPlay3A* dp = nullptr;
    ~LayerSide() {
        if (dp) dp->Release();
    }
    bool Init(int connection) {
        if (FAILED(DirectPlayCreateInstance(CLSID_DirectPlay, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IDirectPlay3A, &dp)))
            return false;
        std::vector<std::vector<uint8_t>> blocks;
        dp->EnumConnections(
            nullptr,
            [](const GUID*, void* block, DWORD size, const DPNAME*, DWORD, void* context) -> BOOL {
                auto* b = static_cast<uint8_t*>(block);
                static_cast<std::vector<std::vector<uint8_t>>*>(context)->emplace_back(b, b + size);
                return 1;
            },
            &blocks, 0);
        return dp->InitializeConnection(blocks.at(size_t(connection)).data(), 0) == DP_OK;
    }
    bool Player(const char* name) {
        DPNAME n{};
        n.dwSize = kDpNameSize32;
        n.lpszShortNameA = name;
        DPID id = 0;
        return dp->CreatePlayer(&id, &n, MakeAutoResetEvent(), nullptr, 0, 0) == DP_OK;
    }
};

void OpenAndJoin(benchmark::State& state) {
    const int connection = int(state.range(0));
    const char* passphrase = state.range(1) ? "bench passphrase" : nullptr;
    HooksScope hooks(BenchHooks(0));
    ScriptedPrompts prompts;
    std::vector<double> createMs, joinMs;
    for (auto _ : state) {
        prompts.AnswerTexts({""});
        LayerSide host, guest;
        if (!host.Init(connection) || !guest.Init(connection)) {
            state.SkipWithError("no connection");
            return;
        }
        DPSESSIONDESC2 sd{};
        sd.dwSize = kDpSessionDescSize32;
        sd.dwFlags = DPSESSION_MIGRATEHOST | DPSESSION_NOMESSAGEID;
        sd.guidApplication = kKorvoApplicationGuid;
        sd.dwMaxPlayers = 2;
        sd.lpszSessionNameA = "Host";
        sd.lpszPasswordA = passphrase;
        auto t0 = Clock::now();
        if (host.dp->Open(&sd, DPOPEN_CREATE) != DP_OK || !host.Player("Host")) {
            state.SkipWithError("could not host");
            return;
        }
        createMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        // Searching is the user's waiting, not the join's: it is not timed.
        GUID instance = GUID_NULL;
        for (int i = 0; i < 500 && instance == GUID_NULL; ++i) {
            DPSESSIONDESC2 find{};
            find.dwSize = kDpSessionDescSize32;
            find.guidApplication = kKorvoApplicationGuid;
            guest.dp->EnumSessions(
                &find, 0,
                [](const DPSESSIONDESC2* d, DWORD*, DWORD flags, void* context) -> BOOL {
                    if (d && !(flags & DPESC_TIMEDOUT))
                        *static_cast<GUID*>(context) = d->guidInstance;
                    return 0;
                },
                &instance, DPENUMSESSIONS_ASYNC);
            if (instance == GUID_NULL) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        DPSESSIONDESC2 join{};
        join.dwSize = kDpSessionDescSize32;
        join.guidInstance = instance;
        join.lpszPasswordA = passphrase;
        auto t1 = Clock::now();
        if (guest.dp->Open(&join, DPOPEN_JOIN) != DP_OK || !guest.Player("Guest")) {
            state.SkipWithError("could not join");
            return;
        }
        const double s = std::chrono::duration<double>(Clock::now() - t1).count();
        joinMs.push_back(s * 1e3);
        state.SetIterationTime(s);
    }
    state.counters["create_median_ms"] = Percentile(createMs, 0.5);
    state.counters["join_median_ms"] = Percentile(joinMs, 0.5);
    state.counters["join_max_ms"] = Percentile(joinMs, 1.0);
}
BENCHMARK(OpenAndJoin)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
