// The other copy of the two-process drawing test: a main window that joins the given host on
// loopback and acts on chat lines.
//   korvo_share_peer <port> <host name> <own name>
// "report" answers with its counts of alive lines and circles, "draw" adds a circle as the
// user's own, "mix <seed> <count>" makes that many random edits one by one while the host makes
// its own, "digest" answers with the drawing's digest, "bye" disconnects with the button and
// ends.
// Exit codes: 0 left as told, 1 bad arguments, 2 could not join, 4 timed out.
#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>

#include "render/JapaneseFonts.h"
#include "tests/net/test_TMan2ManDriver.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/window/RandomEdits.h"
#include "window/TForm1.h"

using namespace m2mtest;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 4) return 1;
    const int port = std::atoi(argv[1]);
    if (port <= 0 || port > 65535) return 1;
    const std::string hostName = argv[2], ownName = argv[3];

    SessionTestHooks hooks = LoopbackHooks();
    hooks.port = uint16_t(port);
    hooks.providerTimeoutMs = kTwoProcessProviderTimeout;
    HooksScope scope(hooks);
    ScriptedPrompts prompts;
    prompts.AnswerTexts({""});  // the host runs on this computer

    InstallJapaneseFontSubstitutes();
    TForm1 form;
    form.show();
    int exitCode = 4;
    std::mt19937 rng;
    int editsLeft = 0;
    QTimer mixer;
    mixer.setInterval(2);
    QObject::connect(&mixer, &QTimer::timeout, [&] {
        if (editsLeft-- <= 0) return mixer.stop();
        randomedits::RandomEdit(form, rng);
    });
    form.man2man.OnChatComming = [&](TMan2Man* m) {
        form.man2manChatComming(m);
        ChatEvent event;
        WhoIs who;
        std::string text;
        m->ReadChatEx(event, who, text);
        if (event != ceChat || who != wiPartner) return;
        if (text == "report") {
            int lines = 0, circles = 0;
            for (int i = 0; i <= form.store.lineTop; ++i) lines += form.store.line(i).alive;
            for (int i = 0; i <= form.store.circleTop; ++i) circles += form.store.circle(i).alive;
            m->SendChat("lines=" + std::to_string(lines) + " circles=" + std::to_string(circles));
        } else if (text == "draw") {
            form.store.AddCircle(5, 5, 3, 0, 0, 1);
        } else if (text.rfind("mix ", 0) == 0) {
            unsigned seed = 0;
            std::istringstream(text.substr(4)) >> seed >> editsLeft;
            rng.seed(seed);
            mixer.start();
        } else if (text == "digest") {
            m->SendChat("digest=" + std::to_string(DrawingSync::Digest(form.store)));
        } else if (text == "bye") {
            exitCode = 0;
            QTimer::singleShot(0, [&] {
                form.Button("SpeedButton34")->click();
                QCoreApplication::quit();
            });
        }
    };
    DialogDriver d;
    d.ChooseConnection(kTcp).JoinSession(ownName.c_str(), hostName.c_str());
    form.Button("SpeedButton34")->click();
    if (!d.Finished() || !form.Edit6->isEnabled()) return 2;
    QTimer::singleShot(30000, [] { QCoreApplication::quit(); });
    app.exec();
    std::fflush(stdout);
    return exitCode;
}
