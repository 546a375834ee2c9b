// TMan2Man without a connection: properties, registrations, send buffers, message checks and the composed chat lines.
#include <gtest/gtest.h>

#include <QTest>
#include <array>

#include "net/TMan2Man.h"
#include "net/TMan2ManMessages.h"
#include "net/TMan2ManTimer.h"
#include "tests/net/test_TMan2ManDriver.h"
#include "tests/support/ScriptedPrompts.h"

using namespace m2mtest;
using namespace man2man;

namespace {

TEST(Man2ManProperties, SettersClampAndTheMasterNameKeepsTenBytesAsPassed) {
    TMan2Man m;
    EXPECT_EQ(m.MaxEnumPlayers(), 10);
    EXPECT_EQ(m.MaxNameLength(), 0);
    EXPECT_EQ(m.LiveCheckInterval(), 3000);
    EXPECT_EQ(m.MasterName(), "Master");
    EXPECT_EQ(m.LastServiceIndex(), -1);
    EXPECT_EQ(m.LastEnteredName(), "");

    m.SetMaxEnumPlayers(0);
    EXPECT_EQ(m.MaxEnumPlayers(), 1);
    m.SetMaxEnumPlayers(-5);
    EXPECT_EQ(m.MaxEnumPlayers(), 1);
    m.SetMaxEnumPlayers(250);
    EXPECT_EQ(m.MaxEnumPlayers(), 100);
    m.SetMaxNameLength(-1);
    EXPECT_EQ(m.MaxNameLength(), 0);
    m.SetMaxNameLength(500);
    EXPECT_EQ(m.MaxNameLength(), 200);
    m.SetLiveCheckInterval(0);
    EXPECT_EQ(m.LiveCheckInterval(), 0);
    m.SetLiveCheckInterval(100);
    EXPECT_EQ(m.LiveCheckInterval(), 500);
    m.SetLiveCheckInterval(20000);
    EXPECT_EQ(m.LiveCheckInterval(), 10000);

    m.SetMasterName("   ");
    EXPECT_EQ(m.MasterName(), "Master");
    m.SetMasterName("\t\r\n");
    EXPECT_EQ(m.MasterName(), "Master");
    m.SetMasterName("  abcdefghijkl");
    EXPECT_EQ(m.MasterName(), "  abcdefgh");
    EXPECT_EQ(m.GetPlayerName(wiMaster), "  abcdefgh");
    EXPECT_EQ(m.GetPlayerName(WhoIs(3)), "");
    EXPECT_EQ(m.GetPlayerName(WhoIs(255)), "");
}

TEST(Man2ManProperties, AnIdleComponentRefusesEverythingAndDisconnectDoesNothing) {
    ScriptedPrompts prompts;
    TMan2Man m;
    int events = 0;
    m.OnGuestLalabye = [&](TMan2Man*) { ++events; };
    m.OnChatComming = [&](TMan2Man*) { ++events; };
    std::array<uint8_t, 56> record{};
    EXPECT_EQ(m.RegiStruct(record.data(), 56, 1), 0);
    m.Disconnect();
    EXPECT_EQ(events, 0);
    EXPECT_EQ(m.ReadChat(), "");
    EXPECT_FALSE(m.SendRegiData(0, false));
    EXPECT_FALSE(m.SendFreeData(record.data(), 56, false));
    EXPECT_FALSE(m.SendChat("x"));
    EXPECT_FALSE(m.SendRecoveryChecker());
    EXPECT_FALSE(m.RecoverConnection(1000));
    EXPECT_FALSE(m.Initialized());
    EXPECT_EQ(m.AliveTimer(), nullptr);
    EXPECT_TRUE(prompts.shown().empty());
}

TEST(Man2ManRegistrations, SameRegistrationIsHarmlessAndAnotherUnderTheSameIdRaises) {
    TMan2Man m;
    std::array<uint8_t, 64> p{}, q{};
    EXPECT_EQ(m.RegiStruct(p.data(), 56, 1), 0);
    EXPECT_EQ(m.RegiStruct(p.data(), 56, 1), 0);
    EXPECT_EQ(m.RegiCount(), 1);
    EXPECT_EQ(m.PoolCapacity(1), 100u);  // 56 + 8 rounded up to the next hundred
    try {
        m.RegiStruct(q.data(), 56, 1);
        FAIL() << "no exception";
    } catch (const TMan2ManException& e) {
        EXPECT_STREQ(e.what(),
                     "TMMコンポーネントで例外が発生しました。\nRegiStructに同じIDの構造体が登録されています。");
    }
    EXPECT_THROW(m.RegiStruct(p.data(), 64, 1), TMan2ManException);
    EXPECT_EQ(m.RegiCount(), 1);

    // The lists grow in steps of ten: the eleventh registration raises the capacity to 20.
    std::array<std::array<uint8_t, 8>, 12> many{};
    for (unsigned i = 0; i < 9; ++i) EXPECT_EQ(m.RegiStruct(many[i].data(), 8, 10 + i), int(i) + 1);
    EXPECT_EQ(m.RegiCapacity(), 10u);
    EXPECT_EQ(m.RegiStruct(many[9].data(), 8, 100), 10);
    EXPECT_EQ(m.RegiCapacity(), 20u);
    EXPECT_EQ(m.RegiStruct(p.data(), 64, 2), 11);
    EXPECT_EQ(m.PoolCapacity(1), 100u);
    std::array<uint8_t, 300> big{};
    m.RegiStruct(big.data(), 300, 3);
    EXPECT_EQ(m.PoolCapacity(1), 400u);
}

TEST(Man2ManRegistrations, AReceivedRecordWithAnUnregisteredIdRaisesAndCopiesNothing) {
    TMan2Man m;
    std::array<uint8_t, 56> record{};
    m.RegiStruct(record.data(), 56, 1);
    int fired = 0;
    m.OnRegiDataComming = [&](TMan2Man*, RegiDataTag) { ++fired; };
    std::array<uint8_t, 64> message{};
    WriteWord(message.data(), 0, kRegiDataMessage);
    WriteWord(message.data(), 4, 7);
    message[8] = 9;
    try {
        m.RegiDataGet(message.data(), message.size());
        FAIL() << "no exception";
    } catch (const TMan2ManException& e) {
        EXPECT_STREQ(e.what(), "TMMコンポーネントで例外が発生しました。\n未登録データが届きました。Data ID = 7");
    }
    // A registered id with a length that is not the registered one is dropped quietly.
    WriteWord(message.data(), 4, 1);
    m.RegiDataGet(message.data(), 63);
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(record[0], 0);
    m.RegiDataGet(message.data(), 64);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(record[0], 9);
}

TEST(Man2ManDataPool, SlotsGrowToTheNextHundredAndKeepWhatIsBigEnough) {
    TMan2Man m;
    EXPECT_TRUE(m.ResizeDataPool(0, 0));
    EXPECT_EQ(m.PoolCapacity(0), 0u);
    EXPECT_TRUE(m.ResizeDataPool(0, 99));
    EXPECT_EQ(m.PoolCapacity(0), 100u);
    EXPECT_TRUE(m.ResizeDataPool(0, 100));
    EXPECT_EQ(m.PoolCapacity(0), 100u);
    EXPECT_TRUE(m.ResizeDataPool(0, 101));
    EXPECT_EQ(m.PoolCapacity(0), 200u);
    EXPECT_TRUE(m.ResizeDataPool(0, 50));
    EXPECT_EQ(m.PoolCapacity(0), 200u);
    EXPECT_TRUE(m.ResizeDataPool(3, 100));
    EXPECT_EQ(m.PoolCapacity(3), 200u);
    EXPECT_FALSE(m.ResizeDataPool(4, 10));
    EXPECT_FALSE(m.ResizeDataPool(-1, 10));
    m.UnInitDataPool();
    EXPECT_EQ(m.PoolCapacity(0), 0u);
}

TEST(Man2ManMessages, EveryKindMustHaveItsOwnLayout) {
    auto message = [](std::initializer_list<uint32_t> words, size_t extra = 0) {
        std::vector<uint8_t> m(words.size() * 4 + extra);
        size_t i = 0;
        for (uint32_t w : words) WriteWord(m.data(), 4 * i++, w);
        return m;
    };
    auto ok = [](const std::vector<uint8_t>& m) { return WellFormedPlayerMessage(m.data(), m.size()); };
    EXPECT_FALSE(WellFormedPlayerMessage(nullptr, 12));
    EXPECT_FALSE(ok(std::vector<uint8_t>(7)));
    EXPECT_TRUE(ok(message({103, 0, 0})));
    EXPECT_FALSE(ok(message({103, 0})));
    EXPECT_FALSE(ok(message({104, 0, 0, 0})));
    EXPECT_TRUE(ok(message({7777, 5})));
    EXPECT_FALSE(ok(message({7777, 5, 0})));
    EXPECT_TRUE(ok(message({9999, 0})));
    EXPECT_TRUE(ok(message({101, 3}, 3)));
    EXPECT_FALSE(ok(message({101, 4}, 3)));
    EXPECT_FALSE(ok(message({101, 0xFFFFFFFF})));
    auto chat = message({102, 12}, 4);
    chat[8] = 'a';
    chat[9] = 'b';
    chat[10] = 'c';
    EXPECT_TRUE(ok(chat));
    chat[11] = 'd';  // no terminating zero
    EXPECT_FALSE(ok(chat));
    chat[11] = 0;
    WriteWord(chat.data(), 4, 13);
    EXPECT_FALSE(ok(chat));
    EXPECT_FALSE(ok(message({102, 8})));
    EXPECT_TRUE(ok(message({3333, 0, 103, 0, 0})));
    EXPECT_FALSE(ok(message({3333, 0, 103, 0})));
    EXPECT_FALSE(ok(message({3333, 0})));
    EXPECT_FALSE(ok(message({3333, 0, 3333, 0, 103, 0, 0})));
    EXPECT_TRUE(ok(message({100, 1}, 56)));
    EXPECT_TRUE(ok(message({555, 0})));  // an unknown kind counts only as a sign of life
}

TEST(Man2ManChat, LinesAreComposedInShiftJisByTheTable) {
    TMan2Man m;
    int fired = 0;
    m.OnChatComming = [&](TMan2Man*) { ++fired; };
    m.MakeChatBox(ceArrived, wiMe, "");
    EXPECT_EQ(Utf8(m.ReadChat()), "Master >> ようこそ、さん。");
    EXPECT_EQ(m.ReadChat(), "Master" + Sjis(" >> ようこそ、") + Sjis("さん。"));
    m.MakeChatBox(ceArrived, wiPartner, "");
    EXPECT_EQ(Utf8(m.ReadChat()), "Master >> さんが来ました。");
    m.MakeChatBox(ceLeft, wiMe, "");
    EXPECT_EQ(Utf8(m.ReadChat()), "Master >> また来てね。");
    m.MakeChatBox(ceLeft, wiPartner, "");
    EXPECT_EQ(Utf8(m.ReadChat()), "Master >> さんが帰りました。");
    m.MakeChatBox(ceChat, wiMaster, Sjis("お知らせ"));
    EXPECT_EQ(Utf8(m.ReadChat()), "Master > お知らせ");
    EXPECT_EQ(fired, 5);

    // An empty chat text fires nothing and changes nothing.
    m.MakeChatBox(ceChat, wiMe, "");
    EXPECT_EQ(fired, 5);
    ChatEvent e;
    WhoIs w;
    std::string t;
    m.ReadChatEx(e, w, t);
    EXPECT_EQ(e, ceChat);
    EXPECT_EQ(w, wiMaster);
    EXPECT_EQ(t, Sjis("お知らせ"));

    // A combination outside the table stores the event and keeps the line.
    m.MakeChatBox(ceArrived, wiMaster, "text");
    EXPECT_EQ(fired, 6);
    EXPECT_EQ(Utf8(m.ReadChat()), "Master > お知らせ");
    m.ReadChatEx(e, w, t);
    EXPECT_EQ(e, ceArrived);
    EXPECT_EQ(w, wiMaster);
    EXPECT_EQ(t, "text");
}

TEST(Man2ManTimer, AZeroIntervalNeverFiresAndChangingTheIntervalRestartsTheCount) {
    int ticks = 0;
    TTimer timer([&] { ++ticks; });
    timer.SetInterval(0);
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_FALSE(timer.Running());
    QTest::qWait(30);
    EXPECT_EQ(ticks, 0);
    timer.SetInterval(10);
    EXPECT_TRUE(timer.Running());
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 5000));
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.Running());
}

}  // namespace
