// Two main windows keeping one drawing over loopback: the host's drawing sent on join, copies
// without the protocol, the digest check, and random concurrent edits that must end equal.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QToolButton>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "render/JapaneseFonts.h"
#include "tests/net/test_TMan2ManDriver.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/window/RandomEdits.h"
#include "window/TForm1.h"

using namespace m2mtest;

namespace {

using Phase = DrawingSync::Phase;
// Every alive element with its identity, style and values, sorted: slots may differ between
// the copies, nothing else may.
using Record = std::tuple<char, uint64_t, int, int, int, int, double, double, double, double,
                          double, std::string>;

std::vector<Record> Records(const TForm1& f) {
    std::vector<Record> rows;
    const DrawingStore& s = f.store;
    for (int i = 0; i <= s.lineTop; ++i)
        if (const LineElement& l = s.line(i); l.alive)
            rows.emplace_back('L', s.lineId(i), l.colour, l.penWidth, 0, 0, l.x1, l.y1, l.x2, l.y2,
                              0.0, "");
    for (int i = 0; i <= s.circleTop; ++i)
        if (const CircleElement& c = s.circle(i); c.alive)
            rows.emplace_back('C', s.circleId(i), c.colour, c.penWidth, c.fillStyle, c.fillColour,
                              c.cx, c.cy, c.radius, c.startAngle, c.endAngle, "");
    for (int i = 0; i < s.textCount; ++i)
        if (const TextElement& t = s.text(i); t.alive)
            rows.emplace_back('T', 0, t.colour, 0, 0, 0, t.x, t.y, t.height, t.angle, 0.0, t.text);
    std::sort(rows.begin(), rows.end());
    return rows;
}

class TForm1ConvergeTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallJapaneseFontSubstitutes();
        for (auto* f : {&host, &guest}) {
            *f = std::make_unique<TForm1>();
            (*f)->man2man.SetLiveCheckInterval(500);
            (*f)->show();
        }
    }
    void TearDown() override {
        guest.reset();
        host.reset();
    }
    bool Host(int connection = kTcp) {
        DialogDriver d;
        d.ChooseConnection(connection).CreateSession("Host");
        host->Button("SpeedButton34")->click();
        return d.Finished() && host->Edit6->isEnabled();
    }
    bool Join(int connection = kTcp) {
        DialogDriver d;
        prompts.AnswerTexts({""});
        d.ChooseConnection(connection).JoinSession("Guest", "Host");
        guest->Button("SpeedButton34")->click();
        return d.Finished() && guest->Edit6->isEnabled();
    }
    bool InSync() {
        return WaitUntil([&] {
            return guest->sync.phase() == Phase::InSync && host->sync.phase() == Phase::InSync &&
                   !host->sync.Transferring();
        });
    }
    std::string Phases() const {
        return std::to_string(int(host->sync.phase())) + "/" +
               std::to_string(int(guest->sync.phase())) + " transferring " +
               std::to_string(host->sync.Transferring());
    }
    bool Equal() {
        return WaitUntil([&] { return Records(*host) == Records(*guest); });
    }
    std::vector<std::string> Questions() const {
        std::vector<std::string> q;
        for (const auto& s : prompts.shown())
            if (s.buttons == PromptButtons::YesNo) q.push_back(s.text);
        return q;
    }

    HooksScope hooks{LoopbackHooks()};
    ScriptedPrompts prompts;
    std::unique_ptr<TForm1> host, guest;
};

const std::string kJoinQuestion =
    "ホストの図面を受け取ります。今の図面は置き換えられます。よろしいですか？";

