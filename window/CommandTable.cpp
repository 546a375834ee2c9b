// The table of every menu entry and button of the main window, and the loop that makes them.
#include "window/CommandTable.h"

#include <QAction>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QGridLayout>
#include <QKeySequence>
#include <QMenu>
#include <QToolButton>
#include <algorithm>

#include "window/TForm1.h"

namespace {

using P = CommandPlace;
using G = Glyph;
using F = TForm1;

constexpr int kCtrlZ = (Qt::CTRL | Qt::Key_Z).toCombined();
constexpr int kCtrlY = (Qt::CTRL | Qt::Key_Y).toCombined();
constexpr int kCtrlN = (Qt::CTRL | Qt::Key_N).toCombined();
constexpr int kCtrlO = (Qt::CTRL | Qt::Key_O).toCombined();
constexpr int kCtrlS = (Qt::CTRL | Qt::Key_S).toCombined();
constexpr int kCtrlP = (Qt::CTRL | Qt::Key_P).toCombined();
constexpr int kDelete = QKeyCombination(Qt::Key_Delete).toCombined();
constexpr int kPal = 28;  // palette buttons are 28 x 28, two to a row

// clang-format off
const CommandEntry kCommands[] = {
    // place            name                 caption                  hint                 glyph           handler                   key     w   h  toggle down
    {P::FileMenu,      "FileNew",           "新規作成(&N)",          nullptr,             G::None,        &F::SpeedButton17Click,   kCtrlN, 0,  0, false, false},
    {P::FileMenu,      "FileOpen",          "開く(&O)",              nullptr,             G::None,        &F::FileOpenClick,        kCtrlO, 0,  0, false, false},
    {P::FileMenu,      "FileSave",          "上書き保存(&S)",        nullptr,             G::None,        &F::FileSaveClick,        kCtrlS, 0,  0, false, false},
    {P::FileMenu,      "FilseSaveAs",       "名前を付けて保存(&A)",  nullptr,             G::None,        &F::FilseSaveAsClick,     0,      0,  0, false, false},
    {P::FileMenu,      "DXFI1",             "DXF入力(&I)",           nullptr,             G::None,        &F::DXFI1Click,           0,      0,  0, false, false},
    {P::FileMenu,      "DXFE1",             "DXF出力(&E)",           nullptr,             G::None,        &F::DXFE1Click,           0,      0,  0, false, false},
    {P::FileMenu,      "FileTarnix1",       "Tarnix入力(&L)",        nullptr,             G::None,        &F::FileTarnix1Click,     0,      0,  0, false, false},
    {P::FileMenu,      "FilePrint",         "印刷(&P)",              nullptr,             G::None,        &F::SpeedButton23Click,   kCtrlP, 0,  0, false, false},
    {P::FileMenu,      nullptr,             nullptr,                 nullptr,             G::None,        nullptr,                  0,      0,  0, false, false},
    {P::FileMenu,      "FileExit",          "終了(&X)",              nullptr,             G::None,        &F::FileExitClick,        0,      0,  0, false, false},
    {P::EditMenu,      "Undo1",             "元に戻す(&U)",          nullptr,             G::None,        &F::Undo1Click,           kCtrlZ, 0,  0, false, false},
    {P::EditMenu,      "Redo1",             "やり直し(&R)",          nullptr,             G::None,        &F::Redo1Click,           kCtrlY, 0,  0, false, false},
    {P::EditMenu,      "Delete1",           "削除(&D)",              nullptr,             G::None,        &F::Delete1Click,         kDelete, 0, 0, false, false},
    {P::EditMenu,      nullptr,             nullptr,                 nullptr,             G::None,        nullptr,                  0,      0,  0, false, false},
    {P::EditMenu,      "Settings",          "設定(&S)",              nullptr,             G::None,        &F::SettingsClick,        0,      0,  0, false, false},
    {P::EditMenu,      "FileCls",           "画面消去(&C)",          nullptr,             G::None,        &F::FileClsClick,         0,      0,  0, false, false},
    {P::EditMenu,      "RunBack",           "画像復帰(&B)",          nullptr,             G::None,        &F::RunBackClick,         0,      0,  0, false, false},
    {P::ToolMenu,      "TooltoArc",         "円弧変換(&R)",          nullptr,             G::None,        &F::TooltoArcClick,       0,      0,  0, false, false},

    {P::ToolBar,       "SpeedButton17",     nullptr, "新規作成",                          G::New,         &F::SpeedButton17Click,   0,     33, 33, false, false},
    {P::ToolBar,       "SpeedButton18",     nullptr, "DXFファイルを開く",                 G::OpenDxf,     &F::DXFI1Click,           0,     33, 33, false, false},
    {P::ToolBar,       "SpeedButton19",     nullptr, nullptr,                             G::None,        &F::SpeedButton19Click,   0,     33, 33, false, false},
    {P::ToolBar,       "SpeedButton33",     nullptr, "設定",                              G::Settings,    &F::SettingsClick,        0,     33, 33, false, false},
    {P::ToolBar,       "SpeedButton23",     nullptr, "印刷",                              G::Print,       &F::SpeedButton23Click,   0,     33, 33, false, false},
    {P::ToolBar,       "SpeedButton35",     nullptr, "通信ダイアログ",                    G::Chat,        &F::SpeedButton35Click,   0,     33, 33, true,  true},
    {P::ToolBar,       "SpeedButton21",     nullptr, "全体表示",                          G::Fit,         &F::SpeedButton21Click,   0,     16, 33, false, false},
    {P::ToolBarZoom,   "SpeedButton20",     nullptr, "拡大",                              G::ZoomIn,      &F::SpeedButton20Click,   0,     17, 17, false, false},
    {P::ToolBarZoom,   "SpeedButton22",     nullptr, "縮小",                              G::ZoomOut,     &F::SpeedButton22Click,   0,     17, 17, false, false},
    {P::ToolBar,       "SpeedButton31",     nullptr, "再描画",                            G::Redraw,      &F::RunBackClick,         0,     33, 33, false, false},
    {P::ToolBar,       "SpeedButton30",     nullptr, "スナップ ON/OFF",                   G::Snap,        &F::SpeedButton30Click,   0,     33, 33, true,  true},

    {P::PaletteLine,   "SpeedButton1",      nullptr, nullptr,                             G::Select,      &F::SpeedButton1Click,    0,   kPal, kPal, true, true},
    {P::PaletteLine,   "SpeedButton3",      nullptr, "直線",                              G::Line,        &F::SpeedButton3Click,    0,   kPal, kPal, true, false},
    {P::PaletteLine,   "SpeedButton4",      nullptr, "長方形",                            G::Rectangle,   &F::SpeedButton4Click,    0,   kPal, kPal, true, false},
    {P::PaletteLine,   "SpeedButton5",      nullptr, nullptr,                             G::None,        nullptr,                  0,   kPal, kPal, true, false},
    {P::PaletteLine,   "SpeedButton6",      nullptr, nullptr,                             G::None,        nullptr,                  0,   kPal, kPal, true, false},
    {P::PaletteLine,   "SpeedButton7",      nullptr, nullptr,                             G::None,        nullptr,                  0,   kPal, kPal, true, false},
    {P::PaletteLine,   "SpeedButton8",      nullptr, nullptr,                             G::None,        nullptr,                  0,   kPal, kPal, true, false},
    {P::PaletteLine,   "SpeedButton9",      nullptr, nullptr,                             G::None,        nullptr,                  0,   kPal, kPal, true, false},
    // The select buttons of the other tabs come down when their tab becomes active: the
    // group is exclusive, so only the current command's button is down.
    {P::PaletteCircle, "SpeedButton2",      nullptr, nullptr,                             G::Select,      &F::SpeedButton1Click,    0,   kPal, kPal, true, false},
    {P::PaletteCircle, "SpeedButton10",     nullptr, "円",                                G::CircleRadius, &F::SpeedButton10Click,  0,   kPal, kPal, true, false},
    {P::PaletteCircle, "SpeedButton11",     nullptr, "塗り潰し円",                        G::FilledCircle, &F::SpeedButton11Click,  0,   kPal, kPal, true, false},
    {P::PaletteCircle, "SpeedButton12",     nullptr, "円弧",                              G::Arc,         &F::SpeedButton12Click,   0,   kPal, kPal, true, false},
    {P::PaletteCircle, "SpeedButton13",     nullptr, "円",                                G::CircleCentre, &F::SpeedButton13Click,  0,   kPal, kPal, true, false},
    {P::PaletteCircle, "SpeedButton14",     nullptr, nullptr,                             G::Arc3,        &F::SpeedButton14Click,   0,   kPal, kPal, true, false},
    {P::PaletteCircle, "SpeedButton15",     nullptr, nullptr,                             G::None,        nullptr,                  0,   kPal, kPal, true, false},
    {P::PaletteCircle, "SpeedButton16",     nullptr, nullptr,                             G::None,        nullptr,                  0,   kPal, kPal, true, false},
    {P::PaletteEdit,   "SpeedButton24",     nullptr, nullptr,                             G::Select,      &F::SpeedButton1Click,    0,   kPal, kPal, true, false},
    {P::PaletteEdit,   "SpeedButton25",     nullptr, "角C",                               G::Chamfer,     &F::SpeedButton25Click,   0,   kPal, kPal, true, false},
    {P::PaletteEdit,   "SpeedButton26",     nullptr, "角R",                               G::Fillet,      &F::SpeedButton26Click,   0,   kPal, kPal, true, false},
    {P::PaletteEdit,   "SpeedButton27",     nullptr, "オフセット",                        G::Offset,      &F::SpeedButton27Click,   0,   kPal, kPal, true, false},
    {P::PaletteEdit,   "SpeedButton28",     nullptr, "削除",                              G::Delete,      &F::SpeedButton28Click,   0,   kPal, kPal, true, false},
    {P::PaletteEdit,   "SpeedButton32",     nullptr, "交差",                              G::Trim,        &F::SpeedButton32Click,   0,   kPal, kPal, true, false},
    {P::PaletteEdit,   "SpeedButton36",     nullptr, "要素分割",                          G::Split,       &F::SpeedButton36Click,   0,   kPal, kPal, true, false},
    {P::PaletteTool,   "SpeedButton37",     nullptr, nullptr,                             G::Select,      &F::SpeedButton1Click,    0,   kPal, kPal, true, false},
    {P::PaletteTool,   "SpeedButton38",     nullptr, "角度測定",                          G::Angle,       &F::SpeedButton38Click,   0,   kPal, kPal, true, false},

    {P::Panel2,        "SpeedButton29",     nullptr, "ユーザー座標系の指定",              G::Ucs,         &F::SpeedButton29Click,   0,     28, 28, true,  false},
    {P::Panel5,        "SpeedButton34",     "接続",  nullptr,                             G::None,        &F::SpeedButton34Click,   0,     64, 20, false, false},
};
// clang-format on

QMenu* MenuOf(const CommandHosts& hosts, CommandPlace place) {
    switch (place) {
        case P::FileMenu:
            return hosts.fileMenu;
        case P::EditMenu:
            return hosts.editMenu;
        case P::ToolMenu:
            return hosts.toolMenu;
        default:
            return nullptr;
    }
}

int PaletteTab(CommandPlace place) {
    switch (place) {
        case P::PaletteLine:
            return 0;
        case P::PaletteCircle:
            return 1;
        case P::PaletteEdit:
            return 2;
        case P::PaletteTool:
            return 3;
        default:
            return -1;
    }
}

QToolButton* MakeButton(const CommandEntry& e) {
    auto* button = new QToolButton;
    button->setObjectName(QString::fromUtf8(e.name));
    button->setAutoRaise(e.caption == nullptr);  // the glyph buttons are flat
    button->setFixedSize(e.width, e.height);
    button->setFocusPolicy(Qt::NoFocus);
    if (e.caption) {
        button->setText(QString::fromUtf8(e.caption));
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    } else {
        const int side = std::min(e.width, e.height);
        const int iconSize = side >= 24 ? side - 7 : side - 2;
        button->setIcon(GlyphIcon(e.glyph, iconSize));
        button->setIconSize(QSize(iconSize, iconSize));
    }
    if (e.hint) button->setToolTip(QString::fromUtf8(e.hint));
    button->setCheckable(e.toggle);
    button->setChecked(e.down);
    // A place in the palette without a command can never look chosen while another runs.
    if (!e.handler) button->setEnabled(false);
    return button;
}

}  // namespace

