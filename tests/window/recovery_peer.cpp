// A main window that draws and is then killed, for the recovery test: it adds the given
// number of lines as the user's own and waits to be ended.
//   korvo_recovery_peer <lines>
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "render/JapaneseFonts.h"
#include "tests/support/ScriptedPrompts.h"
#include "window/TForm1.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) return 1;
    const int lines = std::atoi(argv[1]);
    ScriptedPrompts prompts;
    InstallJapaneseFontSubstitutes();
    TForm1 form;
    form.show();
    for (int i = 0; i < lines; ++i) form.store.AddLine(0, i, 100, i, 1);
    std::printf("drawn %d\n", lines);
    std::fflush(stdout);
    return app.exec();
}
