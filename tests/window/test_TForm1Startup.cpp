// The main window as it starts: defaults, layout and every control with its caption and hint.
#include <QAction>
#include <QButtonGroup>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <vector>

#include "test_TForm1Fixture.h"
#include "window/ColourBox.h"

namespace {

QStringList Texts(const QList<QAction*>& actions) {
    QStringList texts;
    for (const QAction* a : actions) texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return texts;
}

struct ExpectedButton {
    const char* name;
    const char* hint;  // "" = no hint
    int w, h;
    bool checkable, checked;
};

}  // namespace

TEST_F(TForm1Test, StartsWithTheDesignedDefaultsAndTheOriginAtThePanelCentre) {
    const QSize panel = form->DrawingPanelSize();
    EXPECT_EQ(form->view.scale, 1.0);
    EXPECT_EQ(form->view.originX, panel.width() / 2);
    EXPECT_EQ(form->view.originY, panel.height() / 2);
    EXPECT_EQ(form->view.viewExtentW, panel.width());
    EXPECT_EQ(form->view.viewExtentH, panel.height());
    EXPECT_EQ(form->PaintBox1->size(), panel);
    // The drawing panel is Panel1 below its tool bar.
    EXPECT_EQ(panel.width(), form->Panel1->width());
    EXPECT_EQ(panel.height(), form->Panel1->height() - form->CoolBar1->height());

    EXPECT_EQ(form->commandCode, 100);
    EXPECT_EQ(form->toolStep, 5);
    EXPECT_EQ(form->snapOn, 1);
    EXPECT_EQ(form->ucsOn, 0);
    EXPECT_EQ(form->ucsOriginX, 0.0);
    EXPECT_EQ(form->ucsOriginY, 0.0);
    EXPECT_EQ(form->SnapDistance, 4000.0);
    EXPECT_EQ(form->SplineResolution, 5.0);
    EXPECT_EQ(form->ArcAngleMin, 140.0);
    EXPECT_EQ(form->ArcAngleMax, 170.0);

    EXPECT_TRUE(Button("SpeedButton30")->isChecked());
    EXPECT_TRUE(Button("SpeedButton35")->isChecked());
    EXPECT_EQ(form->ComboBox1->currentIndex(), 6);
    EXPECT_EQ(form->store.currentLine().colour, 7);
    EXPECT_EQ(form->store.currentCircle().colour, 7);

    // The first paint ran the full redraw into a canvas the size of the visible viewport.
    EXPECT_EQ(form->canvas.image().size(), form->ScrollBox1->viewport()->size());
    EXPECT_EQ(ShownPixel(panel.width() / 2, panel.height() / 2), 0x000000u);
    EXPECT_TRUE(prompts.shown().empty());
}

TEST_F(TForm1Test, WindowHasTheDesignedCaptionFontBandsAndStatusPanels) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Korvo"));
    EXPECT_EQ(form->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    EXPECT_EQ(form->font().pixelSize(), 12);
    EXPECT_TRUE(QFontInfo(form->font()).family().contains(QStringLiteral("Noto")))
        << QFontInfo(form->font()).family().toStdString();
    EXPECT_TRUE(QFontInfo(QFont(QStringLiteral("MSゴシック"))).family().contains("Noto"));

    EXPECT_EQ(form->Panel2->width(), 79);
    EXPECT_EQ(form->Panel3->height(), 47);
    EXPECT_EQ(form->Panel5->width(), 239);
    EXPECT_EQ(form->CoolBar1->height(), 40);
    EXPECT_EQ(form->StatusBar1->height(), 22);
    EXPECT_EQ(form->ComboBox1->width(), 72);
    EXPECT_GE(form->statusPanels[0]->width(), 300);
    EXPECT_GE(form->statusPanels[1]->width(), 300);

    EXPECT_TRUE(form->Memo1->isReadOnly());
    EXPECT_EQ(form->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_FALSE(form->Edit6->isEnabled());
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("送信内容を記述します"));
    EXPECT_EQ(form->Label6->text(), QStringLiteral("通信状況"));
    EXPECT_EQ(form->Label7->text(), QStringLiteral("送信文 :"));
    EXPECT_EQ(Button("SpeedButton34")->text(), QStringLiteral("接続"));
    EXPECT_EQ(form->Label1->text(), QStringLiteral("Ｘ :"));
    EXPECT_EQ(form->Label2->text(), QStringLiteral("Ｙ :"));
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("0"));
    EXPECT_EQ(form->Edit2->text(), QStringLiteral("0"));
    EXPECT_TRUE(form->Edit1->isVisible());

    // The radius and angle boxes wait hidden, with their captions and start values.
    EXPECT_EQ(form->Edit3->text(), QStringLiteral("10"));
    EXPECT_EQ(form->Edit4->text(), QStringLiteral("0"));
    EXPECT_EQ(form->Edit5->text(), QStringLiteral("0"));
    EXPECT_EQ(form->Label3->text(), QStringLiteral("半径"));
    EXPECT_EQ(form->Label4->text(), QStringLiteral("開始θ"));
    EXPECT_EQ(form->Label5->text(), QStringLiteral("終了θ"));
    for (QWidget* w :
         std::initializer_list<QWidget*>{form->Bevel2, form->Edit3, form->Edit4, form->Edit5,
                                         form->Label3, form->Label4, form->Label5})
        EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();

    const QStringList items = {"1:青", "2:赤", "3:紫", "4:緑", "5:水色", "6:黄", "7:白"};
    ASSERT_EQ(form->ComboBox1->count(), 7);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(form->ComboBox1->itemText(i), items[i]);
}