std::span<const CommandEntry> CommandTable() { return kCommands; }

void BuildCommands(TForm1& form, const CommandHosts& hosts) {
    int paletteCount[4] = {0, 0, 0, 0};
    for (const CommandEntry& e : kCommands) {
        if (QMenu* menu = MenuOf(hosts, e.place)) {
            if (!e.name) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(QString::fromUtf8(e.caption));
            action->setObjectName(QString::fromUtf8(e.name));
            if (e.shortcut) {
                QList<QKeySequence> keys{QKeySequence(QKeyCombination::fromCombined(e.shortcut))};
                // Redo answers to both keys desktop programs use for it.
                if (e.shortcut == kCtrlY) keys.append(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
                action->setShortcuts(keys);
            }
            if (e.handler)
                QObject::connect(action, &QAction::triggered, &form,
                                 [&form, h = e.handler] { (form.*h)(); });
            continue;
        }
        QToolButton* button = MakeButton(e);
        if (const int tab = PaletteTab(e.place); tab >= 0) {
            const int n = paletteCount[tab]++;
            hosts.palette[tab]->addWidget(button, n / 2, n % 2);
            hosts.paletteGroup->addButton(button);
        } else if (e.place == P::ToolBar) {
            hosts.toolBar->addWidget(button);
        } else if (e.place == P::ToolBarZoom) {
            // The stacked pair takes its place in the tool bar where its first button comes.
            if (!hosts.zoomColumn->parent()) hosts.toolBar->addLayout(hosts.zoomColumn);
            hosts.zoomColumn->addWidget(button);
        } else if (e.place == P::Panel2) {
            hosts.panel2Row->addWidget(button);
        } else {
            hosts.panel5Row->addWidget(button);
        }
        if (e.handler)
            QObject::connect(button, &QToolButton::clicked, &form,
                             [&form, h = e.handler] { (form.*h)(); });
    }
}
