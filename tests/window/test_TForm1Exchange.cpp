// DXF in and out, the settings dialog and lines to arcs through the real window.
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include "tests/window/test_TForm1Fixture.h"
#include "window/TPagesDlg.h"

namespace {

class TForm1ExchangeTest : public TForm1Test {
protected:
    std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
    static void Write(const std::string& path, const QByteArray& bytes) {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray Bytes(const std::string& path) {
        QFile f(QString::fromStdString(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void ImportDxf(const std::optional<std::string>& path) {
        prompts.AnswerTexts({path});
        form->DXFI1Click();
        Settle();
    }
    QTemporaryDir dir;
};

const QByteArray kTwoEntities =
    "0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n8\n0\n10\n1.5\n20\n2\n11\n30\n21\n40\n"
    "0\nCIRCLE\n8\n0\n10\n5\n20\n5\n40\n2.25\n"
    "0\nENDSEC\n0\nEOF\n";

}  // namespace

TEST_F(TForm1ExchangeTest, ADxfFileReplacesTheDrawingAndACancelOrUnreadableFileLeavesIt) {
    form->store.AddLine(0, 0, 10, 5, 1);
    ImportDxf(std::nullopt);  // cancelled
    EXPECT_EQ(AliveLines(), 1);
    ASSERT_EQ(prompts.shownBesidesSaveQuestions().size(), 1u);
    EXPECT_EQ(prompts.shownBesidesSaveQuestions()[0].request.filter, "DXFファイル (*.dxf)");
    EXPECT_EQ(prompts.shownBesidesSaveQuestions()[0].request.defaultSuffix, "dxf");

    form->Timer1->stop();
    ImportDxf(Path("missing.dxf"));
    EXPECT_EQ(prompts.messageTexts().back(), "ファイルオープンに失敗しました");
    EXPECT_TRUE(form->Timer1->isActive());  // one run of the tracking after the failure
    EXPECT_EQ(AliveLines(), 1);
    EXPECT_EQ(form->store.line(0).x2, 10.0);
    EXPECT_EQ(form->windowTitle(), "Korvo*");  // the unsaved drawing as it was

    Write(Path("two.dxf"), kTwoEntities);
    prompts.clear();
    ImportDxf(Path("two.dxf"));
    EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{"読み込みに成功しました"});
    EXPECT_EQ(prompts.shown().back().caption, "Message");
    EXPECT_EQ(form->windowTitle().toStdString(), Path("two.dxf"));
    ASSERT_EQ(AliveLines(), 1);
    EXPECT_EQ(form->store.line(0).x1, 1.5);
    EXPECT_EQ(form->store.line(0).y2, 40.0);
    ASSERT_EQ(AliveCircles(), 1);
    EXPECT_EQ(form->store.circle(0).radius, 2.25);
}

// The file given on the command line opens while the window's first redraw waits for the
// events before it. The user must see the drawing behind the success box, not an empty
// canvas until the box is closed; nor may the window lose it when it changes size behind
// the box (as it does when the window manager maximises it late).
TEST_F(TForm1ExchangeTest, ADrawingOpenedWhileARedrawWaitsIsDrawnBehindItsSuccessBox) {
    Write(Path("two.dxf"), kTwoEntities);
    prompts.AnswerTexts({Path("two.dxf")});
    const QRgb black = 0x000000;
    std::vector<QRgb> behindBox;
    // The box runs an event loop of its own while the user reads it.
    const auto boxLoop = [] {
        QEventLoop box;
        QTimer::singleShot(100, &box, &QEventLoop::quit);
        box.exec();
    };
    prompts.WhileMessageShown([&](const std::string&) {
        boxLoop();
        behindBox.push_back(ShownPixel(At(1.5, 2.0).x(), At(1.5, 2.0).y()));
        // The window is resized behind the box: the canvas is drawn anew at once.
        form->showNormal();
        form->resize(form->width() - 120, form->height() - 90);
        boxLoop();
        behindBox.push_back(ShownPixel(At(1.5, 2.0).x(), At(1.5, 2.0).y()));
    });
    QTimer::singleShot(0, form.get(), [&] { form->DXFI1Click(); });
    form->Redraw();
    prompts.WhileMessageShown(nullptr);
    ASSERT_EQ(prompts.messageTexts(), std::vector<std::string>{"読み込みに成功しました"});
    EXPECT_EQ(behindBox.size(), 2u);
    for (QRgb pixel : behindBox) EXPECT_NE(pixel, black);
    Settle();
    EXPECT_NE(ShownPixel(At(1.5, 2.0).x(), At(1.5, 2.0).y()), black);
}

// A file given on the command line is read before the window manager has maximised the
// window: the drawing must fill the window as shown, as fit all would, unless the user has
// already changed the view; later resizes keep the scale as always.
TEST_F(TForm1ExchangeTest, ADrawingOpenedBeforeTheWindowIsShownFitsTheWindowAsShown) {
    const int shownH = form->ScrollBox1->height();  // the panel of the maximised window
    for (const bool zoomedOut : {false, true}) {
        TForm1 late;
        // A line fit all scales by 1 in the shown panel and by 2 in the first, smaller one.
        const double h = 0.99 * shownH / 1.2;
        ASSERT_GT(h * 1.2 / late.ScrollBox1->height(), 1.0);
        Write(Path("tall.dxf"), "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n0\n20\n0\n11\n0\n21\n" +
                                    QByteArray::number(h, 'f', 3) + "\n0\nENDSEC\n0\nEOF\n");
        prompts.AnswerTexts({Path("tall.dxf")});
        late.DXFI1Click();
        ASSERT_EQ(late.view.scale, 2.0);
        if (zoomedOut) late.SpeedButton22Click();
        late.showMaximized();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&late, 10000));
        Settle();
        EXPECT_EQ(late.view.scale, zoomedOut ? 4.0 : 1.0) << zoomedOut;
        if (!zoomedOut) {
            const QPoint middle = {late.view.ScreenX(0), late.view.ScreenY(h / 2)};
            late.SpeedButton21Click();
            Settle();
            EXPECT_EQ(QPoint(late.view.ScreenX(0), late.view.ScreenY(h / 2)), middle);
        }
        late.showNormal();
        Settle();
        EXPECT_EQ(late.view.scale, zoomedOut ? 4.0 : 1.0) << zoomedOut;
    }
}

TEST_F(TForm1ExchangeTest, WhatWasNotReadIsSaidWithTheSuccessNeverBehindIt) {
    // A file that ends without its end mark loses its last entity; the user is told.
    Write(Path("cut.dxf"), "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\n0\n20\n0\n11\n5\n21\n5\n"
                           "0\nLINE\n10\n0\n20\n0\n11\n5\n21\n9\n");
    ImportDxf(Path("cut.dxf"));
    const std::string text = prompts.messageTexts().back();
    EXPECT_EQ(text.rfind("読み込みに成功しました\n", 0), 0u) << text;
    EXPECT_GT(text.size(), std::string("読み込みに成功しました\n").size());
}

TEST_F(TForm1ExchangeTest, ExportWritesTheDrawingAndAFailedWriteIsNeverReportedAsSuccess) {
    form->store.AddLine(0, 0, 10, 5, 1);
    form->store.AddCircle(5, 5, 3, 0, 90, 1);
    prompts.AnswerTexts({Path("out.dxf")});
    form->DXFE1Click();
    EXPECT_EQ(prompts.messageTexts().back(), "ファイル出力に成功しました");
    EXPECT_EQ(prompts.shown()[0].request.initialPath, "Korvo.dxf");
    const QByteArray bytes = Bytes(Path("out.dxf"));
    EXPECT_TRUE(bytes.contains("  0\r\nLINE\r\n  8\r\n1\r\n"));
    EXPECT_TRUE(bytes.contains("  0\r\nARC\r\n  8\r\n0\r\n"));
    EXPECT_TRUE(bytes.endsWith("  0\r\nEOF\r\n"));

    prompts.clear();
    prompts.AnswerTexts({Path("no-such-folder/out.dxf")});
    form->DXFE1Click();
    EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{"ファイル出力に失敗しました"});