TEST_F(TForm1Test, MainMenuHoldsEveryEntryWithItsAccessKeyAndShortcut) {
    const QList<QAction*> menus = form->menuBar()->actions();
    EXPECT_EQ(Texts(menus), QStringList({"ファイル(&F)", "編集(&E)", "ツール(&T)"}));
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(Texts(menus[0]->menu()->actions()),
              QStringList({"新規作成(&N)", "開く(&O)", "上書き保存(&S)", "名前を付けて保存(&A)",
                           "DXF入力(&I)", "DXF出力(&E)", "Tarnix入力(&L)", "印刷(&P)", "-",
                           "終了(&X)"}));
    EXPECT_EQ(Texts(menus[1]->menu()->actions()),
              QStringList({"元に戻す(&U)", "やり直し(&R)", "削除(&D)", "-", "設定(&S)",
                           "画面消去(&C)", "画像復帰(&B)"}));
    EXPECT_EQ(Texts(menus[2]->menu()->actions()), QStringList({"円弧変換(&R)"}));

    const std::pair<const char*, QString> entries[] = {
        {"FileNew", "Ctrl+N"},  {"FileOpen", "Ctrl+O"},  {"FileSave", "Ctrl+S"},
        {"FilseSaveAs", ""},    {"DXFI1", ""},           {"DXFE1", ""},
        {"FileTarnix1", ""},    {"FilePrint", "Ctrl+P"}, {"FileExit", ""},
        {"Undo1", "Ctrl+Z"},    {"Redo1", "Ctrl+Y, Ctrl+Shift+Z"},
        {"Delete1", "Del"},     {"Settings", ""},        {"FileCls", ""},
        {"RunBack", ""},        {"TooltoArc", ""}};
    for (const auto& [name, keys] : entries) {
        const QAction* a = form->findChild<QAction*>(QString::fromUtf8(name));
        ASSERT_NE(a, nullptr) << name;
        QStringList shown;
        for (const QKeySequence& k : a->shortcuts()) shown << k.toString();
        EXPECT_EQ(shown.join(", "), keys) << name;
    }
}

TEST_F(TForm1Test, ToolBarButtonsComeInOrderWithTheirHintsSizesAndToggles) {
    const ExpectedButton expected[] = {
        {"SpeedButton17", "新規作成", 33, 33, false, false},
        {"SpeedButton18", "DXFファイルを開く", 33, 33, false, false},
        {"SpeedButton19", "", 33, 33, false, false},
        {"SpeedButton33", "設定", 33, 33, false, false},
        {"SpeedButton23", "印刷", 33, 33, false, false},
        {"SpeedButton35", "通信ダイアログ", 33, 33, true, true},
        {"SpeedButton21", "全体表示", 16, 33, false, false},
        {"SpeedButton20", "拡大", 17, 17, false, false},
        {"SpeedButton22", "縮小", 17, 17, false, false},
        {"SpeedButton31", "再描画", 33, 33, false, false},
        {"SpeedButton30", "スナップ ON/OFF", 33, 33, true, true},
    };
    int lastX = -1;
    for (const ExpectedButton& e : expected) {
        QToolButton* b = Button(e.name);
        ASSERT_NE(b, nullptr) << e.name;
        EXPECT_TRUE(form->CoolBar1->isAncestorOf(b)) << e.name;
        EXPECT_EQ(b->toolTip(), QString::fromUtf8(e.hint)) << e.name;
        EXPECT_EQ(b->size(), QSize(e.w, e.h)) << e.name;
        // Whole inside the tool bar, not squeezed or cut.
        const QRect inBar(b->mapTo(form->CoolBar1, QPoint(0, 0)), b->size());
        EXPECT_TRUE(form->CoolBar1->contentsRect().contains(inBar)) << e.name;
        EXPECT_EQ(b->isCheckable(), e.checkable) << e.name;
        EXPECT_EQ(b->isChecked(), e.checked) << e.name;
        EXPECT_TRUE(b->autoRaise()) << e.name;  // flat
        EXPECT_EQ(b->icon().isNull(), std::string(e.name) == "SpeedButton19") << e.name;
        const int x = b->mapTo(form->CoolBar1, QPoint(0, 0)).x();
        if (std::string(e.name) == "SpeedButton22") {
            // The zoom pair shares one column: zoom in above, zoom out below.
            const QToolButton* in = Button("SpeedButton20");
            EXPECT_EQ(x, in->mapTo(form->CoolBar1, QPoint(0, 0)).x());
            EXPECT_EQ(b->mapTo(form->CoolBar1, QPoint(0, 0)).y(),
                      in->mapTo(form->CoolBar1, QPoint(0, 0)).y() + 17);
        } else {
            EXPECT_GT(x, lastX) << e.name;
        }
        lastX = x;
    }
    const QToolButton* ucs = Button("SpeedButton29");
    ASSERT_NE(ucs, nullptr);
    EXPECT_TRUE(form->Panel2->isAncestorOf(ucs));
    EXPECT_EQ(ucs->toolTip(), QStringLiteral("ユーザー座標系の指定"));
    EXPECT_TRUE(ucs->isCheckable());
    EXPECT_FALSE(ucs->isChecked());
}

