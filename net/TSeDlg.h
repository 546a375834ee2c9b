// The session dialog: create a new session and wait as host, or search for sessions and join one, under a name.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "net/DirectPlay.h"
#include "net/TMan2ManTimer.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class TSeDlg : public QDialog {
    Q_OBJECT
public:
    // Results of exec().
    static constexpr int kCreated = 1, kJoined = 2, kNothingOpened = 3;

    TSeDlg(QWidget* owner, int maxNameLength, int maxEnumPlayers, const GUID& application,
           IDirectPlay3A* directPlay);
    ~TSeDlg() override;

    QListWidget* ListBox1;
    QLabel* Label1;
    QLineEdit* Edit1;
    // The passphrase ("合言葉"), below the name: shown as dots, may be empty (an open session).
    QLabel* Label2;
    QLineEdit* Edit2;
    // Below the passphrase, shown while it is short: such a passphrase is easy to guess.
    QLabel* Label3;
    static constexpr int kShortPassphrase = 8;  // characters
    QPushButton* BtnNew;
    QPushButton* BtnEnum;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    man2man::TTimer Timer1;

    // The name of the last create or join attempt, trimmed, in Shift-JIS.
    const std::string& TrimmedName() const { return trimmedName_; }
    // Whether the last create or join attempt used a passphrase.
    bool UsedPassphrase() const { return usedPassphrase_; }
    int SessionCount() const { return count_; }
    // The list's lines in Shift-JIS, as shown.
    const std::vector<std::string>& Lines() const { return shownLines_; }

    void BtnNewClick();
    void BtnEnumClick();
    void Timer1Timer();
    void ListBox1Click();
    void OKBtnClick();
    void CancelBtnClick();
    void RefreshSessionList();
    // -1 keeps the dialog open; otherwise the dialog's result.
    int OpenSession(bool create, int line = -1);

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    static BOOL SessionCallback(const DPSESSIONDESC2* lpThisSD, DWORD* lpdwTimeOut,
                                DWORD dwFlags, void* lpContext);
    void ShowLines(const std::vector<std::string>& lines);
    void SelectNothing();
    void RefuseName(const char* text, bool clear);

    IDirectPlay3A* directPlay_;
    GUID applicationGuid_;
    int maxEnumPlayers_;
    int maxNameLength_;
    std::vector<GUID> SessionGuidTable;
    int count_ = 0;
    GUID SelectedSessionGuid = GUID_NULL;
    DPSESSIONDESC2 workRecord_{};
    std::vector<std::string> stringList_;
    std::vector<std::string> shownLines_;
    std::string trimmedName_;
    bool usedPassphrase_ = false;
    bool FirstSearch = false, RefreshBusy = false, EnumRunning = false, SessionOpened = false,
         ListTruncated = false;
    bool stopping_ = false;
    bool placed_ = false;
};

// The session dialog while it exists.
extern TSeDlg* SeDlg;
