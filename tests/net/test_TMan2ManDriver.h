// Test support for TMan2Man: loopback settings, a driver that answers the connect dialogs with real clicks, and an event recorder.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/DPlayTestHooks.h"
#include "net/TCoDlg.h"
#include "net/TMan2Man.h"
#include "net/TMan2ManDialogs.h"
#include "net/TSeDlg.h"

namespace m2mtest {

inline constexpr int kUdp = 0;  // the connection the layer does not guarantee
inline constexpr int kTcp = 1;  // the connection that guarantees delivery itself
inline constexpr int kPatienceMs = 20000;
inline constexpr DWORD kProviderTimeout = 600;

// Loopback only, any free port, a short provider time-out so that the timers stay short.
inline SessionTestHooks LoopbackHooks() {
    SessionTestHooks h;
    h.port = 0;
    h.bindAddress = "127.0.0.1";
    h.providerTimeoutMs = kProviderTimeout;
    return h;
}

// The two-process test gives each acknowledgement 200 ms rather than 50: the other process
// may be slow to be scheduled on a loaded machine.
inline constexpr DWORD kTwoProcessProviderTimeout = 2400;

class HooksScope {
public:
    explicit HooksScope(const SessionTestHooks& h) { SetSessionTestHooks(h); }
    ~HooksScope() { ResetSessionTestHooks(); }
};

inline std::string Sjis(const char* utf8) { return man2man::ToSjis(QString::fromUtf8(utf8)); }
inline std::string Utf8(const std::string& sjis) {
    return man2man::FromSjis(sjis).toUtf8().toStdString();
}

// Runs the event loop until done() or until ms have passed. Unlike QTest::qWaitFor, which
// sleeps 10 ms whenever the queue is empty, this takes each hand-off of a receive thread as
// soon as it is queued, as the program's own event loop does.
inline bool WaitUntil(const std::function<bool()>& done, int ms = kPatienceMs) {
    QElapsedTimer clock;
    clock.start();
    QTimer tick;  // wakes the loop to look at done() and the clock
    tick.start(1);
    while (!done()) {
        if (clock.elapsed() >= ms) return done();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// Runs the event loop for ms.
inline void Pump(int ms) {
    WaitUntil([] { return false; }, ms);
}

// Acts on the dialogs of LetsConnect as a user would, one step at a time: each step is tried
// every 10 ms until it reports that it is done.
class DialogDriver {
public:
    DialogDriver() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(10);
    }
    bool Finished() const { return steps_.empty(); }

    DialogDriver& Then(std::function<bool()> step) {
        steps_.push_back(std::move(step));
        return *this;
    }
    DialogDriver& ChooseConnection(int index) {
        return Then([index] {
            if (!CoDlg || !CoDlg->isVisible()) return false;
            CoDlg->ComboBox1->setCurrentIndex(index);
            QTest::mouseClick(CoDlg->OKBtn, Qt::LeftButton);
            return true;
        });
    }
    DialogDriver& CancelConnection() {
        return Then([] {
            if (!CoDlg || !CoDlg->isVisible()) return false;
            QTest::mouseClick(CoDlg->CancelBtn, Qt::LeftButton);
            return true;
        });
    }
    DialogDriver& TypeName(const char* utf8) {
        std::string name = utf8;
        return Then([name] {
            if (!SeDlg || !SeDlg->isVisible()) return false;
            SeDlg->Edit1->clear();
            QTest::keyClicks(SeDlg->Edit1, QString::fromUtf8(name.c_str()));
            return true;
        });
    }
    // The passphrase field, as typed (empty: an open session).
    DialogDriver& TypePassphrase(const char* utf8) {
        std::string text = utf8;
        return Then([text] {
            if (!SeDlg || !SeDlg->isVisible()) return false;
            // Japanese text cannot be typed key by key through QTest; it is put in whole.
            SeDlg->Edit2->setText(QString::fromUtf8(text.c_str()));
            return true;
        });
    }
    DialogDriver& Click(QPushButton* TSeDlg::*button) {
        return Then([button] {
            if (!SeDlg || !SeDlg->isVisible()) return false;
            QTest::mouseClick(SeDlg->*button, Qt::LeftButton);
            return true;
        });
    }
    DialogDriver& CreateSession(const char* name) { return TypeName(name).Click(&TSeDlg::BtnNew); }
    // Searches, waits until the host's session is listed, selects it and joins.
    DialogDriver& JoinSession(const char* name, const char* hostName) {
        TypeName(name).Click(&TSeDlg::BtnEnum);
        std::string line = "\x81\x45 " + Sjis(hostName);
        SelectSession(line);
        return Click(&TSeDlg::OKBtn);
    }
    DialogDriver& SelectSession(const std::string& line) {
        return Then([line] {
            if (!SeDlg || !SeDlg->isVisible()) return false;
            const auto& lines = SeDlg->Lines();
            for (int i = 0; i < SeDlg->SessionCount() && i < int(lines.size()); ++i) {
                if (lines[size_t(i)] != line) continue;
                QListWidgetItem* item = SeDlg->ListBox1->item(i);
                QTest::mouseClick(SeDlg->ListBox1->viewport(), Qt::LeftButton, {},
                                  SeDlg->ListBox1->visualItemRect(item).center());
                return SeDlg->OKBtn->isEnabled();
            }
            return false;
        });
    }

private:
    void Poll() {
        if (steps_.empty() || busy_) return;
        busy_ = true;
        if (steps_.front()()) steps_.pop_front();
        busy_ = false;
    }
    std::deque<std::function<bool()>> steps_;
    QTimer timer_;
    bool busy_ = false;
};

// Every event of a component, as text, in order.
class EventLog {
public:
    explicit EventLog(TMan2Man& m) : m_(m) {
        m.OnGuestArrived = [this](TMan2Man*, bool isHost) {
            Add(isHost ? "arrived:host" : "arrived:guest");
        };
        m.OnGuestLalabye = [this](TMan2Man*) { Add("lalabye"); };
        m.OnChatComming = [this](TMan2Man* s) {
            chatLines.push_back(s->ReadChat());
            Add("chat:" + Utf8(s->ReadChat()));
        };
        m.OnRegiDataComming = [this](TMan2Man*, RegiDataTag tag) {
            Add("regi:" + std::to_string(tag));
        };
        m.OnFreeDataComming = [this](TMan2Man*, const void* data, unsigned size) {
            freeData.emplace_back(static_cast<const uint8_t*>(data),
                                  static_cast<const uint8_t*>(data) + size);
            Add("free:" + std::to_string(size));
        };
        m.OnLostConnection = [this](TMan2Man*) { Add("lost"); };
    }
    void Add(const std::string& e) { events.push_back(e); }
    int Count(const std::string& e) const {
        int n = 0;
        for (const auto& x : events) n += x == e;
        return n;
    }
    bool Has(const std::string& e) const { return Count(e) > 0; }
    void Clear() {
        events.clear();
        chatLines.clear();
        freeData.clear();
    }

    std::vector<std::string> events;
    std::vector<std::string> chatLines;  // Shift-JIS, as composed
    std::vector<std::vector<uint8_t>> freeData;

private:
    TMan2Man& m_;
};

inline bool Host(TMan2Man& m, const char* name, int connection = kUdp,
                 const char* passphrase = "") {
    DialogDriver d;
    d.ChooseConnection(connection).TypePassphrase(passphrase).CreateSession(name);
    const bool ok = m.LetsConnect(kKorvoApplicationGuid);
    return ok && d.Finished();
}

// The search asks for the host computer's address through the prompt seam: the caller's
// ScriptedPrompts must answer it (an empty answer is this computer).
inline bool Join(TMan2Man& m, const char* name, const char* hostName, int connection = kUdp,
                 const char* passphrase = "") {
    DialogDriver d;
    d.ChooseConnection(connection).TypePassphrase(passphrase).JoinSession(name, hostName);
    const bool ok = m.LetsConnect(kKorvoApplicationGuid);
    return ok && d.Finished();
}

}  // namespace m2mtest
