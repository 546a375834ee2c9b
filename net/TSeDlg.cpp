// The session dialog: layout, the search and its list, the name checks and opening a session.
#include "net/TSeDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <chrono>
#include <thread>

#include "kernel/UserPrompts.h"
#include "net/TMan2ManDialogs.h"

using namespace man2man;

TSeDlg* SeDlg = nullptr;

namespace {
const char kSessionPrefix[] = "\x81\x45 ";  // "・ ", three bytes
const char* const kNameMissing = "あなたの名前を入れて下さい。";
const char* const kNameTaken = "相手と違う名前にしてください。";
const char* const kNoName = "名前が作れません";
const char* const kCannotStart = "エラー: 通信を開始できません。";
const char* const kWrongPassphrase = "合言葉が合いません。\n相手と同じ合言葉を入れてください。";
const char* const kUnknownError =
    "原因不明のエラーです。\n選択した相手が帰ってしまったか、\n他と通信を始めてしまった可能性があります。";
// The search and the join are repeated while the layer asks for it, but not for ever: the
// dialog must stay answerable.
constexpr int kMaxEnumRepeats = 20;
constexpr int kMaxConnectingRetries = 20;

QPushButton* MakeButton(const char* text, const char* name, const char* hint, QRect bounds,
                        QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(name);
    button->setGeometry(bounds);
    if (hint) button->setToolTip(QString::fromUtf8(hint));
    return button;
}
}  // namespace

TSeDlg::TSeDlg(QWidget* owner, int maxNameLength, int maxEnumPlayers, const GUID& application,
               IDirectPlay3A* directPlay)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint),
      Timer1([this] { Timer1Timer(); }),
      directPlay_(directPlay),
      applicationGuid_(application),
      maxEnumPlayers_(maxEnumPlayers < 1 ? 1 : maxEnumPlayers),
      maxNameLength_(maxNameLength < 0 ? 0 : maxNameLength),
      SessionGuidTable(size_t(maxEnumPlayers_), GUID_NULL) {
    SeDlg = this;
    setWindowTitle(QString::fromUtf8("セッション"));
    ApplyDialogFont(this);
    // Two rows taller than the design's 165 for the passphrase below the name and its warning.
    setFixedSize(333, 205);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName("ListBox1");
    ListBox1->setGeometry(16, 16, 201, 105);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);

    Label1 = new QLabel(QString::fromUtf8("名前"), this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(20, 130, 30, 15);
    ApplyDialogFont(Label1, 15);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setGeometry(72, 128, 145, 20);

    Label2 = new QLabel(QString::fromUtf8("合言葉"), this);
    Label2->setObjectName("Label2");
    Label2->setGeometry(20, 156, 50, 15);
    ApplyDialogFont(Label2, 15);

    Edit2 = new QLineEdit(this);
    Edit2->setObjectName("Edit2");
    Edit2->setGeometry(72, 154, 145, 20);
    Edit2->setEchoMode(QLineEdit::Password);
    Edit2->setToolTip(QString::fromUtf8(
        "相手と同じ合言葉を入れます。空欄のときはネットワーク上の誰でも参加できます。"));

    Label3 = new QLabel(QString::fromUtf8("合言葉が短いと推測されやすくなります"), this);
    Label3->setObjectName("Label3");
    Label3->setGeometry(20, 180, 300, 15);
    ApplyDialogFont(Label3, 15);
    Label3->setStyleSheet("color: #c00000");
    Label3->setVisible(false);
    connect(Edit2, &QLineEdit::textChanged, this, [this](const QString& text) {
        const auto characters = text.toUcs4().size();
        Label3->setVisible(characters > 0 && characters < kShortPassphrase);
    });

    BtnNew = MakeButton("新規ｾｯｼｮﾝ作成", "BtnNew", "ホストプレーヤーになって待機します",
                        QRect(224, 16, 97, 25), this);
    BtnNew->setDefault(true);
    BtnEnum = MakeButton("既存ｾｯｼｮﾝを探す", "BtnEnum", "ホストプレイヤーを探します。",
                         QRect(224, 48, 97, 25), this);
    OKBtn = MakeButton("ｾｯｼｮﾝに参加", "OKBtn", "選んだプレイヤーとゲーム開始します。",
                       QRect(224, 80, 97, 25), this);
    OKBtn->setEnabled(false);
    CancelBtn = MakeButton("キャンセル", "CancelBtn", nullptr, QRect(232, 126, 81, 25), this);

    Timer1.SetInterval(2500);

    connect(BtnNew, &QPushButton::clicked, this, &TSeDlg::BtnNewClick);
    connect(BtnEnum, &QPushButton::clicked, this, &TSeDlg::BtnEnumClick);
    connect(OKBtn, &QPushButton::clicked, this, &TSeDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TSeDlg::CancelBtnClick);
    connect(ListBox1, &QListWidget::currentRowChanged, this, [this](int) { ListBox1Click(); });
    // The name's limit counts Shift-JIS bytes, as the name travels.
    connect(Edit1, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (maxNameLength_ == 0 || ToSjis(text).size() <= size_t(maxNameLength_)) return;
        QString cut = text;
        while (!cut.isEmpty() && ToSjis(cut).size() > size_t(maxNameLength_)) cut.chop(1);
        Edit1->setText(cut);
    });
}

