// The connection dialog: the user chooses the connection (service provider) to communicate through.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <vector>

#include "net/DirectPlay.h"

class QComboBox;
class QLabel;
class QPushButton;

class TCoDlg : public QDialog {
    Q_OBJECT
public:
    TCoDlg(QWidget* owner, IDirectPlay3A* directPlay, const GUID& application, int preselected);
    ~TCoDlg() override;

    QLabel* Label1;
    QComboBox* ComboBox1;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

    void FormShow();
    void OKBtnClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct ConnectionBlock {
        std::unique_ptr<uint8_t[]> data;
        DWORD size = 0;
    };
    static BOOL EnumConnectionsCallback(const GUID* lpguidSP, void* lpConnection,
                                        DWORD dwConnectionSize, const DPNAME* lpName,
                                        DWORD dwFlags, void* lpContext);

    IDirectPlay3A* directPlay_;
    std::vector<ConnectionBlock> ConnectionList;
    GUID applicationGuid_;
    int preselected_;
    int guaranteedEntry_ = -1;  // the combo box entry of the connection that guarantees delivery
    bool shown_ = false;
};

// The connection dialog while it exists.
extern TCoDlg* CoDlg;
