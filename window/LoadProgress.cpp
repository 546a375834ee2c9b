// The progress of a long load: a dialog once it has taken half a second, the window repainting.
#include "window/LoadProgress.h"

#include <QApplication>
#include <QProgressDialog>
#include <algorithm>

LoadProgress::LoadProgress(QWidget* parent) : parent_(parent) { clock_.start(); }

LoadProgress::~LoadProgress() = default;

void LoadProgress::Report(int64_t done, int64_t total, int64_t count) {
    if (clock_.elapsed() < 500 || total <= 0) return;
    if (!dialog_) {
        dialog_ = std::make_unique<QProgressDialog>(parent_);
        dialog_->setWindowTitle(QStringLiteral("Korvo"));
        dialog_->setCancelButton(nullptr);
        dialog_->setRange(0, 1000);
        dialog_->setMinimumDuration(0);
        dialog_->setWindowModality(Qt::ApplicationModal);
    }
    dialog_->setLabelText(QStringLiteral("読み込み中: %1 要素").arg(count));
    dialog_->setValue(int(1000 * std::min(done, total) / total));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