TEST_F(TForm1ConvergeTest, TheHostsDrawingTravelsOnJoinWithItsStylesAndTextsOnceTheGuestAgrees) {
    DrawingStore& h = host->store;
    for (int i = 0; i < 3000; ++i) h.AddLine(i, 0, i + 0.5, 40, 0);  // several chunks
    // Styles as a dac file may give them.
    h.line(7).colour = 200;
    h.line(7).penWidth = 9;
    h.AddCircle(10, 10, 5, 0, 0, 0);
    h.StyleCircle(0, 12, 3, 0, 5);
    h.AddCircle(-10, 10, 5, 30, 200, 0);
    // A text's bytes travel as they are stored, whatever their encoding.
    h.AppendText(1, 2, "\x93\xfa\x96\x7b", 3, 15);
    h.AppendText(4, 5, "日本", 3, 0);
    h.text(1).colour = 4;
    guest->store.AddLine(-50, -50, -40, -40, 1);  // the guest's own drawing goes

    std::vector<int64_t> steps;
    auto shown = guest->sync.progress;
    guest->sync.progress = [&](int64_t done, int64_t total) {
        steps.push_back(done);
        EXPECT_EQ(total, 3004);
        shown(done, total);
    };
    prompts.AnswerMessages({PromptAnswer::Yes});
    ASSERT_TRUE(Host());
    ASSERT_TRUE(Join());
    ASSERT_TRUE(InSync());
    EXPECT_EQ(Questions(), std::vector<std::string>{kJoinQuestion});
    EXPECT_EQ(Records(*guest), Records(*host));
    EXPECT_EQ(Records(*guest).size(), 3004u);
    EXPECT_GE(steps.size(), 3u);  // progress as the chunks come in
    EXPECT_EQ(steps.back(), 3004);
    EXPECT_EQ(guest->StatusPanelText(0), "ホストの図面を受け取りました");
    EXPECT_EQ(DrawingSync::Digest(guest->store), DrawingSync::Digest(host->store));

    // Changes from both sides now travel by identity; undo on the guest reaches only what
    // happened since it took the drawing: here the host's delete, which comes back.
    guest->store.AddLine(0, 100, 10, 100, 1);
    host->store.DeleteLine(5, 1);
    ASSERT_TRUE(WaitUntil([&] { return Records(*guest).size() == 3004u; }));
    ASSERT_TRUE(Equal());
    guest->Undo1Click();
    ASSERT_TRUE(WaitUntil([&] { return Records(*host).size() == 3005u; }));
    EXPECT_TRUE(Equal());
}

TEST_F(TForm1ConvergeTest, AGuestThatDeclinesLeavesTheSessionWithItsDrawing) {
    guest->store.AddLine(-50, -50, -40, -40, 1);
    prompts.AnswerMessages({PromptAnswer::No});
    ASSERT_TRUE(Host());
    ASSERT_TRUE(Join());
    ASSERT_TRUE(WaitUntil([&] { return !guest->Edit6->isEnabled(); }));
    EXPECT_EQ(Questions(), std::vector<std::string>{kJoinQuestion});
    EXPECT_EQ(Records(*guest).size(), 1u);
    EXPECT_EQ(guest->Button("SpeedButton34")->text(), "接続");
    ASSERT_TRUE(WaitUntil([&] { return host->windowTitle() == "Korvo"; }));
}

// A copy that speaks only the designed records, on either side: nothing is asked, and lines
// and circles travel as they always did.
TEST_F(TForm1ConvergeTest, ACopyWithoutTheProtocolStillDrawsTogetherByTheDesignedRecords) {
    for (bool hostOffers : {false, true}) {
        SCOPED_TRACE(hostOffers);
        host->sync.offer = hostOffers;
        guest->sync.offer = !hostOffers;
        guest->store.AddLine(-50, -50, -40, -40, 1);
        ASSERT_TRUE(Host());
        ASSERT_TRUE(Join());
        ASSERT_TRUE(WaitUntil([&] { return host->windowTitle() == "HOST"; }));
        Pump(100);
        EXPECT_FALSE(host->sync.Shares());
        EXPECT_FALSE(guest->sync.Shares());
        host->store.AddLine(0, 0, 10, 10, 1);
        guest->store.AddCircle(5, 5, 3, 0, 0, 1);
        ASSERT_TRUE(
            WaitUntil([&] { return host->store.circle(0).alive && guest->store.line(1).alive; }));
        EXPECT_TRUE(Questions().empty());
        guest->Button("SpeedButton34")->click();
        host->Button("SpeedButton34")->click();
        host->store.ClearStore();
        guest->store.ClearStore();
    }
}

