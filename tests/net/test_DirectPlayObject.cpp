// Tests of the session-layer object's creation, connections, address prompt and searches.
#include <QStringDecoder>

#include "tests/net/DPlayTestSupport.h"
#include "tests/support/ScriptedPrompts.h"

using namespace dptest;

TEST(DPlayObject, TheObjectIsMadeOnlyForItsOwnClassAndInterfaceOrNotAtAllWhenTestsSaySo) {
    IDirectPlay3A* dp = reinterpret_cast<IDirectPlay3A*>(1);
    EXPECT_EQ(
        DirectPlayCreateInstance(CLSID_DirectPlay, nullptr, CLSCTX_ALL, DPSPGUID_KORVO_UDP, &dp),
        E_NOINTERFACE);
    EXPECT_EQ(dp, nullptr);
    EXPECT_EQ(
        DirectPlayCreateInstance(IID_IDirectPlay3A, nullptr, CLSCTX_ALL, IID_IDirectPlay3A, &dp),
        REGDB_E_CLASSNOTREG);
    int outer = 0;
    EXPECT_EQ(
        DirectPlayCreateInstance(CLSID_DirectPlay, &outer, CLSCTX_ALL, IID_IDirectPlay3A, &dp),
        CLASS_E_NOAGGREGATION);
    SessionTestHooks h;
    h.createResult = E_NOINTERFACE;  // as on a computer with too old a platform
    {
        HooksScope scope(h);
        EXPECT_EQ(DirectPlayCreateInstance(CLSID_DirectPlay, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IDirectPlay3A, &dp),
                  E_NOINTERFACE);
        EXPECT_EQ(dp, nullptr);
    }
    ASSERT_EQ(DirectPlayCreateInstance(CLSID_DirectPlay, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IDirectPlay3A, &dp),
              S_OK);
    EXPECT_EQ(dp->AddRef(), 2u);
    EXPECT_EQ(dp->Release(), 1u);
    EXPECT_EQ(dp->Release(), 0u);
}

TEST(DPlayObject, TwoConnectionsAreOfferedByNameAndEachCanBeInitialisedOnce) {
    HooksScope scope(LoopbackHooks());
    Side side;
    ASSERT_EQ(DirectPlayCreateInstance(CLSID_DirectPlay, nullptr, CLSCTX_ALL, IID_IDirectPlay3A,
                                       &side.dp),
              S_OK);
    struct Offered {
        GUID provider;
        std::vector<std::uint8_t> block;
        std::string name;
    };
    std::vector<Offered> offered;
    ASSERT_EQ(
        side.dp->EnumConnections(
            &kApp,
            [](const GUID* sp, void* block, DWORD size, const DPNAME* n, DWORD, void* c) -> BOOL {
                auto* bytes = static_cast<std::uint8_t*>(block);
                static_cast<std::vector<Offered>*>(c)->push_back(
                    {*sp, {bytes, bytes + size}, n->lpszShortNameA});
                return 1;
            },
            &offered, 0),
        DP_OK);
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[0].provider, DPSPGUID_KORVO_UDP);
    EXPECT_EQ(offered[1].provider, DPSPGUID_KORVO_TCP);
    QStringDecoder sjis("Shift_JIS");
    EXPECT_EQ(QString(sjis.decode(QByteArray::fromStdString(offered[0].name))),
              QString::fromUtf8("UDP/IP 接続（配送の保証なし）"));
    EXPECT_EQ(QString(sjis.decode(QByteArray::fromStdString(offered[1].name))),
              QString::fromUtf8("TCP/IP 接続（配送を保証）"));

    DPCAPS caps{};
    caps.dwSize = sizeof(caps);
    EXPECT_EQ(side.dp->GetCaps(&caps, 0), DPERR_UNINITIALIZED);
    auto garbage = offered[0].block;
    garbage[0] ^= 1;
    EXPECT_EQ(side.dp->InitializeConnection(garbage.data(), 0), DPERR_INVALIDPARAMS);
    // A copy of the block will do, as the connection dialog keeps copies.
    auto copy = offered[1].block;
    ASSERT_EQ(side.dp->InitializeConnection(copy.data(), 0), DP_OK);
    EXPECT_EQ(side.dp->InitializeConnection(copy.data(), 0), DPERR_ALREADYINITIALIZED);
    caps.dwSize = 39;
    EXPECT_EQ(side.dp->GetCaps(&caps, 0), DPERR_INVALIDPARAMS);
    caps.dwSize = 40;
    ASSERT_EQ(side.dp->GetCaps(&caps, 0), DP_OK);
    EXPECT_EQ(caps.dwFlags, DPCAPS_GUARANTEEDSUPPORTED | DPCAPS_GUARANTEEDOPTIMIZED);
    EXPECT_EQ(caps.dwMaxPlayers, 2u);
    EXPECT_EQ(caps.dwMaxLocalPlayers, 1u);

    SessionTestHooks h = LoopbackHooks();
    h.unusableConnections = 1;  // the UDP connection cannot be used on this computer
    h.providerTimeoutMs = 0;
    SetSessionTestHooks(h);
    Side other;
    ASSERT_EQ(DirectPlayCreateInstance(CLSID_DirectPlay, nullptr, CLSCTX_ALL, IID_IDirectPlay3A,
                                       &other.dp),
              S_OK);
    EXPECT_EQ(other.dp->InitializeConnection(offered[0].block.data(), 0), DPERR_UNAVAILABLE);
    ASSERT_EQ(other.dp->InitializeConnection(offered[1].block.data(), 0), DP_OK);
    ASSERT_EQ(other.dp->GetCaps(&caps, 0), DP_OK);
    EXPECT_EQ(caps.dwTimeout, 0u);
}

