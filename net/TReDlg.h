// The recovery dialog: probes a lost partner once a second until it answers or the time limit passes.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "net/TMan2ManTimer.h"

class AutoResetEvent;
class QLabel;
class QProgressBar;
class QPushButton;

class TReDlg : public QDialog {
    Q_OBJECT
public:
    // `probe` sends one recovery probe; `recoveryEvent` is set when the partner answers.
    TReDlg(QWidget* owner, unsigned timeLimit, std::shared_ptr<AutoResetEvent> recoveryEvent,
           std::function<bool()> probe);
    ~TReDlg() override;

    QProgressBar* ProgressBar1;
    QLabel* Label1;
    QPushButton* Button1;
    man2man::TTimer Timer1;

    unsigned ElapsedMs() const { return elapsedMs_; }
    unsigned ProbesSent() const { return probesSent_; }

    void Timer1Timer();

protected:
    void showEvent(QShowEvent* event) override;

private:
    unsigned timeLimit_;
    std::shared_ptr<AutoResetEvent> recoveryEvent_;
    std::function<bool()> probe_;
    unsigned elapsedMs_ = 0;
    unsigned probesSent_ = 0;
};

// The recovery dialog while it exists.
extern TReDlg* ReDlg;