    // What was exported comes back the same.
    ImportDxf(Path("out.dxf"));
    ASSERT_EQ(AliveLines(), 1);
    EXPECT_EQ(form->store.line(0).x2, 10.0);
    ASSERT_EQ(AliveCircles(), 1);
    EXPECT_EQ(form->store.circle(0).endAngle, 90.0);
}

TEST_F(TForm1ExchangeTest, TheSettingsDialogOpensFromItsButtonAndWritesTheWindowsValues) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        TPagesDlg* dlg = form->PagesDlg;
        seen = dlg->isVisible();
        EXPECT_EQ(dlg->Edit1->text(), "5");
        EXPECT_EQ(dlg->TrackBar2->value(), 20);
        dlg->TrackBar2->setValue(1);
        dlg->OKBtnClick();
    });
    Button("SpeedButton33")->click();
    EXPECT_TRUE(seen);
    EXPECT_EQ(form->SnapDistance, 200.0);
    EXPECT_EQ(form->SplineResolution, 5.0);
}

TEST_F(TForm1ExchangeTest, LinesToArcsJoinsAGentleBendIntoOneArcAndUndoBringsTheLinesBack) {
    form->store.AddLine(0, 0, 10, 0, 1);
    form->store.AddLine(10, 0, 19.40, 3.42, 1);
    form->store.AddLine(100, 0, 110, 0, 1);
    form->store.AddLine(110, 0, 115, 8.66, 1);  // a bend of 60 degrees stays
    form->TooltoArcClick();
    EXPECT_EQ(AliveLines(), 2);
    ASSERT_EQ(AliveCircles(), 1);
    EXPECT_NE(form->store.circle(0).startAngle, form->store.circle(0).endAngle);
    form->Undo1Click();  // the whole run is one action
    EXPECT_EQ(AliveLines(), 4);
    EXPECT_EQ(AliveCircles(), 0);
}

TEST_F(TForm1ExchangeTest, ATextIsDrawnAtItsHeightWithHalfWidthCharactersHalfAsWide) {
    // Texts once came out squeezed to half their width: the face's average character
    // width, near a full em for the Japanese face, was taken for a half-width one.
    Write(Path("text.dxf"), "0\nTEXT\n8\n0\n10\n0\n20\n0\n40\n40\n1\nHHHHHHHHHH\n0\nEOF\n");
    ImportDxf(Path("text.dxf"));
    ASSERT_EQ(form->store.textCount, 1);
    form->view.scale = 1.0;
    form->Redraw();
    Settle();
    const QImage image = form->canvas.image();
    int left = image.width(), right = -1, top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, left);
    // Ten half-width letters of a 40-unit text: about 10 x 20 pixels wide.
    EXPECT_GT(right - left + 1, 150);
    EXPECT_LT(right - left + 1, 220);
    EXPECT_GT(bottom - top + 1, 20);
}