TEST_F(TForm1ConvergeTest, DrawingsThatDifferAreNoticedAndTheGuestCanTakeTheHostsDrawing) {
    host->store.AddLine(0, 0, 10, 10, 0);
    ASSERT_TRUE(Host());
    ASSERT_TRUE(Join());
    ASSERT_TRUE(InSync());
    // A change that did not travel.
    host->store.AddLine(20, 0, 30, 10, 0);
    prompts.AnswerMessages({PromptAnswer::Yes});
    host->sync.SendDigest();
    guest->sync.SendDigest();
    ASSERT_TRUE(WaitUntil([&] { return !Questions().empty(); }));
    EXPECT_EQ(Questions()[0], "図面が相手と一致していません\nホストの図面を受け取りますか？");
    EXPECT_TRUE(guest->Memo1->toPlainText().contains("図面が相手と一致していません"));
    ASSERT_TRUE(WaitUntil(
        [&] { return host->Memo1->toPlainText().contains("図面が相手と一致していません"); }));
    ASSERT_TRUE(InSync());
    EXPECT_TRUE(Equal());
    EXPECT_EQ(Records(*guest).size(), 2u);
    // Equal drawings raise nothing.
    prompts.clear();
    host->sync.SendDigest();
    guest->sync.SendDigest();
    Pump(200);
    EXPECT_TRUE(Questions().empty());
}

TEST_F(TForm1ConvergeTest, AChangeLostOnTheUnguaranteedConnectionIsNoticedByTheDigests) {
    ASSERT_TRUE(Host(kUdp));
    ASSERT_TRUE(Join(kUdp));
    ASSERT_TRUE(InSync()) << Phases();
    SessionTestHooks h = GetSessionTestHooks();
    h.dropPercent = 100;
    h.side = HookSide::HostOnly;
    SetSessionTestHooks(h);
    host->store.AddLine(0, 0, 10, 10, 1);
    h.dropPercent = 0;
    SetSessionTestHooks(h);
    for (int i = 0; i < 2 && Questions().empty(); ++i) {
        host->sync.SendDigest();
        Pump(200);
    }
    ASSERT_TRUE(WaitUntil([&] { return !Questions().empty(); }));
    EXPECT_TRUE(guest->Memo1->toPlainText().contains("図面が相手と一致していません"));
}

// Random sequences of edits on both windows, each side acting before the other's changes have
// arrived as often as not, with random pauses; at quiescence the drawings are equal, identity
// for identity. Seeds of sequences that once failed stay as fixed cases.
TEST_F(TForm1ConvergeTest, RandomConcurrentEditsOnBothWindowsEndInEqualDrawings) {
    ASSERT_TRUE(Host());
    ASSERT_TRUE(Join());
    ASSERT_TRUE(InSync());
    // Fixed seeds first (a seed that ever fails joins them), then fresh ones, reported when
    // they fail.
    std::vector<uint32_t> seeds = {1, 7, 42};
    std::random_device entropy;
    const uint32_t first = entropy();
    for (uint32_t k = 0; k < 150; ++k) seeds.push_back(first + k);
    int converged = 0;
    for (uint32_t seed : seeds) {
        // Each sequence starts from an empty drawing on both sides, made so by the guest taking
        // the host's drawing again.
        host->store.ClearStore();
        host->journal.JournalCreate();
        guest->TakeHostDrawing();
        ASSERT_TRUE(InSync()) << "seed " << seed;
        std::mt19937 rng(seed);
        for (int step = 0; step < 40; ++step) {
            randomedits::RandomEdit(std::uniform_int_distribution<int>(0, 1)(rng) ? *host : *guest,
                                    rng);
            const int pause = std::uniform_int_distribution<int>(0, 5)(rng);
            if (pause == 1) QCoreApplication::processEvents();
            if (pause == 2) Pump(std::uniform_int_distribution<int>(1, 4)(rng));
        }
        const bool equal = Equal();
        EXPECT_TRUE(equal) << "seed " << seed;
        converged += equal;
        if (!equal) break;
    }
    std::printf("random concurrent sequences: %zu run, %d converged\n", seeds.size(), converged);
}

