// The progress of a long load: a dialog once it has taken half a second, the window repainting,
// a cancel button.
#include "window/LoadProgress.h"

#include <QApplication>
#include <QProgressDialog>
#include <algorithm>

LoadProgress::LoadProgress(QWidget* parent) : parent_(parent) { clock_.start(); }

LoadProgress::~LoadProgress() = default;

void LoadProgress::Report(int64_t done, int64_t total, int64_t count) {
    if (clock_.elapsed() < showAfterMs || total <= 0) return;
    // Twenty-five times a second is smooth to the eye; each time costs a repaint of the
    // dialog and of the window, which a load of a million elements would pay hundreds of
    // times over.
    if (dialog_ && shown_.elapsed() < kIntervalMs) return;
    shown_.start();
    if (!dialog_) {
        dialog_ = std::make_unique<QProgressDialog>(parent_);
        dialog_->setObjectName(QStringLiteral("LoadProgressDialog"));
        dialog_->setWindowTitle(QStringLiteral("Korvo"));
        dialog_->setCancelButtonText(QStringLiteral("キャンセル"));
        dialog_->setAutoReset(false);
        dialog_->setAutoClose(false);
        dialog_->setRange(0, 1000);
        dialog_->setMinimumDuration(0);
        dialog_->setWindowModality(Qt::ApplicationModal);
    }
    dialog_->setLabelText(QStringLiteral("読み込み中: %1 要素").arg(count));
    dialog_->setValue(int(1000 * std::min(done, total) / total));
    // The dialog is application modal, so the input that gets through is its own.
    QApplication::processEvents();
    if (dialog_->wasCanceled()) throw LoadCancelled{};
}
