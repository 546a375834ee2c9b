// The recovery file: a copy of a drawing with unsaved changes, for the next start after a crash.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLockFile;
class QTimer;

// While the drawing has unsaved changes, a copy in the native format goes to
// <data folder>/korvo/recovery/drawing-<pid>.dac, at most once a minute and atomically; a
// save, a new drawing, an opened file or a clean exit removes it. The process holds a lock
// file beside it as long as it runs, so that the next start can tell the file of a process
// that ended without cleaning up from the file of one that is still running.
class TRecovery : public QObject {
public:
    explicit TRecovery(QObject* parent = nullptr);
    ~TRecovery() override;

    // Starts the periodic write: each interval, when `due` says so, `write` is asked to write
    // the drawing to the path it is given (false when it could not).
    void Start(std::function<bool()> due, std::function<bool(const std::string&)> write);
    // Removes this process's recovery file, if any.
    void Discard();
    // Writes now if due (the timer's tick).
    void Tick();
    const std::string& path() const { return path_; }

    // Recovery files left by processes that are no longer running, newest first.
    static std::vector<std::string> Leftovers();
    // Removes a leftover file and its lock.
    static void Remove(const std::string& dacPath);
    static QString Folder();
    // 60 s; KORVO_RECOVERY_INTERVAL_MS shortens it (tests).
    static int IntervalMs();

private:
    QTimer* timer_;
    std::unique_ptr<QLockFile> lock_;
    std::string path_;
    bool written_ = false;
    std::function<bool()> due_;
    std::function<bool(const std::string&)> write_;
};
