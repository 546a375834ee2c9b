// What desktop drafting hands do without thinking: wheel zoom, middle pan, Escape, the Ctrl
// keys, fit on open, a cancelled load, chamfer, Qt's dialogs in Japanese.
#include <QAction>
#include <QButtonGroup>
#include <QLabel>
#include <QDir>
#include <QLibraryInfo>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "files/DacFile.h"
#include "tests/window/test_TForm1Fixture.h"
#include "window/LoadProgress.h"
#include "window/QtJapanese.h"

namespace {

class TForm1HabitsTest : public TForm1Test {
protected:
    // A wheel turn over the surface; what the surface leaves goes on to the scroll area, as
    // the application passes a real wheel event up to the parents.
    void Wheel(QPoint at, int delta, Qt::KeyboardModifiers mods) {
        QWheelEvent e(QPointF(at), form->PaintBox1->mapToGlobal(QPointF(at)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QApplication::sendEvent(form->PaintBox1, &e);
        if (!e.isAccepted()) {
            QWheelEvent up(QPointF(form->PaintBox1->mapTo(form->ScrollBox1->viewport(), at)),
                           e.globalPosition(), QPoint(), e.angleDelta(), Qt::NoButton, mods,
                           Qt::NoScrollPhase, false);
            QApplication::sendEvent(form->ScrollBox1->viewport(), &up);
        }
        Settle();
    }
    // A mouse event at a point of the screen, wherever the surface has scrolled to.
    void Mouse(QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(form->PaintBox1->mapFromGlobal(global)), QPointF(global), button,
                      held, Qt::NoModifier);
        QApplication::sendEvent(form->PaintBox1, &e);
        Settle();
    }
    void Key(QWidget* to, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(to, Qt::Key(key), mods);
        Settle();
    }
    std::string TempPath(const char* name) const { return (dir_ + "/" + name); }

    std::string dir_ = QDir::tempPath().toStdString();
};

TEST_F(TForm1HabitsTest, CtrlWheelZoomsAboutThePointerAndTheMiddleButtonPansMidCommand) {
    form->store.AddLine(-100, -100, 100, 100, 1);
    form->SpeedButton20Click();  // a surface larger than the panel: the plain wheel scrolls
    Button("SpeedButton3")->click();
    form->SnapDistance = 0;
    Hover(At(0, 0));
    Click(At(0, 0));
    ASSERT_EQ(form->toolStep, 9);
    const WorldPoint band = form->tools.machine.rubberPoint;

    // Each notch is a step of √2 about the pixel under the pointer, whose world point stays
    // there, however many notches turn.
    const QPoint p = At(40, 30);
    const double x = form->view.WorldX(p.x()), y = form->view.WorldY(p.y());
    for (const auto& [delta, factor] :
         {std::pair{120, M_SQRT1_2}, {240, 0.5}, {-360, 2 * M_SQRT2}, {120, M_SQRT1_2}}) {
        const double before = form->view.scale;
        Wheel(p, delta, Qt::ControlModifier);
        EXPECT_NEAR(form->view.scale, before * factor, before * 1e-12) << delta;
        EXPECT_EQ(QPoint(form->view.ScreenX(x), form->view.ScreenY(y)), p) << delta;
    }
    // A touchpad's part notches add up; the plain wheel scrolls.
    const double scale = form->view.scale;
    Wheel(p, 60, Qt::ControlModifier);
    EXPECT_EQ(form->view.scale, scale);
    Wheel(p, 60, Qt::ControlModifier);
    EXPECT_NEAR(form->view.scale, scale * M_SQRT1_2, scale * 1e-12);
    const int v = VBar()->value();
    Wheel(p, -120, Qt::NoModifier);
    EXPECT_GT(VBar()->value(), v);
    EXPECT_NEAR(form->view.scale, scale * M_SQRT1_2, scale * 1e-12);
    // Zooming in stops at the finest scale with a word in the status bar.
    for (int i = 0; i < 60; ++i) Wheel(p, 120, Qt::ControlModifier);
    EXPECT_GE(form->view.scale, View::kMinScale);
    EXPECT_EQ(form->StatusPanelText(0), QStringLiteral("これ以上拡大できません"));
    EXPECT_EQ(form->toolStep, 9);
    EXPECT_EQ(form->tools.machine.rubberPoint, band);

    // The middle button drags the drawing with the pointer, past the scroll bars' ends,
    // and the half-drawn line waits as it was.
    form->SpeedButton21Click();
    const QPoint from = At(0, 0);
    const QPoint seen = from - QPoint(HBar()->value(), VBar()->value());
    const QPoint global = form->PaintBox1->mapToGlobal(from);
    Mouse(QEvent::MouseButtonPress, global, Qt::MiddleButton, Qt::MiddleButton);
    for (int step = 1; step <= 4; ++step)
        Mouse(QEvent::MouseMove, global + QPoint(-300, 120) * step, Qt::NoButton, Qt::MiddleButton);
    Mouse(QEvent::MouseButtonRelease, global + QPoint(-1200, 480), Qt::MiddleButton, Qt::NoButton);
    const QPoint moved = At(0, 0) - QPoint(HBar()->value(), VBar()->value()) - seen;
    EXPECT_EQ(moved, QPoint(-1200, 480));
    EXPECT_EQ(form->commandCode, 101);
    EXPECT_EQ(form->toolStep, 9);
    EXPECT_EQ(form->tools.machine.firstPoint, band);
}

TEST_F(TForm1HabitsTest, EscapeEndsTheStepThenTheCommandAndEachShortcutReachesItsCommand) {
    form->store.AddLine(0, 0, 100, 0, 1);
    form->store.AddLine(100, 0, 100, 100, 1);
    Button("SpeedButton3")->click();
    Hover(At(-50, -50));
    Click(At(-50, -50));
    Hover(At(-20, -40));
    ASSERT_EQ(form->toolStep, 9);
    QWidget* focus = form->Edit1;  // choosing a command gives the typed point's box the focus
    focus->setFocus();
    Key(focus, Qt::Key_Escape);
    EXPECT_EQ(form->toolStep, 0);
    EXPECT_EQ(form->commandCode, 101);
    EXPECT_EQ(ShownPixel(At(-35, -45).x(), At(-35, -45).y()), 0x000000u);  // band gone
    Key(focus, Qt::Key_Escape);
    EXPECT_EQ(form->commandCode, 100);
    EXPECT_EQ(form->toolStep, 5);
    EXPECT_EQ(form->paletteGroup->checkedButton(), Button("SpeedButton1"));

    // A pick command goes back to its first pick; Delete takes the highlighted element.
    form->PageControl1->setCurrentIndex(2);
    Button("SpeedButton32")->click();
    HoverAndClick(50, 2);
    ASSERT_EQ(form->toolStep, 4);
    Key(form->Edit1, Qt::Key_Escape);
    EXPECT_EQ(form->toolStep, 3);
    EXPECT_EQ(form->store.firstPick, -1);
    Hover(At(98, 50));
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(form->PaintBox1, &enter);
    Key(form->Edit1, Qt::Key_Delete);
    EXPECT_EQ(AliveLines(), 1);
    Key(form->Edit1, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(AliveLines(), 2);
    Key(form->Edit1, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(AliveLines(), 1);
    Key(form.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form->Memo1->toPlainText().split('\n').last(), QStringLiteral("Nothing to REDO."));
    // With the pointer off the drawing, Delete edits the box.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(form->PaintBox1, &leave);
    form->Edit1->setText("12");
    form->Edit1->setCursorPosition(0);
    Key(form->Edit1, Qt::Key_Delete);
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("2"));
    EXPECT_EQ(AliveLines(), 1);

    // The file keys open their dialogs (answered with Cancel), Ctrl+P asks before printing.
    // The drawing has changed, so opening and starting anew ask about it first.
    prompts.clear();
    prompts.AnswerMessages({PromptAnswer::Cancel});
    prompts.AnswerSaveQuestions({PromptAnswer::No, PromptAnswer::Cancel});
    for (int key : {Qt::Key_O, Qt::Key_S, Qt::Key_P, Qt::Key_N}) Key(form.get(), key, Qt::ControlModifier);
    const auto shown = prompts.shownBesidesSaveQuestions();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].kind, ScriptedPrompts::Shown::Kind::OpenFile);
    EXPECT_EQ(shown[1].kind, ScriptedPrompts::Shown::Kind::SaveFile);  // no file yet: save as
    EXPECT_EQ(shown[2].text, "印刷開始します");
    EXPECT_EQ(prompts.shown().back().buttons, PromptButtons::SaveDiscardCancel);  // Ctrl+N

