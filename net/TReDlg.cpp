// The recovery dialog: layout, the 100 ms tick, the probes and the answer.
#include "net/TReDlg.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>

#include "net/AutoResetEvent.h"
#include "net/TMan2ManDialogs.h"

TReDlg* ReDlg = nullptr;

namespace {
const char* const kCaption = "通信先を見失いました。";
const char* const kLabel = "通信先を探しています。\r中止する場合はCancelを押してください。";
}  // namespace

TReDlg::TReDlg(QWidget* owner, unsigned timeLimit, std::shared_ptr<AutoResetEvent> recoveryEvent,
               std::function<bool()> probe)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      Timer1([this] { Timer1Timer(); }),
      timeLimit_(timeLimit),
      recoveryEvent_(std::move(recoveryEvent)),
      probe_(std::move(probe)) {
    ReDlg = this;
    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    man2man::ApplyDialogFont(this);
    setFixedSize(345, 82);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setGeometry(32, 16, 281, 16);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(24, 48, 205, 24);
    // The caption breaks its line at the carriage return; a label breaks at a line feed.
    Label1->setText(QString::fromUtf8(kLabel).replace(QChar('\r'), QChar('\n')));

    Button1 = new QPushButton(QString::fromUtf8("Cancel"), this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(240, 48, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);

    Timer1.SetInterval(100);
    Timer1.SetEnabled(true);
}

TReDlg::~TReDlg() {
    if (ReDlg == this) ReDlg = nullptr;
}

void TReDlg::showEvent(QShowEvent* event) {
    man2man::CenterOnScreen(this);
    QDialog::showEvent(event);
}

void TReDlg::Timer1Timer() {
    if (!isVisible()) return;
    elapsedMs_ += unsigned(Timer1.Interval());
    if (elapsedMs_ % 1000 == 0) {
        ++probesSent_;
        if (probe_) probe_();
    }
    const bool answered = recoveryEvent_ && recoveryEvent_->Wait(1);
    // A time limit of 0 is full at once instead of dividing by zero.
    const unsigned percent =
        timeLimit_ == 0 ? 100u : unsigned(uint64_t(elapsedMs_) * 100u / timeLimit_);
    ProgressBar1->setValue(int(percent > 100u ? 100u : percent));
    // An answer in the last tick still counts: the partner is there.
    if (answered) {
        Timer1.SetEnabled(false);
        accept();
    } else if (elapsedMs_ > timeLimit_) {
        Timer1.SetEnabled(false);
        reject();
    }
}
