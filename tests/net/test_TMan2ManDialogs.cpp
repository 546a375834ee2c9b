// The component's three dialogs: layout, texts, the search list, the name checks, every Open result, the recovery ticks.
#include <gtest/gtest.h>

#include <QKeyEvent>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>

#include "net/TCoDlg.h"
#include "net/TMan2Man.h"
#include "net/TReDlg.h"
#include "net/TSeDlg.h"
#include "tests/net/test_TMan2ManDriver.h"
#include "tests/support/ScriptedPrompts.h"

using namespace m2mtest;

namespace {

// A layer object that answers the session dialog from a script.
class ScriptedDirectPlay final : public IDirectPlay3A {
public:
    struct Session {
        GUID instance;
        std::string name;
    };
    std::vector<Session> sessions;
    std::deque<HRESULT> openResults;
    std::vector<DPSESSIONDESC2> opened;
    std::vector<std::string> openedNames;
    DWORD timeout = 200;
    int stopAsyncCalls = 0;
    HRESULT enumResult = DP_OK;  // what a search gives after listing the sessions

    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 0; }
    HRESULT EnumConnections(const GUID*, LPDPENUMCONNECTIONSCALLBACK, void*, DWORD) override { return DP_OK; }
    HRESULT InitializeConnection(void*, DWORD) override { return DP_OK; }
    HRESULT EnumSessions(DPSESSIONDESC2* sd, DWORD, LPDPENUMSESSIONSCALLBACK2 callback, void* context,
                         DWORD flags) override {
        if (flags & DPENUMSESSIONS_STOPASYNC) {
            ++stopAsyncCalls;
            return DP_OK;
        }
        EXPECT_EQ(sd->dwSize, 80u);
        EXPECT_EQ(sd->guidApplication, kKorvoApplicationGuid);
        DWORD t = 0;
        for (const auto& s : sessions) {
            DPSESSIONDESC2 d{};
            d.dwSize = 80;
            d.guidInstance = s.instance;
            d.lpszSessionNameA = s.name.c_str();
            if (!callback(&d, &t, 0, context)) return DP_OK;
        }
        callback(nullptr, &t, DPESC_TIMEDOUT, context);
        return enumResult;
    }
    HRESULT Open(DPSESSIONDESC2* sd, DWORD) override {
        opened.push_back(*sd);
        openedNames.push_back(sd->lpszSessionNameA ? sd->lpszSessionNameA : "");
        if (openResults.empty()) return DP_OK;
        HRESULT r = openResults.front();
        openResults.pop_front();
        return r;
    }
    HRESULT Close() override { return DP_OK; }
    HRESULT CreatePlayer(DPID*, DPNAME*, EventHandle, void*, DWORD, DWORD) override { return E_FAIL; }
    HRESULT DestroyPlayer(DPID) override { return E_FAIL; }
    HRESULT EnumPlayers(GUID*, LPDPENUMPLAYERSCALLBACK2, void*, DWORD) override { return E_FAIL; }
    HRESULT GetPlayerName(DPID, void*, DWORD*) override { return E_FAIL; }
    HRESULT GetPlayerCaps(DPID, DPCAPS*, DWORD) override { return E_FAIL; }
    HRESULT GetCaps(DPCAPS* caps, DWORD) override {
        caps->dwTimeout = timeout;
        return DP_OK;
    }
    HRESULT GetSessionDesc(void*, DWORD*) override { return E_FAIL; }
    HRESULT SetSessionDesc(DPSESSIONDESC2*, DWORD) override { return E_FAIL; }
    HRESULT Send(DPID, DPID, DWORD, void*, DWORD) override { return E_FAIL; }
    HRESULT Receive(DPID*, DPID*, DWORD, void*, DWORD*) override { return DPERR_NOMESSAGES; }
    HRESULT GetMessageCount(DPID, DWORD*) override { return E_FAIL; }
};

