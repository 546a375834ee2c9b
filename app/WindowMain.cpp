// The window program's entry point: the application, the prompt seam, the main window and the
// message loop. `korvo` starts it for everything but what needs no window; it does all of
// that too when started on its own.
#include <QApplication>
#include <QGuiApplication>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <exception>
#include <string>

#include "app/CommandLine.h"
#include "app/FirstPaint.h"
#include "app/ProgramStart.h"
#include "app/WindowCommands.h"
#include "kernel/UserPrompts.h"
#include "render/JapaneseFonts.h"
#include "window/QtJapanese.h"
#include "window/QtPrompts.h"
#include "window/TForm1.h"

namespace {

void ShowException(const char* what) {
    Prompts().Message(what && *what ? what : "予期しない例外が発生しました", "Korvo",
                      PromptButtons::Ok, PromptIcon::Error);
}

// An exception thrown by a handler is shown and ends only that action, as the framework's
// own exception box does; the drawing and the program stay.
class TApplication final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            ShowException(e.what());
        } catch (...) {
            ShowException(nullptr);
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    MarkProgramStart();
    // The arguments are read before any application exists: conversions, printing, help,
    // version and every usage error need no window and no display.
    using Mode = CommandLine::Mode;
    const CommandLine commandLine = ParseProgramArguments(argc, argv);
    if (const int status = RunWithoutWindow(argc, argv, commandLine); status >= 0) return status;
    if (commandLine.mode == Mode::Print) {
        // Texts need fonts, which need a GUI application, but never a display, whatever
        // platform the environment names.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication gui(argc, argv);
        std::setlocale(LC_NUMERIC, "C");
        InstallJapaneseFontSubstitutes();
        return RunPrint(commandLine.file, commandLine.output, commandLine.tarnix);
    }

    TApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Korvo"));
    // Qt takes the whole locale from the environment; numbers in status texts, the undo
    // journal and files must keep their full stop whatever the user's language.
    std::setlocale(LC_NUMERIC, "C");
    InstallJapaneseFontSubstitutes();
    InstallQtJapanese(app);
    QtPrompts prompts;
    const bool timingRun = FirstPaintLogWanted();
    if (!timingRun) SetPrompts(&prompts);

    // An exception that escapes start-up is shown, and the program ends.
    try {
        TForm1 form;
        if (!form.storeCreated()) return 3;  // "vertexメモリ確保に失敗しました" was shown
        // The settings dialog TPagesDlg is created here, once, after the main window.
        form.showMaximized();
        // A drawing a crashed or killed run left behind is offered first.
        QTimer::singleShot(0, &form, [&] { form.OfferRecovery(); });
        // The file is read once the window is up, so that its messages have a parent.
        if (!commandLine.file.isEmpty())
            QTimer::singleShot(0, &form,
                               [&] {
                                   OpenDrawing(form, commandLine.file, commandLine.tarnix);
                                   if (timingRun) LogFirstPaintAndQuit(form);
                               });
        return app.exec();
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException(nullptr);
    }
    return 1;
}