TSeDlg::~TSeDlg() {
    if (SeDlg == this) SeDlg = nullptr;
}

void TSeDlg::showEvent(QShowEvent* event) {
    if (!placed_) {
        placed_ = true;
        PlaceOverOwner(this, parentWidget());
    }
    QDialog::showEvent(event);
    Edit1->setFocus();
}

void TSeDlg::ShowLines(const std::vector<std::string>& lines) {
    shownLines_ = lines;
    const QSignalBlocker quiet(ListBox1);
    ListBox1->clear();
    for (const auto& line : lines) ListBox1->addItem(FromSjis(line));
    ListBox1->setCurrentRow(-1);
}

void TSeDlg::SelectNothing() {
    const QSignalBlocker quiet(ListBox1);
    ListBox1->setCurrentRow(-1);
    ListBox1->clearSelection();
}

void TSeDlg::RefuseName(const char* text, bool clear) {
    if (clear) Edit1->clear();
    Prompts().Message(text, "", PromptButtons::Ok, PromptIcon::None);
    Edit1->setFocus();
}

void TSeDlg::BtnNewClick() {
    trimmedName_ = TrimBlanks(ToSjis(Edit1->text()));
    if (trimmedName_.empty()) {
        RefuseName(kNameMissing, false);
        return;
    }
    const int result = OpenSession(true);
    if (result != -1) done(result);
}

void TSeDlg::BtnEnumClick() {
    DPCAPS caps{};
    caps.dwSize = sizeof caps;
    directPlay_->GetCaps(&caps, 0);
    Timer1.SetInterval(int(caps.dwTimeout / 2 + 1000));
    FirstSearch = true;
    RefreshSessionList();
    if (!EnumRunning) return;  // the user cancelled the question of where to search
    Timer1.SetEnabled(true);
    BtnEnum->setEnabled(false);
}

void TSeDlg::Timer1Timer() {
    if (RefreshBusy) return;
    RefreshBusy = true;
    RefreshSessionList();
    int found = -1;
    for (int i = 0; i < count_; ++i)
        if (SessionGuidTable[size_t(i)] == SelectedSessionGuid) found = i;
    if (found >= 0)
        ListBox1->setCurrentRow(found);
    else
        OKBtn->setEnabled(false);
    RefreshBusy = false;
}

void TSeDlg::ListBox1Click() {
    const int row = ListBox1->currentRow();
    if (row < 0 || row >= count_) {
        SelectNothing();
        return;
    }
    BtnNew->setDefault(false);
    OKBtn->setEnabled(true);
    OKBtn->setDefault(true);
    SelectedSessionGuid = SessionGuidTable[size_t(row)];
}

void TSeDlg::OKBtnClick() {
    const int row = ListBox1->currentRow();
    // With no session line selected there is nobody to join.
    if (row < 0 || row >= count_ || size_t(row) >= shownLines_.size()) return;
    const std::string& line = shownLines_[size_t(row)];
    const std::string hostName = TrimBlanks(line.size() > 3 ? line.substr(3) : std::string());
    trimmedName_ = TrimBlanks(ToSjis(Edit1->text()));
    if (trimmedName_.empty()) {
        RefuseName(kNameMissing, false);
        return;
    }
    if (trimmedName_ == hostName) {
        RefuseName(kNameTaken, true);
        return;
    }
    const int result = OpenSession(false, row);
    if (result != -1) done(result);
}

void TSeDlg::CancelBtnClick() {
    Timer1.SetEnabled(false);
    done(kNothingOpened);
}

void TSeDlg::done(int result) {
    Timer1.SetEnabled(false);
    if (EnumRunning) {
        DPSESSIONDESC2 stop{};
        stop.dwSize = kDpSessionDescSize32;
        stopping_ = true;
        directPlay_->EnumSessions(&stop, 0, SessionCallback, this, DPENUMSESSIONS_STOPASYNC);
        stopping_ = false;
        EnumRunning = false;
    }
    if (!SessionOpened) result = kNothingOpened;
    QDialog::done(result);
}

