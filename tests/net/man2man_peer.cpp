// The other copy for the two-process test: joins the session of the given host name on
// loopback, greets, sends every registered record it receives back with each byte increased
// by one, and leaves when it is told "bye".
//   korvo_man2man_peer <port> <host name> <own name> [passphrase]
// Exit codes: 0 left as told, 1 bad arguments, 2 could not join, 3 lost the host, 4 timed out.
#include <QApplication>
#include <QTimer>
#include <array>
#include <cstdio>
#include <cstdlib>

#include "tests/net/test_TMan2ManDriver.h"
#include "tests/support/ScriptedPrompts.h"

using namespace m2mtest;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 4 && argc != 5) return 1;
    const std::string passphrase = argc == 5 ? argv[4] : "";
    const int port = std::atoi(argv[1]);
    if (port <= 0 || port > 65535) return 1;
    const std::string hostName = argv[2], ownName = argv[3];

    SessionTestHooks hooks = LoopbackHooks();
    hooks.port = uint16_t(port);
    hooks.providerTimeoutMs = kTwoProcessProviderTimeout;
    HooksScope scope(hooks);
    ScriptedPrompts prompts;
    prompts.AnswerTexts({""});  // the host runs on this computer

    std::array<uint8_t, 56> record{};
    TMan2Man peer;
    peer.SetLiveCheckInterval(500);
    if (peer.RegiStruct(record.data(), unsigned(record.size()), 1) != 0) return 1;
    int exitCode = 4;
    peer.OnRegiDataComming = [&](TMan2Man* m, RegiDataTag) {
        for (auto& b : record) ++b;
        m->SendRegiData(0, true);
    };
    peer.OnChatComming = [&](TMan2Man* m) {
        ChatEvent event;
        WhoIs who;
        std::string text;
        m->ReadChatEx(event, who, text);
        if (event == ceChat && who == wiPartner && text == "bye") {
            exitCode = 0;
            QTimer::singleShot(0, [m] {
                m->Disconnect();
                QCoreApplication::quit();
            });
        }
    };
    peer.OnLostConnection = [&](TMan2Man*) {
        if (exitCode == 0) return;  // already leaving
        exitCode = 3;
        QCoreApplication::quit();
    };
    if (!Join(peer, ownName.c_str(), hostName.c_str(), kUdp, passphrase.c_str())) return 2;
    if (peer.Protected() != !passphrase.empty()) return 2;
    if (!peer.SendChat(Sjis("別のプロセスからこんにちは"))) return 2;
    QTimer::singleShot(30000, [] { QCoreApplication::quit(); });
    app.exec();
    std::fflush(stdout);
    return exitCode;
}
