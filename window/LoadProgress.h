// The progress of a long load: a dialog once it has taken half a second, the window repainting.
#pragma once

#include <QElapsedTimer>
#include <cstdint>
#include <memory>

class QProgressDialog;
class QWidget;

// Shows how far a long load has come once it has taken half a second, and lets the window
// repaint meanwhile; input waits, so nothing can change the drawing while it is read.
class LoadProgress {
public:
    explicit LoadProgress(QWidget* parent);
    ~LoadProgress();
    // done of total (bytes or records), count = elements read so far.
    void Report(int64_t done, int64_t total, int64_t count);
    bool Shown() const { return dialog_ != nullptr; }

private:
    QWidget* parent_;
    QElapsedTimer clock_;
    std::unique_ptr<QProgressDialog> dialog_;
};
