// The main window's layout: menu, tool bar, drawing area, right band, bottom band, status bar.
#include <QBoxLayout>
#include <QButtonGroup>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>

#include "window/ColourBox.h"
#include "window/CommandTable.h"
#include "window/PageControl.h"
#include "window/PaintBox.h"
#include "window/TForm1.h"

namespace {

constexpr int kPanel2Width = 79;
constexpr int kPanel3Height = 47;
constexpr int kPanel5Width = 239;
constexpr int kCoolBarHeight = 40;
constexpr int kStatusBarHeight = 22;
constexpr int kStatusPanelWidth = 300;

QFont FormFont() {
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    return font;
}

template <typename W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromUtf8(name));
    return widget;
}

QLabel* MakeLabel(const char* name, const char* caption, QWidget* parent) {
    return Named(new QLabel(QString::fromUtf8(caption), parent), name);
}

QLineEdit* MakeEdit(const char* name, const char* text, QWidget* parent) {
    QLineEdit* edit = Named(new QLineEdit(QString::fromUtf8(text), parent), name);
    edit->setFixedHeight(20);
    return edit;
}

QBoxLayout* Tight(QBoxLayout* layout, int margin = 0, int spacing = 0) {
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(spacing);
    return layout;
}

}  // namespace

void TForm1::BuildLayout() {
    setWindowTitle(QStringLiteral("Korvo"));
    setFont(FormFont());

    CommandHosts hosts;
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    hosts.fileMenu = Named(menuBar()->addMenu(QStringLiteral("ファイル(&F)")), "FileMenu");
    hosts.editMenu = Named(menuBar()->addMenu(QStringLiteral("編集(&E)")), "EditMenu");
    hosts.toolMenu = Named(menuBar()->addMenu(QStringLiteral("ツール(&T)")), "ToolMenu");
    for (QMenu* menu : {hosts.fileMenu, hosts.editMenu, hosts.toolMenu}) menu->setFont(font());

    auto* central = Named(new QWidget(this), "Form1Client");
    setCentralWidget(central);
    auto* outer = Tight(new QVBoxLayout(central));
    auto* upper = Tight(new QHBoxLayout);
    outer->addLayout(upper, 1);

    // Centre: the tool bar above the scroll box with the drawing surface.
    Panel1 = Named(new QWidget(central), "Panel1");
    auto* panel1Layout = Tight(new QVBoxLayout(Panel1));
    CoolBar1 = Named(new QFrame(Panel1), "CoolBar1");
    static_cast<QFrame*>(CoolBar1)->setFrameShape(QFrame::StyledPanel);
    CoolBar1->setFixedHeight(kCoolBarHeight);
    hosts.toolBar = Tight(new QHBoxLayout(CoolBar1), 2, 1);  // 33 + 2 + 2 + frame = 40
    hosts.zoomColumn = Tight(new QVBoxLayout);
    ScrollBox1 = Named(new QScrollArea(Panel1), "ScrollBox1");
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PaintBox1 = new TPaintBox(canvas);
    ScrollBox1->setWidget(PaintBox1);
    panel1Layout->addWidget(CoolBar1);
    panel1Layout->addWidget(ScrollBox1, 1);
    upper->addWidget(Panel1, 1);

    upper->addWidget(BuildPanel2(hosts));
    outer->addWidget(BuildPanel3(hosts));
    BuildStatusBar();

    BuildCommands(*this, hosts);
    hosts.toolBar->addStretch(1);

    Timer1 = Named(new QTimer(this), "Timer1");
    Timer1->setInterval(100);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TForm1::PageControl1Change);
    connect(ComboBox1, &QComboBox::activated, this, &TForm1::ComboBox1Change);
}