constexpr GUID kAlice{1, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
constexpr GUID kBob{2, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

void ExpectBounds(QWidget* w, int left, int top, int width, int height) {
    EXPECT_EQ(w->geometry(), QRect(left, top, width, height)) << w->objectName().toStdString();
}

// Runs `act` once the dialog is shown, then returns the dialog's result.
template <typename Dialog>
int RunModal(Dialog& dialog, std::function<void()> act) {
    QTimer::singleShot(0, &dialog, [&dialog, act] {
        if (dialog.isVisible()) act();
    });
    return dialog.exec();
}

QStringList ListLines(const TSeDlg& d) {
    QStringList lines;
    for (int i = 0; i < d.ListBox1->count(); ++i) lines << d.ListBox1->item(i)->text();
    return lines;
}

void ClickLine(TSeDlg& d, int row) {
    QTest::mouseClick(d.ListBox1->viewport(), Qt::LeftButton, {},
                      d.ListBox1->visualItemRect(d.ListBox1->item(row)).center());
}

// ---------------------------------------------------------------------------------------
// TCoDlg, with the real layer

class ConnectionDialog : public ::testing::Test {
protected:
    HooksScope hooks{LoopbackHooks()};
    ScriptedPrompts prompts;
};

TEST_F(ConnectionDialog, ListsTheUsableConnectionsAndEnablesOkOnlyForASelection) {
    IDirectPlay3A* dp = nullptr;
    ASSERT_EQ(DirectPlayCreateInstance(CLSID_DirectPlay, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectPlay3A, &dp), DP_OK);
    {
        TCoDlg d(nullptr, dp, kKorvoApplicationGuid, -1);
        EXPECT_EQ(CoDlg, &d);
        EXPECT_EQ(d.windowTitle(), U("通信設定"));
        EXPECT_EQ(d.size(), QSize(307, 111));
        EXPECT_EQ(d.font().family(), U("ＭＳ Ｐゴシック"));
        EXPECT_EQ(d.font().pixelSize(), 12);
        ExpectBounds(d.Label1, 32, 12, 105, 12);
        ExpectBounds(d.ComboBox1, 32, 32, 257, 20);
        ExpectBounds(d.OKBtn, 55, 68, 75, 25);
        ExpectBounds(d.CancelBtn, 175, 68, 75, 25);
        EXPECT_EQ(d.Label1->text(), U("接続サービスの選択"));
        EXPECT_EQ(d.CancelBtn->text(), U("キャンセル"));
        EXPECT_TRUE(d.OKBtn->isDefault());
        const int result = RunModal(d, [&] {
            EXPECT_EQ(d.ComboBox1->count(), 2);
            EXPECT_EQ(d.ComboBox1->itemText(0), U("UDP/IP 接続（配送の保証なし）"));
            EXPECT_EQ(d.ComboBox1->itemText(1), U("TCP/IP 接続（配送を保証）"));
            // Without an earlier choice the connection that guarantees delivery is offered:
            // over the other, a lost record leaves two shared drawings different.
            EXPECT_EQ(d.ComboBox1->currentIndex(), 1);
            EXPECT_TRUE(d.OKBtn->isEnabled());
            d.ComboBox1->setCurrentIndex(1);
            EXPECT_TRUE(d.OKBtn->isEnabled());
            QTest::mouseClick(d.OKBtn, Qt::LeftButton);
        });
        EXPECT_EQ(result, QDialog::Accepted);
    }
    EXPECT_EQ(CoDlg, nullptr);
    {
        // The layer object is bound now: a second binding fails and the dialog says Cancel.
        TCoDlg d(nullptr, dp, kKorvoApplicationGuid, 0);
        const int result = RunModal(d, [&] {
            EXPECT_EQ(d.ComboBox1->currentIndex(), 0);
            EXPECT_TRUE(d.OKBtn->isEnabled());
            QTest::mouseClick(d.OKBtn, Qt::LeftButton);
        });
        EXPECT_EQ(result, QDialog::Rejected);
    }
    dp->Release();
}

TEST_F(ConnectionDialog, AConnectionThatCannotBeUsedIsNotOffered) {
    SessionTestHooks h = LoopbackHooks();
    h.unusableConnections = 1;  // the datagram connection
    SetSessionTestHooks(h);
    IDirectPlay3A* dp = nullptr;
    ASSERT_EQ(DirectPlayCreateInstance(CLSID_DirectPlay, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectPlay3A, &dp), DP_OK);
    TCoDlg d(nullptr, dp, kKorvoApplicationGuid, 1);  // beyond the one entry: nothing selected
    const int result = RunModal(d, [&] {
        ASSERT_EQ(d.ComboBox1->count(), 1);
        EXPECT_EQ(d.ComboBox1->itemText(0), U("TCP/IP 接続（配送を保証）"));
        EXPECT_FALSE(d.OKBtn->isEnabled());
        QTest::mouseClick(d.CancelBtn, Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    dp->Release();
}

TEST_F(ConnectionDialog, AMissingLayerIsReportedOnlyForAnOldInterface) {
    SessionTestHooks h = LoopbackHooks();
    h.createResult = E_NOINTERFACE;
    SetSessionTestHooks(h);
    TMan2Man m;
    EXPECT_FALSE(m.LetsConnect(kKorvoApplicationGuid));
    ASSERT_EQ(prompts.shown().size(), 1u);
    EXPECT_EQ(prompts.shown()[0].text, "通信機能を使うにはDirectX5以上が必要です。");
    EXPECT_EQ(prompts.shown()[0].caption, "エラー： DirectPlayが使えません");
    EXPECT_EQ(prompts.shown()[0].icon, PromptIcon::Error);
    h.createResult = E_OUTOFMEMORY;
    SetSessionTestHooks(h);
    EXPECT_FALSE(m.LetsConnect(kKorvoApplicationGuid));
    EXPECT_EQ(prompts.shown().size(), 1u);
    EXPECT_FALSE(m.Initialized());
}

// ---------------------------------------------------------------------------------------
// TSeDlg, with a scripted layer

class SessionDialog : public ::testing::Test {
protected:
    ScriptedPrompts prompts;
    ScriptedDirectPlay dp;
};

TEST_F(SessionDialog, IsLaidOutAsDesigned) {
    TSeDlg d(nullptr, 0, 10, kKorvoApplicationGuid, &dp);
    EXPECT_EQ(SeDlg, &d);
    EXPECT_EQ(d.windowTitle(), U("セッション"));
    // Two rows taller than the design for the passphrase, which sits below the name, and
    // the warning about a short one.
    EXPECT_EQ(d.size(), QSize(333, 205));
    EXPECT_EQ(d.Label2->text(), QString::fromUtf8("合言葉"));
    EXPECT_EQ(d.Label2->geometry(), QRect(20, 156, 50, 15));
    EXPECT_EQ(d.Edit2->geometry(), QRect(72, 154, 145, 20));
    EXPECT_EQ(d.Edit2->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(d.Edit2->text().isEmpty());
    EXPECT_TRUE(d.windowFlags() & Qt::WindowMinimizeButtonHint);
    ExpectBounds(d.ListBox1, 16, 16, 201, 105);
    ExpectBounds(d.Label1, 20, 130, 30, 15);
    ExpectBounds(d.Edit1, 72, 128, 145, 20);
    ExpectBounds(d.BtnNew, 224, 16, 97, 25);
    ExpectBounds(d.BtnEnum, 224, 48, 97, 25);
    ExpectBounds(d.OKBtn, 224, 80, 97, 25);
    ExpectBounds(d.CancelBtn, 232, 126, 81, 25);
    EXPECT_EQ(d.Label1->text(), U("名前"));
    EXPECT_EQ(d.Label1->font().pixelSize(), 15);
    EXPECT_EQ(d.BtnNew->text(), U("新規ｾｯｼｮﾝ作成"));
    EXPECT_EQ(d.BtnNew->toolTip(), U("ホストプレーヤーになって待機します"));
    EXPECT_EQ(d.BtnEnum->text(), U("既存ｾｯｼｮﾝを探す"));
    EXPECT_EQ(d.BtnEnum->toolTip(), U("ホストプレイヤーを探します。"));
    EXPECT_EQ(d.OKBtn->text(), U("ｾｯｼｮﾝに参加"));
    EXPECT_EQ(d.OKBtn->toolTip(), U("選んだプレイヤーとゲーム開始します。"));
    EXPECT_EQ(d.CancelBtn->text(), U("キャンセル"));
    EXPECT_TRUE(d.BtnNew->isDefault());
    EXPECT_FALSE(d.OKBtn->isEnabled());
    EXPECT_FALSE(d.Timer1.Enabled());
    EXPECT_EQ(d.Timer1.Interval(), 2500);
}

TEST_F(SessionDialog, AShortPassphraseIsCalledEasyToGuess) {
    TSeDlg d(nullptr, 0, 10, kKorvoApplicationGuid, &dp);
    for (const auto& [text, warned] : std::vector<std::pair<const char*, bool>>{
             {"1234", true}, {"合言葉は山と川", true}, {"", false}, {"12345678", false}}) {
        d.Edit2->setText(QString::fromUtf8(text));
        EXPECT_EQ(d.Label3->isVisibleTo(&d), warned) << text;
    }
}

// The fault: cancelling the question of where to search brought it back at every tick.
TEST_F(SessionDialog, ACancelledAddressQuestionStopsTheSearchUntilTheButtonIsPressedAgain) {
    dp.enumResult = DPERR_USERCANCEL;
    TSeDlg d(nullptr, 0, 10, kKorvoApplicationGuid, &dp);
    QTest::mouseClick(d.BtnEnum, Qt::LeftButton);
    EXPECT_FALSE(d.Timer1.Enabled());
    EXPECT_TRUE(d.BtnEnum->isEnabled());
}

TEST_F(SessionDialog, CreatingNeedsANameAndDescribesTheSession) {
    TSeDlg d(nullptr, 0, 10, kKorvoApplicationGuid, &dp);
    const int result = RunModal(d, [&] {
        d.Edit1->setText("  ");
        QTest::mouseClick(d.BtnNew, Qt::LeftButton);
        EXPECT_TRUE(d.isVisible());
        ASSERT_EQ(prompts.messageTexts().size(), 1u);
        EXPECT_EQ(prompts.shown()[0].text, "あなたの名前を入れて下さい。");
        EXPECT_EQ(prompts.shown()[0].caption, "");
        EXPECT_TRUE(dp.opened.empty());
        d.Edit1->setText(U(" 山田\t"));
        QTest::mouseClick(d.BtnNew, Qt::LeftButton);
    });
    EXPECT_EQ(result, TSeDlg::kCreated);
    EXPECT_EQ(d.TrimmedName(), Sjis("山田"));
    ASSERT_EQ(dp.opened.size(), 1u);
    EXPECT_EQ(dp.opened[0].dwSize, 80u);
    EXPECT_EQ(dp.opened[0].dwFlags, 12u);
    EXPECT_EQ(dp.opened[0].dwMaxPlayers, 2u);
    EXPECT_EQ(dp.opened[0].guidApplication, kKorvoApplicationGuid);
    EXPECT_EQ(dp.openedNames[0], Sjis("山田"));
}

TEST_F(SessionDialog, EveryOpenResultHasItsMessageAndOutcome) {
    struct Row {
        HRESULT result;
        const char* text;
        const char* caption;
        int outcome;
    };
    const Row rows[] = {
        {DP_OK, nullptr, nullptr, 1},
        {DPERR_USERCANCEL, nullptr, nullptr, 3},
        {DPERR_ALREADYINITIALIZED, "既に開かれたセッションある。", "名前が作れません", 3},
        {DPERR_NOCONNECTION, "通信リンクが確立されていません。", "名前が作れません", 3},
        {DPERR_TIMEOUT, "処理がタイムアウトしました。固まりました。\n選択した相手が帰ってしまったか、\n他と通信を始めてしまった可能性があります。", "名前が作れません", -1},
        {DPERR_CANNOTCREATESERVER, "このサービスプロバイダーは、このサーバに\nこれ以上のホストを作れません", "エラー: 通信を開始できません。", -1},
        {DPERR_CONNECTIONLOST, "セッションとの接続が失われました。\nもしくは選択した相手が帰ってしまったか、\n他と通信を始めてしまった可能性があります。", "エラー: 通信を開始できません。", -1},
        {DPERR_NOSESSIONS, "原因不明のエラーです。\n選択した相手が帰ってしまったか、\n他と通信を始めてしまった可能性があります。", "エラー: 通信を開始できません。", -1},
    };
    for (const Row& row : rows) {
        prompts.clear();
        dp.openResults = {row.result};
        TSeDlg d(nullptr, 0, 10, kKorvoApplicationGuid, &dp);
        d.Edit1->setText("Me");
        EXPECT_EQ(d.OpenSession(true), row.outcome) << row.result;
        if (row.text) {
            ASSERT_EQ(prompts.shown().size(), 1u);
            EXPECT_EQ(prompts.shown()[0].text, row.text);
            EXPECT_EQ(prompts.shown()[0].caption, row.caption);
            EXPECT_EQ(prompts.shown()[0].icon, PromptIcon::Warning);
        } else {
            EXPECT_TRUE(prompts.shown().empty());
        }
    }
    // "Still connecting" is asked again after half a second.
    dp.openResults = {DPERR_CONNECTING, DPERR_CONNECTING, DP_OK};
    dp.opened.clear();
    TSeDlg d(nullptr, 0, 10, kKorvoApplicationGuid, &dp);
    EXPECT_EQ(d.OpenSession(true), 1);
    EXPECT_EQ(dp.opened.size(), 3u);
}

TEST_F(SessionDialog, TheSearchListsSessionsAndOnlyASessionLineCanBeChosen) {
    dp.sessions = {{kAlice, "Alice"}, {kBob, Sjis("ボブ")}};
    TSeDlg d(nullptr, 0, 10, kKorvoApplicationGuid, &dp);
    const int result = RunModal(d, [&] {
        QTest::mouseClick(d.BtnEnum, Qt::LeftButton);
        EXPECT_FALSE(d.BtnEnum->isEnabled());
        EXPECT_TRUE(d.Timer1.Enabled());
        EXPECT_EQ(d.Timer1.Interval(), 200 / 2 + 1000);
        // The first step only shows that the search runs.
        EXPECT_EQ(ListLines(d), QStringList({"", "", "", U("         通信先を探しています")}));
        ClickLine(d, 3);
        EXPECT_EQ(d.ListBox1->currentRow(), -1);
        EXPECT_FALSE(d.OKBtn->isEnabled());

        d.Timer1Timer();
        EXPECT_EQ(ListLines(d), QStringList({U("・ Alice"), U("・ ボブ")}));
        ClickLine(d, 1);
        EXPECT_TRUE(d.OKBtn->isEnabled());
        EXPECT_TRUE(d.OKBtn->isDefault());
        EXPECT_FALSE(d.BtnNew->isDefault());

        // Still there: selected again after the refresh. Gone: OK is disabled.
        d.Timer1Timer();
        EXPECT_EQ(d.ListBox1->currentRow(), 1);
        EXPECT_TRUE(d.OKBtn->isEnabled());
        dp.sessions = {{kAlice, "Alice"}};
        d.Timer1Timer();
        EXPECT_EQ(d.ListBox1->currentRow(), -1);
        EXPECT_FALSE(d.OKBtn->isEnabled());
        dp.sessions.clear();
        d.Timer1Timer();
        EXPECT_EQ(ListLines(d), QStringList({U(" -----  いまは誰もいません  ----- ")}));
        ClickLine(d, 0);
        EXPECT_EQ(d.ListBox1->currentRow(), -1);
        d.close();  // the close box
    });
    EXPECT_EQ(result, TSeDlg::kNothingOpened);
    EXPECT_EQ(dp.stopAsyncCalls, 1);
    EXPECT_TRUE(dp.opened.empty());
}

TEST_F(SessionDialog, MoreSessionsThanTheCapacityEndInTheTruncationLine) {
    dp.sessions = {{kAlice, "Alice"}, {kBob, "Bob"}};
    TSeDlg d(nullptr, 0, 1, kKorvoApplicationGuid, &dp);
    d.BtnEnumClick();
    d.Timer1Timer();
    EXPECT_EQ(ListLines(d), QStringList({U("・ Alice"), U(" ----- これ以上列挙しません ----- ")}));
    EXPECT_EQ(d.SessionCount(), 1);
    d.done(0);
}

TEST_F(SessionDialog, JoiningRefusesTheHostsOwnNameAndOpensTheChosenSession) {
    dp.sessions = {{kAlice, "Alice"}, {kBob, "Bob"}};
    TSeDlg d(nullptr, 0, 10, kKorvoApplicationGuid, &dp);
    const int result = RunModal(d, [&] {
        d.BtnEnumClick();
        d.Timer1Timer();
        ClickLine(d, 1);
        d.Edit1->setText("");
        QTest::mouseClick(d.OKBtn, Qt::LeftButton);
        EXPECT_EQ(prompts.messageTexts().back(), "あなたの名前を入れて下さい。");
        d.Edit1->setText("  Bob ");
        QTest::mouseClick(d.OKBtn, Qt::LeftButton);
        EXPECT_EQ(prompts.messageTexts().back(), "相手と違う名前にしてください。");
        EXPECT_EQ(prompts.shown().back().caption, "");
        EXPECT_EQ(d.Edit1->text(), "");
        EXPECT_TRUE(dp.opened.empty());
        d.Edit1->setText("Carol");
        QTest::mouseClick(d.OKBtn, Qt::LeftButton);
    });
    EXPECT_EQ(result, TSeDlg::kJoined);
    ASSERT_EQ(dp.opened.size(), 1u);
    EXPECT_EQ(dp.opened[0].guidInstance, kBob);
    EXPECT_EQ(d.TrimmedName(), "Carol");
    EXPECT_EQ(dp.stopAsyncCalls, 0);  // a session was opened: the search is not stopped
}

// With no session line selected the join button used to read the list at index -1.
TEST_F(SessionDialog, JoiningWithoutASelectedSessionDoesNothing) {
    dp.sessions = {{kAlice, "Alice"}};
    TSeDlg d(nullptr, 0, 10, kKorvoApplicationGuid, &dp);
    d.BtnEnumClick();
    d.Timer1Timer();
    d.ListBox1->setCurrentRow(0);
    EXPECT_TRUE(d.OKBtn->isEnabled());
    d.ListBox1->setCurrentRow(-1);
    d.Edit1->setText("Carol");
    d.OKBtnClick();
    EXPECT_TRUE(dp.opened.empty());
    EXPECT_TRUE(prompts.shown().empty());
    d.done(0);
}

TEST_F(SessionDialog, TheNameLimitCountsShiftJisBytes) {
    TSeDlg d(nullptr, 4, 10, kKorvoApplicationGuid, &dp);
    d.show();
    // Typed as real key events carrying the text; QTest's own helper handles only ASCII.
    for (QChar ch : U("あいう")) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(d.Edit1, &press);
    }
    EXPECT_EQ(d.Edit1->text(), U("あい"));
    d.done(0);
}

// ---------------------------------------------------------------------------------------
// TReDlg

TEST(RecoveryDialog, ProbesOnceASecondAndGivesUpAfterTheTimeLimit) {
    int probes = 0;
    auto event = MakeAutoResetEvent();
    TReDlg d(nullptr, 2000, event, [&] { return ++probes, true; });
    EXPECT_EQ(ReDlg, &d);
    EXPECT_EQ(d.windowTitle(), U("通信先を見失いました。"));
    EXPECT_EQ(d.size(), QSize(345, 82));
    EXPECT_FALSE(d.windowIcon().isNull());
    ExpectBounds(d.ProgressBar1, 32, 16, 281, 16);
    ExpectBounds(d.Label1, 24, 48, 205, 24);
    ExpectBounds(d.Button1, 240, 48, 75, 25);
    EXPECT_EQ(d.ProgressBar1->minimum(), 0);
    EXPECT_EQ(d.ProgressBar1->maximum(), 100);
    EXPECT_EQ(d.Label1->text(), U("通信先を探しています。\n中止する場合はCancelを押してください。"));
    EXPECT_EQ(d.Button1->text(), "Cancel");
    EXPECT_EQ(d.Timer1.Interval(), 100);
    EXPECT_TRUE(d.Timer1.Enabled());
    EXPECT_EQ(d.exec(), QDialog::Rejected);
    EXPECT_EQ(probes, 2);
    EXPECT_EQ(d.ElapsedMs(), 2100u);
    EXPECT_EQ(d.ProgressBar1->value(), 100);
}

TEST(RecoveryDialog, AnAnswerClosesItWithOkAtTheNextTick) {
    auto event = MakeAutoResetEvent();
    TReDlg d(nullptr, 20000, event, [&] {
        event->Set();  // the partner answers the first probe at once
        return true;
    });
    EXPECT_EQ(d.exec(), QDialog::Accepted);
    EXPECT_EQ(d.ProbesSent(), 1u);
    EXPECT_EQ(d.ElapsedMs(), 1000u);
    EXPECT_EQ(d.ProgressBar1->value(), 5);
}

// A time limit of 0 divided the progress by zero.
TEST(RecoveryDialog, AZeroTimeLimitEndsAtTheFirstTickWithoutDividingByZero) {
    auto event = MakeAutoResetEvent();
    TReDlg d(nullptr, 0, event, [] { return true; });
    EXPECT_EQ(d.exec(), QDialog::Rejected);
    EXPECT_EQ(d.ElapsedMs(), 100u);
    EXPECT_EQ(d.ProgressBar1->value(), 100);
}

TEST(RecoveryDialog, CancelEndsItAtOnce) {
    auto event = MakeAutoResetEvent();
    TReDlg d(nullptr, 20000, event, [] { return true; });
    EXPECT_EQ(RunModal(d, [&] { QTest::mouseClick(d.Button1, Qt::LeftButton); }), QDialog::Rejected);
    EXPECT_EQ(d.ProbesSent(), 0u);
}

}  // namespace
