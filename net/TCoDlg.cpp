// The connection dialog: the usable connections are listed and the chosen one is initialised.
#include "net/TCoDlg.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <cstring>
#include <new>

#include "net/TMan2ManDialogs.h"

using namespace man2man;

TCoDlg* CoDlg = nullptr;

TCoDlg::TCoDlg(QWidget* owner, IDirectPlay3A* directPlay, const GUID& application,
               int preselected)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      directPlay_(directPlay),
      applicationGuid_(application),
      preselected_(preselected) {
    CoDlg = this;
    setWindowTitle(QString::fromUtf8("通信設定"));
    ApplyDialogFont(this);
    setFixedSize(307, 111);

    Label1 = new QLabel(QString::fromUtf8("接続サービスの選択"), this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(32, 12, 105, 12);

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setEditable(false);
    ComboBox1->setGeometry(32, 32, 257, 20);

    OKBtn = new QPushButton(QString::fromUtf8("OK"), this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setGeometry(55, 68, 75, 25);
    OKBtn->setDefault(true);
    OKBtn->setEnabled(false);

    CancelBtn = new QPushButton(QString::fromUtf8("キャンセル"), this);
    CancelBtn->setObjectName("CancelBtn");
    CancelBtn->setGeometry(175, 68, 75, 25);

    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) OKBtn->setEnabled(true);
    });
    connect(OKBtn, &QPushButton::clicked, this, &TCoDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

TCoDlg::~TCoDlg() {
    ConnectionList.clear();
    if (CoDlg == this) CoDlg = nullptr;
}

void TCoDlg::showEvent(QShowEvent* event) {
    if (!shown_) {
        shown_ = true;
        PlaceOverOwner(this, parentWidget());
        FormShow();
    }
    QDialog::showEvent(event);
}

BOOL TCoDlg::EnumConnectionsCallback(const GUID* lpguidSP, void* lpConnection,
                                     DWORD dwConnectionSize, const DPNAME* lpName, DWORD,
                                     void* lpContext) {
    auto* self = static_cast<TCoDlg*>(lpContext);
    IDirectPlay3A* scratch = nullptr;
    if (FAILED(DirectPlayCreateInstance(CLSID_DirectPlay, nullptr, CLSCTX_ALL, IID_IDirectPlay3A,
                                        &scratch)) ||
        scratch == nullptr)
        return 0;
    const HRESULT usable = scratch->InitializeConnection(lpConnection, 0);
    scratch->Release();
    if (FAILED(usable) || lpConnection == nullptr) return 1;
    ConnectionBlock block;
    block.data.reset(new (std::nothrow) uint8_t[dwConnectionSize ? dwConnectionSize : 1]());
    if (!block.data) return 1;
    std::memcpy(block.data.get(), lpConnection, dwConnectionSize);
    block.size = dwConnectionSize;
    self->ConnectionList.push_back(std::move(block));
    if (lpguidSP && *lpguidSP == DPSPGUID_KORVO_TCP && self->guaranteedEntry_ < 0)
        self->guaranteedEntry_ = self->ComboBox1->count();
    const char* name = lpName && lpName->lpszShortNameA ? lpName->lpszShortNameA : "";
    self->ComboBox1->addItem(FromSjis(name));
    return 1;
}

void TCoDlg::FormShow() {
    directPlay_->EnumConnections(&applicationGuid_, EnumConnectionsCallback, this, 0);
    // A combo box selects its first entry by itself; only the preselected one counts here.
    // Without a choice from an earlier connection, the connection that guarantees delivery
    // is offered: over the other one a lost record leaves the two drawings different.
    const int choice = preselected_ >= 0 ? preselected_ : guaranteedEntry_;
    ComboBox1->setCurrentIndex(choice >= 0 && choice < ComboBox1->count() ? choice : -1);
    OKBtn->setEnabled(ComboBox1->currentIndex() >= 0);
}

void TCoDlg::OKBtnClick() {
    const int index = ComboBox1->currentIndex();
    if (index < 0 || index >= int(ConnectionList.size())) return;
    if (FAILED(directPlay_->InitializeConnection(ConnectionList[size_t(index)].data.get(), 0)))
        reject();
    else
        accept();
}