TEST_F(TForm1ConvergeTest, AWindowInAnotherProcessEditingAtTheSameTimeEndsWithTheSameDrawing) {
    SessionTestHooks h = GetSessionTestHooks();
    h.providerTimeoutMs = kTwoProcessProviderTimeout;
    SetSessionTestHooks(h);
    ASSERT_TRUE(Host());
    QProcess peer;
    peer.setProcessChannelMode(QProcess::ForwardedChannels);
    peer.start(QStringLiteral(KORVO_SHARE_PEER), {QString::number(DPlayLastHostPort()),
                                                  QStringLiteral("Host"), QStringLiteral("Peer")});
    ASSERT_TRUE(peer.waitForStarted(10000));
    ASSERT_TRUE(WaitUntil(
        [&] { return host->sync.phase() == Phase::InSync && !host->sync.Transferring(); }));
    auto say = [&](const std::string& text) {
        host->Edit6->setText(QString::fromStdString(text));
        QTest::keyClick(host->Edit6, Qt::Key_Return);
    };
    say("mix 9001 60");  // the peer edits while this window does
    std::mt19937 rng(4242);
    for (int step = 0; step < 60; ++step) {
        randomedits::RandomEdit(*host, rng);
        if (step % 3 == 0) Pump(1);
    }
    // Once the peer is done and everything has arrived, its digest is this window's. The
    // answer comes after the peer's changes, so this window has them all when it compares.
    bool same = false;
    for (int tries = 0; tries < 60 && !same; ++tries) {
        say("digest");
        same = WaitUntil(
            [&] {
                return host->Memo1->toPlainText().endsWith(
                    QStringLiteral("Peer > digest=%1").arg(DrawingSync::Digest(host->store)));
            },
            500);
    }
    EXPECT_TRUE(same);
    say("bye");
    ASSERT_TRUE(WaitUntil([&] { return peer.state() == QProcess::NotRunning; }));
    EXPECT_EQ(peer.exitCode(), 0);
}

// Blocks of ours that are cut short, of unknown kinds or with values beyond the file rules
// change nothing and break nothing.
TEST(DrawingSyncBlocks, BadBlocksChangeNothing) {
    DrawingStore store;
    DrawingSync sync(store);
    std::vector<std::vector<uint8_t>> sent;
    sync.send = [&](const std::vector<uint8_t>& b, bool) {
        sent.push_back(b);
        return true;
    };
    sync.Start(true);
    sync.Take(syncwire::Writer(syncwire::kRequest).bytes().data(), 5);
    ASSERT_EQ(sync.phase(), Phase::InSync);
    auto ops = [](auto put) {
        syncwire::Writer w(syncwire::kOps);
        w.U32(1);
        put(w);
        return w.bytes();
    };
    LineElement far;
    far.x2 = 1e300;
    LineElement styled;
    styled.x2 = 1;
    styled.penWidth = 65;
    CircleElement nan;
    nan.radius = std::nan("");
    const std::vector<std::vector<uint8_t>> bad = {
        {},
        {0x4B, 0x56, 0x44},
        {0x4B, 0x56, 0x44, 0x53, 99},
        ops([&](auto& w) { syncwire::PutLine(w, syncwire::kLineAdd, 5, far); }),
        ops([&](auto& w) { syncwire::PutLine(w, syncwire::kLineAdd, 5, styled); }),
        ops([&](auto& w) {
            syncwire::PutLine(w, syncwire::kLineAdd, 0, LineElement{0, 7, 0, 1, 0, 0, 0, 1, 1});
        }),
        ops([&](auto& w) { syncwire::PutCircle(w, syncwire::kCircleAdd, 6, nan); }),
        ops([&](auto& w) { w.U8('Z'); }),
    };
    for (const auto& b : bad) {
        std::vector<uint8_t> block = b;
        sync.Take(block.data(), block.size());
        for (size_t cut = 0; cut < block.size(); ++cut) sync.Take(block.data(), cut);
    }
    EXPECT_EQ(DrawingSync::Digest(store), 0u);
    EXPECT_EQ(sync.refused(), 4);
}

}  // namespace