    // Ctrl+S on a drawing with its own file writes it there without asking.
    const std::string path = TempPath("korvo_habits_save.dac");
    prompts.AnswerTexts({path});
    form->FilseSaveAsClick();
    form->store.AddLine(0, 50, 10, 50, 1);
    prompts.clear();
    Key(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(prompts.shown().empty());
    std::vector<DacRecord> records;
    ASSERT_TRUE(ReadDacFile(path, records));
    EXPECT_EQ(std::count_if(records.begin(), records.end(), [](const DacRecord& r) { return r.kind == 'L'; }), 2);
}

TEST_F(TForm1HabitsTest, OpeningFitsTheDrawingAndACancelledLoadLeavesTheDrawingAsItWas) {
    const std::string path = TempPath("korvo_habits_far.dac");
    form->store.AddLine(5000, 5000, 5400, 5300, 1);
    for (int i = 0; i < 5000; ++i) form->store.AppendLine(5000 + i % 100, 5000 + i / 100, 5001 + i % 100, 5000 + i / 100);
    prompts.AnswerTexts({path});
    form->FilseSaveAsClick();
    form->store.ClearStore();
    form->store.AddLine(0, 0, 10, 0, 1);
    for (int i = 0; i < 3; ++i) form->SpeedButton20Click();  // zoomed in elsewhere

    for (bool cancel : {true, false}) {
        LoadProgress::showAfterMs = 0;
        QTimer poll;
        if (cancel) {
            QObject::connect(&poll, &QTimer::timeout, [] {
                if (auto* d = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget()))
                    QTest::mouseClick(d->findChild<QPushButton*>(), Qt::LeftButton);
            });
            poll.start(0);
        }
        prompts.clear();
        const bool opened = form->OpenDacFile(path);
        LoadProgress::showAfterMs = 500;
        Settle();
        EXPECT_EQ(opened, !cancel);
        if (cancel) {
            EXPECT_EQ(prompts.messageTexts(),
                      std::vector<std::string>{"読み込みを取り消しました。何も読み込まれていません"});
            EXPECT_EQ(AliveLines(), 1);
            EXPECT_EQ(form->store.line(0).x2, 10.0);
            EXPECT_EQ(form->CaptionPath().toStdString(), path);  // as the save left it
        }
    }
    // The opened drawing is what fit all shows, and the undo history starts with it.
    ASSERT_EQ(AliveLines(), 5001);
    EXPECT_EQ(form->store.line(0).x1, 5000.0);
    const View opened = form->view;
    form->SpeedButton21Click();
    EXPECT_EQ(form->view.scale, opened.scale);
    EXPECT_EQ(form->view.originX, opened.originX);
    EXPECT_EQ(form->view.originY, opened.originY);
    form->Undo1Click();
    EXPECT_EQ(AliveLines(), 5001);
}

TEST_F(TForm1HabitsTest, ChamferCutsBothLinesAtTheDistanceAndJoinsThemAsOneUndoableAction) {
    form->store.AddLine(0, 0, 100, 0, 1);
    form->store.AddLine(100, -20, 100, 100, 1);  // crosses past the corner: trimmed too
    form->PageControl1->setCurrentIndex(2);
    // Delete, then chamfer: a click picks, it no longer deletes.
    Button("SpeedButton28")->click();
    Button("SpeedButton25")->click();
    EXPECT_EQ(form->paletteGroup->checkedButton(), Button("SpeedButton25"));
    EXPECT_EQ(form->commandCode, 119);
    EXPECT_EQ(form->Label3->text(), QStringLiteral("距離"));
    EXPECT_EQ(form->Edit3->text(), QStringLiteral("10"));
    Type(form->Edit3, "30");
    HoverAndClick(50, 2);
    EXPECT_EQ(AliveLines(), 2);
    HoverAndClick(98, 50);
    ASSERT_EQ(AliveLines(), 3);
    const auto line = [&](int i) {
        const LineElement& l = form->store.line(i);
        return std::vector<double>{l.x1, l.y1, l.x2, l.y2};
    };
    EXPECT_EQ(line(0), (std::vector<double>{0, 0, 70, 0}));
    EXPECT_EQ(line(1), (std::vector<double>{100, 30, 100, 100}));
    EXPECT_EQ(line(2), (std::vector<double>{70, 0, 100, 30}));
    // Too long a distance is refused as fillet refuses, the lines as they were.
    Type(form->Edit3, "500");
    HoverAndClick(30, 2);
    HoverAndClick(98, 60);
    EXPECT_EQ(prompts.messageTexts().back(), "ChamferLines");
    EXPECT_EQ(line(0), (std::vector<double>{0, 0, 70, 0}));

    form->Undo1Click();
    ASSERT_EQ(AliveLines(), 2);
    EXPECT_EQ(line(0), (std::vector<double>{0, 0, 100, 0}));
    EXPECT_EQ(line(1), (std::vector<double>{100, -20, 100, 100}));
    form->Redo1Click();
    EXPECT_EQ(AliveLines(), 3);
    EXPECT_EQ(line(2), (std::vector<double>{70, 0, 100, 30}));
    // The empty places of the palette cannot be chosen.
    EXPECT_FALSE(Button("SpeedButton15")->isEnabled());
}

TEST(QtJapanese, QtsOwnDialogsSpeakJapanese) {
    ASSERT_TRUE(InstallQtJapanese(*QCoreApplication::instance()))
        << QLibraryInfo::path(QLibraryInfo::TranslationsPath).toStdString();
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
    EXPECT_NE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Look in:"));
    EXPECT_NE(QCoreApplication::translate("QPrintDialog", "Print"), QStringLiteral("Print"));
}

}  // namespace
