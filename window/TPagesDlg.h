// The settings dialog: element counts, the DXF spline parameters and the snap sensitivity.
#pragma once

#include <QDialog>

class DrawingStore;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTabWidget;

class TPagesDlg : public QDialog {
    Q_OBJECT
public:
    // The dialog keeps no values of its own: it reads and writes these, which live in the main
    // window.
    struct Values {
        double* splineResolution;
        double* snapDistance;
        double* arcAngleMin;
        double* arcAngleMax;
    };

    TPagesDlg(QWidget* parent, const DrawingStore& store, Values values);

    void RefreshSettings();
    void TrackBar1Change();
    void Edit1Change();
    void TrackBar2Change();
    void Edit2Change();
    void OKBtnClick();
    void CancelBtnClick();

    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QGroupBox* GroupBox1;
    QGroupBox* GroupBox2;
    QGroupBox* GroupBox3;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QSlider* TrackBar1;
    QSlider* TrackBar2;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

public slots:
    // Escape and the window's close button leave the way Cancel does.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    const DrawingStore& store_;
    Values values_;
    bool placed_ = false;
};