TEST_F(TForm1Test, PaletteHasFourTabsOnTheRightAndAllButtonsInOneRadioGroup) {
    QTabWidget* palette = form->PageControl1;
    EXPECT_EQ(palette->tabPosition(), QTabWidget::East);
    ASSERT_EQ(palette->count(), 4);
    const QStringList tabs = {"直線", "円", "編集", "ﾂｰﾙ"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(palette->tabText(i), tabs[i]);
    EXPECT_EQ(palette->currentIndex(), 0);

    const std::vector<std::vector<std::pair<const char*, const char*>>> pages = {
        {{"SpeedButton1", ""},
         {"SpeedButton3", "直線"},
         {"SpeedButton4", "長方形"},
         {"SpeedButton5", ""},
         {"SpeedButton6", ""},
         {"SpeedButton7", ""},
         {"SpeedButton8", ""},
         {"SpeedButton9", ""}},
        {{"SpeedButton2", ""},
         {"SpeedButton10", "円"},
         {"SpeedButton11", "塗り潰し円"},
         {"SpeedButton12", "円弧"},
         {"SpeedButton13", "円"},
         {"SpeedButton14", ""},
         {"SpeedButton15", ""},
         {"SpeedButton16", ""}},
        {{"SpeedButton24", ""},
         {"SpeedButton25", "角C"},
         {"SpeedButton26", "角R"},
         {"SpeedButton27", "オフセット"},
         {"SpeedButton28", "削除"},
         {"SpeedButton32", "交差"},
         {"SpeedButton36", "要素分割"}},
        {{"SpeedButton37", ""}, {"SpeedButton38", "角度測定"}},
    };
    QButtonGroup* group = form->paletteGroup;
    EXPECT_TRUE(group->exclusive());
    size_t total = 0;
    for (int tab = 0; tab < 4; ++tab) {
        for (const auto& [name, hint] : pages[size_t(tab)]) {
            QToolButton* b = Button(name);
            ASSERT_NE(b, nullptr) << name;
            EXPECT_TRUE(palette->widget(tab)->isAncestorOf(b)) << name;
            EXPECT_EQ(b->toolTip(), QString::fromUtf8(hint)) << name;
            EXPECT_TRUE(b->isCheckable()) << name;
            EXPECT_EQ(b->group(), group) << name;
            ++total;
        }
    }
    EXPECT_EQ(size_t(group->buttons().size()), total);
    EXPECT_EQ(group->checkedButton(), Button("SpeedButton1"));
}

TEST_F(TForm1Test, ColourBoxPaintsEachItemAsALineInItsColourWithoutText) {
    // The item painter on a grey 72 x 12 item: a 3-pixel line from x 5 to 66 at row 6.
    for (int index : {0, 1, 6}) {
        QImage item(72, 12, QImage::Format_RGB32);
        item.fill(Qt::magenta);
        QPainter painter(&item);
        ComboBox1DrawItem(painter, index, QRect(0, 0, 72, 12), false);
        painter.end();
        const QRgb colours[] = {0x0000FF, 0xFF0000, 0, 0, 0, 0, 0xFFFFFF};
        const QRgb line = colours[index];
        for (int y : {5, 6, 7}) {
            EXPECT_EQ(item.pixel(5, y) & 0xFFFFFF, line) << index << " " << y;
            EXPECT_EQ(item.pixel(66, y) & 0xFFFFFF, line) << index << " " << y;
        }
        EXPECT_EQ(item.pixel(4, 6) & 0xFFFFFF, 0x808080u);
        EXPECT_EQ(item.pixel(67, 6) & 0xFFFFFF, 0x808080u);
        EXPECT_EQ(item.pixel(30, 3) & 0xFFFFFF, 0x808080u);  // no text above the line
        EXPECT_EQ(item.pixel(30, 9) & 0xFFFFFF, 0x808080u);
    }
    // The closed box shows the current item, white, the same way.
    const QImage box = form->ComboBox1->grab().toImage();
    int white = 0;
    for (int x = 0; x < box.width(); ++x)
        if ((box.pixel(x, box.height() / 2) & 0xFFFFFF) == 0xFFFFFF) ++white;
    EXPECT_GT(white, 20);
}
