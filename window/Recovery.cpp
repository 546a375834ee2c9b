// The recovery file: a copy of a drawing with unsaved changes, for the next start after a crash.
#include "window/Recovery.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>

namespace {

QString LockOf(const QString& dacPath) {
    return dacPath.left(dacPath.size() - 4) + QStringLiteral(".lock");
}

}  // namespace

TRecovery::TRecovery(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
    const QString own = Folder() + QStringLiteral("/drawing-%1.dac").arg(QCoreApplication::applicationPid());
    path_ = own.toStdString();
    connect(timer_, &QTimer::timeout, this, &TRecovery::Tick);
}

TRecovery::~TRecovery() = default;

QString TRecovery::Folder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/korvo/recovery");
}

int TRecovery::IntervalMs() {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("KORVO_RECOVERY_INTERVAL_MS", &ok);
    return ok && ms > 0 ? ms : 60000;
}

void TRecovery::Start(std::function<bool()> due, std::function<bool(const std::string&)> write) {
    due_ = std::move(due);
    write_ = std::move(write);
    timer_->start(IntervalMs());
}

void TRecovery::Tick() {
    if (!due_ || !write_ || !due_()) return;
    if (!lock_) {
        // The lock is taken with the first file and held until the process ends.
        if (!QDir().mkpath(Folder())) return;
        auto lock = std::make_unique<QLockFile>(LockOf(QString::fromStdString(path_)));
        lock->setStaleLockTime(0);  // only a dead owner makes a lock stale, never its age
        if (!lock->tryLock(0)) return;
        lock_ = std::move(lock);
    }
    written_ = write_(path_) || written_;
}

void TRecovery::Discard() {
    if (!written_) return;
    QFile::remove(QString::fromStdString(path_));
    written_ = false;
}

std::vector<std::string> TRecovery::Leftovers() {
    const QDir dir(Folder());
    std::vector<std::pair<QDateTime, std::string>> found;
    const QString own = QStringLiteral("drawing-%1.dac").arg(QCoreApplication::applicationPid());
    for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("drawing-*.dac")}, QDir::Files)) {
        if (info.fileName() == own) continue;
        // A lock that can be taken belongs to no running process.
        QLockFile lock(LockOf(info.filePath()));
        lock.setStaleLockTime(0);
        if (!lock.tryLock(0)) continue;
        lock.unlock();
        found.emplace_back(info.lastModified(), info.filePath().toStdString());
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> paths;
    for (auto& f : found) paths.push_back(std::move(f.second));
    return paths;
}

void TRecovery::Remove(const std::string& dacPath) {
    const QString path = QString::fromStdString(dacPath);
    QFile::remove(path);
    QFile::remove(LockOf(path));
}
