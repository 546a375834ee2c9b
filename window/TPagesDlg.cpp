// The settings dialog: its layout, the mirroring of track bars and boxes, and the write-back.
#include "window/TPagesDlg.h"

#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <climits>
#include <cmath>
#include <optional>
#include <string>

#include "kernel/UserPrompts.h"
#include "model/DrawingStore.h"

namespace {

// A box's text as a decimal integer, or nothing. Blanks around the digits are forgiven, as
// they are for the program's floating-point boxes; anything outside the 32-bit range is no
// integer at all rather than a silently wrapped one.
std::optional<int> BoxInteger(const QString& text) {
    const std::string s = text.toStdString();
    const size_t first = s.find_first_not_of(" \t");
    if (first != std::string::npos) {
        const size_t last = s.find_last_not_of(" \t");
        size_t i = first;
        const bool negative = s[i] == '-';
        if (s[i] == '+' || s[i] == '-') ++i;
        long long magnitude = 0;
        bool digits = i <= last;
        for (; digits && i <= last; ++i) {
            if (s[i] < '0' || s[i] > '9')
                digits = false;
            else if ((magnitude = magnitude * 10 + (s[i] - '0')) > 2147483648LL)
                digits = false;
        }
        const long long value = negative ? -magnitude : magnitude;
        if (digits && value >= INT_MIN && value <= INT_MAX) return int(value);
    }
    return std::nullopt;
}

// trunc(value), kept inside the integer range so that a value beyond it cannot make the
// conversion undefined.
int TruncToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= double(INT_MAX)) return INT_MAX;
    if (value <= double(INT_MIN)) return INT_MIN;
    return int(std::trunc(value));
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, QRect place) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, QRect place) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(place);
    return edit;
}

QSlider* MakeTrackBar(QWidget* parent, const char* name, int minimum, int maximum, int pageSize,
                      int frequency, QRect place) {
    auto* bar = new QSlider(Qt::Horizontal, parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setRange(minimum, maximum);
    bar->setSingleStep(1);
    bar->setPageStep(pageSize);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setTickInterval(frequency);
    bar->setGeometry(place);
    return bar;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, const char* caption, QRect place) {
    auto* group = new QGroupBox(QString::fromUtf8(caption), parent);
    group->setObjectName(QString::fromLatin1(name));
    group->setGeometry(place);
    return group;
}

}  // namespace

