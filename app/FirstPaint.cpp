// The timing switch of the window: the first full paint after a drawing was opened, logged.
#include "app/FirstPaint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/ProgramStart.h"
#include "window/PaintBox.h"
#include "window/TForm1.h"

namespace {

// Waits for the surface's paint event and ends the program once it has been handled (and
// the window's contents handed to the screen, which follows the paint in the same pass).
class PaintWatch final : public QObject {
public:
    explicit PaintWatch(QObject* parent) : QObject(parent) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            QTimer::singleShot(0, watched, [] {
                std::fprintf(stderr, "korvo: first full paint %.3f s\n",
                             std::chrono::duration<double>(
                                 std::chrono::steady_clock::now() - ProgramStart())
                                 .count());
                std::fflush(stderr);
                std::_Exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool seen_ = false;
};

}  // namespace

bool FirstPaintLogWanted() { return qEnvironmentVariableIsSet("KORVO_FIRST_PAINT_LOG"); }

void LogFirstPaintAndQuit(TForm1& form) {
    TPaintBox* box = form.PaintBox1;
    if (!box) return;
    box->installEventFilter(new PaintWatch(box));
    box->update();
}
