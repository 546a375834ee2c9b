// The progress of a long load: a dialog once it has taken half a second, the window repainting.
#pragma once

#include <QElapsedTimer>
#include <cstdint>
#include <memory>

class QProgressDialog;
class QWidget;

// Thrown out of the reader through Report when the user cancels the load.
struct LoadCancelled {};

// Shows how far a long load has come once it has taken half a second, and lets the window
// repaint meanwhile. The dialog is modal: only its cancel button (or Escape) takes input.
class LoadProgress {
public:
    explicit LoadProgress(QWidget* parent);
    ~LoadProgress();
    // done of total (bytes or records), count = elements read so far. Throws LoadCancelled
    // once the user has cancelled.
    void Report(int64_t done, int64_t total, int64_t count);
    bool Shown() const { return dialog_ != nullptr; }

    // How long a load runs before the dialog shows (tests shorten it).
    static inline int showAfterMs = 500;

private:
    static constexpr int kIntervalMs = 40;
    QWidget* parent_;
    QElapsedTimer clock_;
    QElapsedTimer shown_;  // since the dialog last showed progress
    std::unique_ptr<QProgressDialog> dialog_;
};