QWidget* TForm1::BuildPanel2(CommandHosts& hosts) {
    Panel2 = Named(new QFrame, "Panel2");
    Panel2->setFixedWidth(kPanel2Width);
    auto* layout = Tight(new QVBoxLayout(Panel2), 2, 4);

    PageControl1 = new TPageControl(Panel2);
    PageControl1->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    layout->addWidget(PageControl1, 0, Qt::AlignHCenter);
    // The palette: four tabs on the right, every button in one exclusive group.
    paletteGroup = new QButtonGroup(this);
    paletteGroup->setObjectName(QStringLiteral("PaletteGroup"));
    paletteGroup->setExclusive(true);
    const char* tabs[4][2] = {
        {"TabSheet1", "直線"}, {"TabSheet2", "円"}, {"TabSheet3", "編集"}, {"TabSheet4", "ﾂｰﾙ"}};
    for (int i = 0; i < 4; ++i) {
        auto* page = Named(new QWidget, tabs[i][0]);
        auto* grid = new QGridLayout(page);
        grid->setContentsMargins(2, 2, 2, 2);
        grid->setSpacing(1);
        grid->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
        hosts.palette[i] = grid;
        PageControl1->addTab(page, QString::fromUtf8(tabs[i][1]));
    }
    hosts.paletteGroup = paletteGroup;

    ComboBox1 = new TColourBox(Panel2);
    layout->addWidget(ComboBox1, 0, Qt::AlignHCenter);

    // The typed radius and angles, shown only while a command needs them.
    Bevel2 = Named(new QFrame(Panel2), "Bevel2");
    Bevel2->setFrameShape(QFrame::Box);
    Bevel2->setFrameShadow(QFrame::Sunken);
    auto* entries = new QGridLayout(Bevel2);
    entries->setContentsMargins(3, 3, 3, 3);
    entries->setSpacing(2);
    Label3 = MakeLabel("Label3", "半径", Bevel2);
    Edit3 = MakeEdit("Edit3", "10", Bevel2);
    Label4 = MakeLabel("Label4", "開始θ", Bevel2);
    Edit4 = MakeEdit("Edit4", "0", Bevel2);
    Label5 = MakeLabel("Label5", "終了θ", Bevel2);
    Edit5 = MakeEdit("Edit5", "0", Bevel2);
    entries->addWidget(Label3, 0, 0);
    entries->addWidget(Edit3, 1, 0);
    entries->addWidget(Label4, 2, 0);
    entries->addWidget(Edit4, 3, 0);
    entries->addWidget(Label5, 4, 0);
    entries->addWidget(Edit5, 5, 0);
    Bevel2->setFixedHeight(Bevel2->sizeHint().height());
    QSizePolicy keep = Bevel2->sizePolicy();
    keep.setRetainSizeWhenHidden(true);  // the boxes below do not jump when it shows
    Bevel2->setSizePolicy(keep);
    for (QWidget* w :
         std::initializer_list<QWidget*>{Bevel2, Edit3, Edit4, Edit5, Label3, Label4, Label5})
        w->hide();
    layout->addWidget(Bevel2);

    // The user coordinate origin button (made by the command table) and the typed point.
    auto* ucsRow = Tight(new QHBoxLayout);
    layout->addLayout(ucsRow);
    hosts.panel2Row = ucsRow;
    auto* xy = new QGridLayout;
    xy->setSpacing(2);
    Label1 = MakeLabel("Label1", "Ｘ :", Panel2);
    Edit1 = MakeEdit("Edit1", "0", Panel2);
    Label2 = MakeLabel("Label2", "Ｙ :", Panel2);
    Edit2 = MakeEdit("Edit2", "0", Panel2);
    xy->addWidget(Label1, 0, 0);
    xy->addWidget(Edit1, 0, 1);
    xy->addWidget(Label2, 1, 0);
    xy->addWidget(Edit2, 1, 1);
    layout->addLayout(xy);
    layout->addStretch(1);
    return Panel2;
}

QWidget* TForm1::BuildPanel3(CommandHosts& hosts) {
    Panel3 = Named(new QWidget, "Panel3");
    Panel3->setFixedHeight(kPanel3Height);
    auto* layout = Tight(new QHBoxLayout(Panel3));

    Panel4 = Named(new QWidget(Panel3), "Panel4");
    auto* panel4Layout = Tight(new QVBoxLayout(Panel4));
    Memo1 = Named(new QPlainTextEdit(Panel4), "Memo1");
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    panel4Layout->addWidget(Memo1);
    layout->addWidget(Panel4, 1);

    Panel5 = Named(new QWidget(Panel3), "Panel5");
    Panel5->setFixedWidth(kPanel5Width);
    auto* grid = new QGridLayout(Panel5);
    grid->setContentsMargins(3, 2, 3, 2);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    Label6 = MakeLabel("Label6", "通信状況", Panel5);
    Label7 = MakeLabel("Label7", "送信文 :", Panel5);
    Edit6 = MakeEdit("Edit6", "送信内容を記述します", Panel5);
    Edit6->setEnabled(false);
    hosts.panel5Row = Tight(new QHBoxLayout);
    grid->addWidget(Label6, 0, 0, 1, 2);
    grid->addLayout(hosts.panel5Row, 0, 2, Qt::AlignRight);
    grid->addWidget(Label7, 1, 0);
    grid->addWidget(Edit6, 1, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    layout->addWidget(Panel5);
    return Panel3;
}

void TForm1::BuildStatusBar() {
    StatusBar1 = Named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setFixedHeight(kStatusBarHeight);
    for (int i = 0; i < 2; ++i) {
        auto* panel = new QLabel(StatusBar1);
        panel->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        statusPanels[i] = panel;
    }
    // Panel 0 holds the fit-all summary and the cursor's coordinates with the scale, as
    // wide as they are for coordinates of five digits before the point; panel 1 (snap points
    // and picks, with their owners and end points) takes the rest of the bar, never less than
    // its designed 300 pixels. A longer text is cut at the panel, never widens the window.
    const QFontMetrics metrics(statusPanels[0]->font());
    const int frame = 2 * statusPanels[0]->frameWidth() + 8;
    int width = kStatusPanelWidth;
    for (const char* sample :
         {"(-99999.000000 -99999.000000) (-99999.000000 -99999.000000) SC=99.000000",
          "[-99999.000000, -99999.000000] Scale[   99.000000]"})
        width = std::max(width, metrics.horizontalAdvance(QString::fromLatin1(sample)) + frame);
    statusPanels[0]->setFixedWidth(width);
    statusPanels[1]->setMinimumWidth(kStatusPanelWidth);
    statusPanels[1]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusBar1->addWidget(statusPanels[0]);
    StatusBar1->addWidget(statusPanels[1], 1);
    setStatusBar(StatusBar1);
}