void TSeDlg::RefreshSessionList() {
    count_ = 0;
    ListTruncated = false;
    stringList_.clear();
    if (FirstSearch) {
        stringList_ = {"", "", "", "         " + ToSjis(QString::fromUtf8("通信先を探しています"))};
        ShowLines(stringList_);
        ListBox1->repaint();
    }
    workRecord_ = DPSESSIONDESC2{};
    workRecord_.dwSize = kDpSessionDescSize32;
    workRecord_.guidApplication = applicationGuid_;
    HRESULT result = DP_OK;
    for (int attempt = 0; attempt < kMaxEnumRepeats; ++attempt) {
        result = directPlay_->EnumSessions(&workRecord_, 2500, SessionCallback, this,
                                           DPENUMSESSIONS_ASYNC);
        if (!FAILED(result) || result == DPERR_CONNECTING || result == DPERR_GENERIC ||
            result == DPERR_USERCANCEL)
            break;
    }
    if (result == DPERR_USERCANCEL) {
        // The user cancelled the question of where to search: the search stops until the
        // search button is pressed again, rather than asking again at the next tick.
        Timer1.SetEnabled(false);
        BtnEnum->setEnabled(true);
        ShowLines({});
        FirstSearch = false;
        EnumRunning = false;
        return;
    }
    if (ListTruncated)
        stringList_.push_back(ToSjis(QString::fromUtf8(" ----- これ以上列挙しません ----- ")));
    if (!FirstSearch && count_ == 0) {
        stringList_ = {ToSjis(QString::fromUtf8(" -----  いまは誰もいません  ----- "))};
        OKBtn->setEnabled(false);
    }
    ShowLines(stringList_);
    FirstSearch = false;
    EnumRunning = true;
}

BOOL TSeDlg::SessionCallback(const DPSESSIONDESC2* lpThisSD, DWORD*, DWORD dwFlags,
                             void* lpContext) {
    auto* self = static_cast<TSeDlg*>(lpContext);
    if (self->stopping_ || (dwFlags & DPESC_TIMEDOUT) || lpThisSD == nullptr) return 0;
    if (self->count_ >= self->maxEnumPlayers_) {
        self->ListTruncated = true;
        return 0;
    }
    if (self->FirstSearch) {
        self->ListBox1->clear();
        return 1;
    }
    self->SessionGuidTable[size_t(self->count_)] = lpThisSD->guidInstance;
    const char* name = lpThisSD->lpszSessionNameA ? lpThisSD->lpszSessionNameA : "";
    self->stringList_.push_back(std::string(kSessionPrefix) + name);
    ++self->count_;
    return 1;
}

int TSeDlg::OpenSession(bool create, int line) {
    workRecord_ = DPSESSIONDESC2{};
    workRecord_.dwSize = kDpSessionDescSize32;
    DWORD flags;
    if (create) {
        workRecord_.dwFlags = DPSESSION_MIGRATEHOST | DPSESSION_NOMESSAGEID;
        workRecord_.guidApplication = applicationGuid_;
        workRecord_.dwMaxPlayers = 2;
        workRecord_.lpszSessionNameA = trimmedName_.c_str();
        flags = DPOPEN_CREATE;
    } else {
        if (line < 0 || line >= count_) return -1;
        workRecord_.guidInstance = SessionGuidTable[size_t(line)];
        flags = DPOPEN_JOIN;
    }
    // The passphrase never leaves this computer, so it is not bound to the network's
    // Shift-JIS: it is used as typed, in UTF-8, composed the same way on both sides.
    const QByteArray passphrase = Edit2->text().normalized(QString::NormalizationForm_C).toUtf8();
    usedPassphrase_ = !passphrase.isEmpty();
    workRecord_.lpszPasswordA = usedPassphrase_ ? passphrase.constData() : nullptr;
    HRESULT result = directPlay_->Open(&workRecord_, flags);
    for (int retry = 0; result == DPERR_CONNECTING && retry < kMaxConnectingRetries; ++retry) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        result = directPlay_->Open(&workRecord_, flags);
    }
    workRecord_.lpszPasswordA = nullptr;
    auto fail = [](const char* text, const char* caption) {
        Prompts().Message(text, caption, PromptButtons::Ok, PromptIcon::Warning);
    };
    int outcome = -1;
    if (result == DP_OK) {
        outcome = create ? kCreated : kJoined;
    } else if (result == DPERR_USERCANCEL) {
        outcome = kNothingOpened;
    } else if (result == DPERR_ALREADYINITIALIZED) {
        fail("既に開かれたセッションある。", kNoName);
        outcome = kNothingOpened;
    } else if (result == DPERR_NOCONNECTION) {
        fail("通信リンクが確立されていません。", kNoName);
        outcome = kNothingOpened;
    } else if (result == DPERR_TIMEOUT) {
        fail("処理がタイムアウトしました。固まりました。\n選択した相手が帰ってしまったか、\n他と通信を始めてしまった可能性があります。",
             kNoName);
    } else if (result == DPERR_CANNOTCREATESERVER) {
        fail("このサービスプロバイダーは、このサーバに\nこれ以上のホストを作れません", kCannotStart);
    } else if (result == DPERR_INVALIDPASSWORD) {
        fail(kWrongPassphrase, kCannotStart);
        Edit2->setFocus();
    } else if (result == DPERR_CONNECTIONLOST) {
        fail("セッションとの接続が失われました。\nもしくは選択した相手が帰ってしまったか、\n他と通信を始めてしまった可能性があります。",
             kCannotStart);
    } else {
        fail(kUnknownError, kCannotStart);
    }
    if (outcome != -1) {
        EnumRunning = false;
        if (result == DP_OK) SessionOpened = true;
    }
    return outcome;
}