TEST(DPlayObject, TheHostsAddressIsAskedOnceAndACancelledOrWrongAnswerIsHandled) {
    HooksScope scope(LoopbackHooks());
    ScriptedPrompts prompts;
    Side host, guest;
    ASSERT_EQ(Host(host, 0, "Host"), DP_OK);
    ASSERT_EQ(Init(guest, 0), DP_OK);
    HRESULT hr = DP_OK;
    prompts.AnswerTexts({std::nullopt});
    FindSessions(
        guest.dp, [](const auto&) { return true; }, 0, &hr);
    EXPECT_EQ(hr, DPERR_USERCANCEL);
    // A wrong address is reported and asked again; the search then works.
    prompts.AnswerTexts({std::string("127.0.0.1:99999"),
                         std::string("127.0.0.1:") + std::to_string(DPlayLastHostPort())});
    auto found = FindNamed(guest.dp, "Host");
    EXPECT_TRUE(found);
    auto shown = prompts.shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].kind, ScriptedPrompts::Shown::Kind::Input);
    EXPECT_EQ(shown[2].kind, ScriptedPrompts::Shown::Kind::Message);
    EXPECT_EQ(shown[2].text, "通信先のアドレスが正しくありません。\n127.0.0.1:99999");
    EXPECT_EQ(shown[2].icon, PromptIcon::Warning);
    EXPECT_EQ(shown[3].kind, ScriptedPrompts::Shown::Kind::Input);
}

TEST(DPlayObject, ASynchronousSearchReportsSessionsThenItsEndAndSearchesOnWhenAsked) {
    HooksScope scope(LoopbackHooks());
    ScriptedPrompts prompts;
    prompts.AnswerTexts({std::string()});
    Side host, guest;
    ASSERT_EQ(Host(host, 1, "Host"), DP_OK);
    ASSERT_EQ(Init(guest, 1), DP_OK);
    struct Log {
        std::vector<std::string> calls;
        int rounds = 0;
        bool found = false;
    } log;
    DPSESSIONDESC2 sd{};
    sd.dwSize = sizeof(sd);
    sd.guidApplication = kApp;
    ASSERT_EQ(guest.dp->EnumSessions(
                  &sd, 200,
                  [](const DPSESSIONDESC2* d, DWORD* timeout, DWORD flags, void* c) -> BOOL {
                      auto* log = static_cast<Log*>(c);
                      if ((flags & DPESC_TIMEDOUT) != 0) {
                          EXPECT_EQ(d, nullptr);
                          log->calls.push_back("timed out");
                          // Search again (longer) until the host has answered.
                          *timeout = 500;
                          return !log->found && ++log->rounds < 40;
                      }
                      log->calls.push_back(d->lpszSessionNameA);
                      log->found = true;
                      return 1;
                  },
                  &log, 0),
              DP_OK);
    ASSERT_TRUE(log.found);
    ASSERT_GE(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[log.calls.size() - 2], "Host");
    EXPECT_EQ(log.calls.back(), "timed out");
    // Another application's sessions are not reported.
    sd.guidApplication = DPSPGUID_KORVO_TCP;
    int reported = 0;
    ASSERT_EQ(guest.dp->EnumSessions(
                  &sd, 300,
                  [](const DPSESSIONDESC2* d, DWORD*, DWORD, void* c) -> BOOL {
                      if (d != nullptr) ++*static_cast<int*>(c);
                      return 0;
                  },
                  &reported, 0),
              DP_OK);
    EXPECT_EQ(reported, 0);
}