TPagesDlg::TPagesDlg(QWidget* parent, const DrawingStore& store, Values values)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      store_(store),
      values_(values) {
    setObjectName(QStringLiteral("PagesDlg"));
    setWindowTitle(QString::fromUtf8("設定"));
    QFont font(QString::fromUtf8("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);
    setFixedSize(338, 248);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(8, 8, 322, 201);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet1, QString::fromUtf8("基本"));
    PageControl1->addTab(TabSheet2, QString::fromUtf8("詳細"));

    // The tables of lines, circles, points and texts grow as far as memory allows.
    GroupBox1 = MakeGroup(TabSheet1, "GroupBox1", "要素情報 (上限=メモリ)", {4, 6, 152, 86});
    // A fixed-pitch face, so that the padded prefixes put the counts in one column even where
    // the Japanese face is missing.
    QFont counts(QString::fromUtf8("ＭＳ ゴシック"));
    counts.setPixelSize(12);
    counts.setStyleHint(QFont::TypeWriter);
    Label1 = MakeLabel(GroupBox1, "Label1", "", {6, 20, 142, 14});
    Label2 = MakeLabel(GroupBox1, "Label2", "", {6, 35, 142, 14});
    Label3 = MakeLabel(GroupBox1, "Label3", "", {6, 50, 142, 14});
    Label4 = MakeLabel(GroupBox1, "Label4", "", {6, 65, 142, 14});
    for (QLabel* label : {Label1, Label2, Label3, Label4}) label->setFont(counts);

    GroupBox2 = MakeGroup(TabSheet1, "GroupBox2", "DXF読込み時パラメータ", {160, 6, 154, 154});
    Label5 = MakeLabel(GroupBox2, "Label5", "Spline->Line 分解能", {6, 20, 144, 14});
    TrackBar1 = MakeTrackBar(GroupBox2, "TrackBar1", 1, 20, 2, 2, {4, 38, 106, 26});
    Edit1 = MakeEdit(GroupBox2, "Edit1", {114, 40, 32, 20});
    Label6 = MakeLabel(GroupBox2, "Label6", "Spline->円弧変換しきい角", {6, 78, 144, 14});
    Edit3 = MakeEdit(GroupBox2, "Edit3", {8, 98, 40, 20});
    Label7 = MakeLabel(GroupBox2, "Label7", "≦θ＜", {54, 100, 40, 14});
    Label7->setAlignment(Qt::AlignCenter);
    Edit4 = MakeEdit(GroupBox2, "Edit4", {100, 98, 40, 20});

    GroupBox3 = MakeGroup(TabSheet1, "GroupBox3", "スナップ感度", {4, 98, 152, 62});
    TrackBar2 = MakeTrackBar(GroupBox3, "TrackBar2", 1, 100, 10, 20, {4, 24, 106, 26});
    Edit2 = MakeEdit(GroupBox3, "Edit2", {114, 26, 32, 20});

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(172, 216, 75, 25);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QString::fromUtf8("キャンセル"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(255, 216, 75, 25);

    // The boxes follow the user's typing only (textEdited): a box rewritten from its bar must
    // not convert itself back, or a bar and a box could chase each other.
    connect(TrackBar1, &QSlider::valueChanged, this, &TPagesDlg::TrackBar1Change);
    connect(TrackBar2, &QSlider::valueChanged, this, &TPagesDlg::TrackBar2Change);
    for (QLineEdit* edit : {Edit1, Edit3, Edit4})
        connect(edit, &QLineEdit::textEdited, this, &TPagesDlg::Edit1Change);
    connect(Edit2, &QLineEdit::textEdited, this, &TPagesDlg::Edit2Change);
    connect(OKBtn, &QPushButton::clicked, this, &TPagesDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TPagesDlg::CancelBtnClick);

    RefreshSettings();
}

void TPagesDlg::RefreshSettings() {
    Label1->setText(QString::fromUtf8("  Line要素数 : ") + QString::number(store_.lineTop));
    Label2->setText(QString::fromUtf8("Circle要素数 : ") + QString::number(store_.circleTop));
    Label3->setText(QString::fromUtf8("  text要素数 : ") + QString::number(store_.textCount));
    Label4->setText(QString::fromUtf8(" Point要素数 : ") + QString::number(store_.pointTop));
    // The bar does not signal when it already stands at the value, so each box is written
    // here and not left to the bar.
    TrackBar1->setValue(TruncToInt(*values_.splineResolution));
    Edit1->setText(QString::number(TrackBar1->value()));
    TrackBar2->setValue(TruncToInt(*values_.snapDistance) / 200);
    Edit2->setText(QString::number(TrackBar2->value()));
    Edit3->setText(QString::number(TruncToInt(*values_.arcAngleMin)));
    Edit4->setText(QString::number(TruncToInt(*values_.arcAngleMax)));
}

void TPagesDlg::TrackBar1Change() {
    // Rewriting an unchanged text would only throw the caret to the end under the user's typing.
    const QString text = QString::number(TrackBar1->value());
    if (Edit1->text() != text) Edit1->setText(text);
}

// Also attached to Edit3 and Edit4, and it converts Edit1 whichever box was edited. A box
// that does not read (yet) is left alone while the user types: OK says what is wrong.
void TPagesDlg::Edit1Change() {
    if (const auto value = BoxInteger(Edit1->text())) TrackBar1->setValue(*value);
}

void TPagesDlg::TrackBar2Change() {
    const QString text = QString::number(TrackBar2->value());
    if (Edit2->text() != text) Edit2->setText(text);
}

void TPagesDlg::Edit2Change() {
    if (const auto value = BoxInteger(Edit2->text())) TrackBar2->setValue(*value);
}

void TPagesDlg::OKBtnClick() {
    // Every box is read before anything is written: a box that does not read keeps the
    // dialog open on that box, says which it is, and leaves every setting as it was.
    struct Box {
        QLineEdit* edit;
        QLabel* label;
        QSlider* bar;  // the range the value must lie in, if any
        int value = 0;
    };
    Box boxes[] = {{Edit1, Label5, TrackBar1}, {Edit2, nullptr, TrackBar2},
                   {Edit3, Label6, nullptr}, {Edit4, Label6, nullptr}};
    for (Box& box : boxes) {
        const auto value = BoxInteger(box.edit->text());
        const bool inRange =
            value && (!box.bar || (*value >= box.bar->minimum() && *value <= box.bar->maximum()));
        if (inRange) {
            box.value = *value;
            continue;
        }
        const QString name = box.label ? box.label->text() : GroupBox3->title();
        QString text = QStringLiteral("「%1」の値 '%2' は").arg(name, box.edit->text());
        text += box.bar ? QStringLiteral("%1 から %2 までの整数ではありません")
                              .arg(box.bar->minimum())
                              .arg(box.bar->maximum())
                        : QStringLiteral("有効な整数ではありません");
        Prompts().Message(text.toStdString(), "Korvo", PromptButtons::Ok, PromptIcon::Error);
        box.edit->setFocus();
        box.edit->selectAll();
        return;
    }
    *values_.splineResolution = double(boxes[0].value);
    *values_.snapDistance = boxes[1].value * 200.0;
    *values_.arcAngleMin = double(boxes[2].value);
    *values_.arcAngleMax = double(boxes[3].value);
    accept();
}

void TPagesDlg::CancelBtnClick() {
    RefreshSettings();
    QDialog::reject();
}

void TPagesDlg::reject() { CancelBtnClick(); }

void TPagesDlg::showEvent(QShowEvent* event) {
    // Centred on the screen when first shown; later showings find it where the user left it.
    if (!placed_) {
        placed_ = true;
        if (const QScreen* s = screen()) {
            const QRect area = s->availableGeometry();
            const QSize size = frameGeometry().size();
            move(area.left() + (area.width() - size.width()) / 2,
                 area.top() + (area.height() - size.height()) / 2);
        }
    }
    QDialog::showEvent(event);
}
