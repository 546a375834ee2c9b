// The main window's side of keeping both drawings equal: asking the guest's user, taking the
// host's drawing with its progress, the share check's timer and the report of a difference.
#include <QDateTime>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

#include "kernel/UserPrompts.h"
#include "window/TForm1.h"

namespace {

bool DrawingEmpty(const DrawingStore& s) {
    for (int32_t i = 0; i <= s.lineTop && i <= s.lineAlloc; ++i)
        if (s.line(i).alive) return false;
    for (int32_t i = 0; i <= s.circleTop && i <= s.circleAlloc; ++i)
        if (s.circle(i).alive) return false;
    for (int32_t i = 0; i < s.textCount; ++i)
        if (s.text(i).alive) return false;
    return true;
}

const char* const kCaption = "Korvo";
// How often the growing drawing is shown while it arrives.
constexpr qint64 kTransferRedrawMs = 500;

}  // namespace

void TForm1::WireSync() {
    sync.send = [this](const std::vector<uint8_t>& block, bool guaranteed) {
        return man2man.SendFreeData(block.data(), unsigned(block.size()), guaranteed);
    };
    // Questions wait until the hand-off that brought the news has returned: a box open inside
    // it would hold everything the partner sends.
    sync.hostOffers = [this] { QTimer::singleShot(0, this, [this] { AskForHostDrawing(); }); };
    sync.progress = [this](int64_t done, int64_t total) { ShowTransfer(done, total); };
    sync.complete = [this] { FinishTransfer(); };
    sync.disagree = [this] { QTimer::singleShot(0, this, [this] { ShowDisagreement(); }); };
    sync.retake = [this] { TakeHostDrawing(); };
    shareTimer_ = new QTimer(this);
    shareTimer_->setInterval(1000);
    connect(shareTimer_, &QTimer::timeout, this, [this] { ShareTimerTimer(); });
    shareTimer_->start();
}

void TForm1::StartSync(bool isHost) {
    drawingAtJoin_ = !isHost && !DrawingEmpty(store);
    sync.Start(isHost);
}

void TForm1::man2manFreeDataComming(TMan2Man*, const void* pData, unsigned size) {
    const int64_t before = sync.refused();
    sync.Take(static_cast<const uint8_t*>(pData), size);
    NoteRefused(sync.refused() - before);
}

void TForm1::ShareTimerTimer() {
    if (Edit6->isEnabled()) sync.Tick();
}

void TForm1::AskForHostDrawing() {
    auto stillOffered = [this] {
        return Edit6->isEnabled() && !sync.isHost() && sync.phase() == DrawingSync::Phase::Offered;
    };
    if (!stillOffered()) return;
    // What the guest drew since it joined went to the host and comes back with the host's
    // drawing; only a drawing it brought along can be lost, and only then is it asked.
    if (drawingAtJoin_) {
        const PromptAnswer answer = Prompts().Message(
            "ホストの図面を受け取ります。今の図面は置き換えられます。よろしいですか？", kCaption,
            PromptButtons::YesNo, PromptIcon::Question);
        if (!stillOffered()) return;  // the host left while the question was open
        if (answer != PromptAnswer::Yes) {
            SpeedButton34Click();  // the guest keeps its drawing and leaves
            return;
        }
    }
    TakeHostDrawing();
}

void TForm1::TakeHostDrawing() {
    if (!Edit6->isEnabled() || sync.isHost() || sync.phase() == DrawingSync::Phase::Off) return;
    sync.Accept();
    journal.JournalCreate();  // undo never reaches into the drawing that was there before
    // The drawing has no file on this side; the caption keeps saying CLIENT.
    dacPath_.clear();
    captionPath_.clear();
    SetModified(false);
    recovery_.Discard();
    lastTransferRedraw_ = QDateTime::currentMSecsSinceEpoch();
    ClearScreen();
    Memo1->appendPlainText(QStringLiteral("ホストの図面を受け取っています。"));
}

void TForm1::ShowTransfer(int64_t done, int64_t total) {
    SetStatusPanel(0, QStringLiteral("ホストの図面を受信中 %1 / %2").arg(done).arg(total));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - lastTransferRedraw_ >= kTransferRedrawMs) {
        lastTransferRedraw_ = now;
        RequestRepaint();
    }
}

void TForm1::FinishTransfer() {
    const bool empty = DrawingEmpty(store);
    Memo1->appendPlainText(QStringLiteral("ホストの図面を受け取りました。"));
    // The drawing is the host's now and is saved nowhere on this side.
    SetModified(!empty);
    if (empty)
        Redraw();
    else
        SpeedButton21Click();  // the view fits the drawing
    SetStatusPanel(0, QStringLiteral("ホストの図面を受け取りました"));
}

void TForm1::ShowDisagreement() {
    if (!Edit6->isEnabled() || sync.phase() != DrawingSync::Phase::InSync) return;
    Memo1->appendPlainText(QStringLiteral("図面が相手と一致していません"));
    SetStatusPanel(0, QStringLiteral("図面が相手と一致していません"));
    if (sync.isHost()) return;  // the guest is offered the host's drawing
    const PromptAnswer answer =
        Prompts().Message("図面が相手と一致していません\nホストの図面を受け取りますか？", kCaption,
                          PromptButtons::YesNo, PromptIcon::Warning);
    if (answer == PromptAnswer::Yes && sync.phase() == DrawingSync::Phase::InSync)
        TakeHostDrawing();
}