TEST(DPlayObject, CallsOutOfOrderAnswerWithCodesNotCrashes) {
    HooksScope scope(LoopbackHooks());
    Side side;
    ASSERT_EQ(Init(side, 0), DP_OK);
    DPID id = 0;
    EXPECT_EQ(side.dp->CreatePlayer(&id, nullptr, nullptr, nullptr, 0, 0), DPERR_NOSESSIONS);
    std::uint8_t byte = 1;
    EXPECT_EQ(side.dp->Send(1, 2, 0, &byte, 1), DPERR_INVALIDPLAYER);
    DPID from = 0, to = 0;
    DWORD size = 1;
    EXPECT_EQ(side.dp->Receive(&from, &to, DPRECEIVE_ALL, &byte, &size), DPERR_NOMESSAGES);
    EXPECT_EQ(side.dp->Close(), DP_OK);
    DPSESSIONDESC2 sd{};
    sd.dwSize = 12;
    EXPECT_EQ(side.dp->Open(&sd, DPOPEN_CREATE), DPERR_INVALIDPARAMS);
    sd.dwSize = sizeof(sd);
    EXPECT_EQ(side.dp->Open(&sd, DPOPEN_CREATE | DPOPEN_JOIN), DPERR_INVALIDFLAGS);
    EXPECT_EQ(side.dp->Open(&sd, DPOPEN_JOIN), DPERR_NOSESSIONS);  // never found
    std::string longName(kMaxNameBytes + 1, 'n');
    sd.lpszSessionNameA = longName.c_str();
    EXPECT_EQ(side.dp->Open(&sd, DPOPEN_CREATE), DPERR_INVALIDPARAMS);
    sd.lpszSessionNameA = "ok";
    ASSERT_EQ(side.dp->Open(&sd, DPOPEN_CREATE), DP_OK);
    EXPECT_EQ(side.dp->Open(&sd, DPOPEN_CREATE), DPERR_ALREADYINITIALIZED);
    DPNAME n{};
    n.dwSize = 3;
    EXPECT_EQ(side.dp->CreatePlayer(&id, &n, nullptr, nullptr, 0, 0), DPERR_INVALIDPARAMS);
    n.dwSize = kDpNameSize32;
    EXPECT_EQ(side.dp->CreatePlayer(&id, &n, nullptr, &byte, 1, 0), DPERR_UNSUPPORTED);
    ASSERT_EQ(side.dp->CreatePlayer(&id, &n, nullptr, nullptr, 0, 0), DP_OK);
    EXPECT_EQ(side.dp->CreatePlayer(&id, &n, nullptr, nullptr, 0, 0), DPERR_CANTCREATEPLAYER);
    EXPECT_EQ(side.dp->Send(id, DPID_ALLPLAYERS, 0, &byte, 1), DP_OK);  // nobody else yet
    EXPECT_EQ(side.dp->DestroyPlayer(id + 1), DPERR_INVALIDPLAYER);
    EXPECT_EQ(side.dp->DestroyPlayer(id), DP_OK);
    std::vector<std::uint8_t> buffer(8);
    size = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(side.dp->GetSessionDesc(buffer.data(), &size), DPERR_BUFFERTOOSMALL);
    buffer.resize(size);
    ASSERT_EQ(side.dp->GetSessionDesc(buffer.data(), &size), DP_OK);
    DPSESSIONDESC2 back;
    std::memcpy(&back, buffer.data(), sizeof(back));
    EXPECT_STREQ(back.lpszSessionNameA, "ok");
    EXPECT_EQ(back.dwMaxPlayers, 2u);  // 0 means as many as the layer holds
}
