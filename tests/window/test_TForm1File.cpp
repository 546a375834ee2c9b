// Opening and saving "dac" drawings through the real window, with scripted file dialogs.
#include <QFile>
#include <QTemporaryDir>

#include "tests/window/test_TForm1Fixture.h"
#include "window/ColourBox.h"

namespace {

class TForm1FileTest : public TForm1Test {
protected:
    std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
    static std::string Bytes(const std::string& path) {
        QFile f(QString::fromStdString(path));
        if (!f.open(QIODevice::ReadOnly)) return "<missing>";
        return f.readAll().toStdString();
    }
    static void Write(const std::string& path, const std::string& bytes) {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), qint64(bytes.size()));
    }
    void Save(const std::string& path) {
        prompts.AnswerTexts({path});
        form->FilseSaveAsClick();
        Settle();
    }
    void Open(const std::optional<std::string>& path) {
        prompts.AnswerTexts({path});
        form->FileOpenClick();
        Settle();
    }
    QTemporaryDir dir;
};

}  // namespace

TEST_F(TForm1FileTest, SavingAfterStartUpWritesTheOnePointRecordAndProposesTheCaption) {
    Save(Path("empty.dac"));
    EXPECT_EQ(Bytes(Path("empty.dac")), "P     0 0 0     0 0     0 0.000000 0.000000\r\n");
    const auto shown = prompts.shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].kind, ScriptedPrompts::Shown::Kind::SaveFile);
    EXPECT_EQ(shown[0].request.filter, "CADファイル (*.dac)");
    EXPECT_EQ(shown[0].request.defaultSuffix, "dac");
    EXPECT_EQ(shown[0].request.initialPath, "Korvo.dac");  // the caption, as a dac file
    EXPECT_EQ(shown[1].text, "ファイル出力に成功しました");
    EXPECT_EQ(shown[1].caption, "Message");
    EXPECT_EQ(form->windowTitle().toStdString(), Path("empty.dac"));  // the caption is the saved file
}

TEST_F(TForm1FileTest, ADrawingMadeWithTheMouseIsSavedByteForByte) {
    form->SnapDistance = 0;
    Button("SpeedButton3")->click();
    Click(At(0, 0));
    Click(At(10, 5));
    Button("SpeedButton4")->click();  // rectangle
    Click(At(20, 0));
    Click(At(30, -10));
    Button("SpeedButton28")->click();  // delete the rectangle's first side
    form->SnapDistance = 4000;
    HoverAndClick(25, 1);
    form->SnapDistance = 0;
    Button("SpeedButton13")->click();  // circle by centre and rim point
    Click(At(-40, 0));
    Click(At(-40, 15));
    Save(Path("mouse.dac"));
    QFile expected(QStringLiteral(KORVO_TEST_DATA "/dac/mouse.dac"));
    ASSERT_TRUE(expected.open(QIODevice::ReadOnly));
    EXPECT_EQ(Bytes(Path("mouse.dac")), expected.readAll().toStdString());
}

TEST_F(TForm1FileTest, SaveAndOpenRoundTripLinesCirclesAndArcsWithTheirColoursIntoConsecutiveSlots) {
    DrawingStore& s = form->store;
    form->ComboBox1->setCurrentIndex(1);  // red
    form->ComboBox1Change();
    Button("SpeedButton3")->click();
    s.AddLine(0, 0, 10, 5, 1);
    s.AddLine(-3.25, 7, 4, 9.125, 1);
    s.AddLine(1, 1, 2, 2, 1);
    s.DeleteLine(1, 1);
    s.AddCircle(5, 5, 2.5, 0, 0, 1);
    s.AddCircle(-5, 2, 7, 30, 300, 1);
    Save(Path("round.dac"));
    form->ComboBox1->setCurrentIndex(2);  // the colour box shows the third colour now
    form->ComboBox1Change();
    prompts.clear();
    Open(Path("round.dac"));
    EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{"読み込みに成功しました"});
    EXPECT_EQ(prompts.shown().back().caption, "Message");
    EXPECT_EQ(form->windowTitle().toStdString(), Path("round.dac"));
    ASSERT_EQ(AliveLines(), 2);
    EXPECT_EQ(s.line(0).x2, 10.0);
    EXPECT_EQ(s.line(1).x1, 1.0);  // the gap of the deleted line is closed
    EXPECT_EQ(s.line(0).colour, 2);  // drawn red, kept red
    EXPECT_EQ(s.line(1).colour, 2);
    ASSERT_EQ(AliveCircles(), 2);
    EXPECT_EQ(s.circle(1).startAngle, 30.0);
    EXPECT_EQ(s.circle(1).endAngle, 300.0);
    EXPECT_EQ(s.circle(1).radius, 7.0);
    EXPECT_EQ(s.circle(0).colour, 2);
    EXPECT_EQ(s.circle(1).colour, 2);
    // Saving what was read gives the same records again (the points follow the geometry).
    Save(Path("again.dac"));
    Open(Path("again.dac"));
    Save(Path("again2.dac"));
    EXPECT_EQ(Bytes(Path("again.dac")), Bytes(Path("again2.dac")));
}

TEST_F(TForm1FileTest, ACancelledOrFailedOpenLeavesTheDrawingAndTheCaptionAsTheyWere) {
    // Opening once emptied the drawing before the dialog was even shown, so a cancel or a
    // mistyped name cost the user everything on the screen.
    form->store.AddLine(0, 0, 10, 5, 1);
    form->store.AddCircle(5, 5, 3, 0, 0, 1);
    Open(std::nullopt);
    EXPECT_EQ(AliveLines(), 1);
    EXPECT_EQ(AliveCircles(), 1);
    ASSERT_EQ(prompts.shownBesidesSaveQuestions().size(), 1u);
    EXPECT_EQ(prompts.shownBesidesSaveQuestions()[0].request.filter, "CADファイル (*.dac)");
    EXPECT_EQ(prompts.shownBesidesSaveQuestions()[0].request.initialPath, "");

    Open(Path("missing.dac"));
    EXPECT_EQ(prompts.messageTexts().back(), "ファイルオープンに失敗しました");
    EXPECT_EQ(prompts.shown().back().caption, "");
    Open(dir.path().toStdString());  // a folder
    EXPECT_EQ(prompts.messageTexts().back(), "ファイルオープンに失敗しました");
    EXPECT_EQ(AliveLines(), 1);
    EXPECT_EQ(AliveCircles(), 1);
    EXPECT_EQ(form->windowTitle(), "Korvo*");  // the unsaved drawing as it was
}

TEST_F(TForm1FileTest, AFailedSaveIsReportedAndNeverAsSuccess) {
    // A save that could not write once still said it had succeeded.
    form->store.AddLine(0, 0, 10, 5, 1);
    Write(Path("keep.dac"), "L     0 1.000000 1.000000 2.000000 2.000000\r\n");
    Save(Path("no-such-folder/x.dac"));
    Save(dir.path().toStdString());  // a folder where the file should go
    EXPECT_EQ(prompts.messageTexts(), (std::vector<std::string>{"DATファイル出力に失敗しました",
                                                                "DATファイル出力に失敗しました"}));
    EXPECT_EQ(Bytes(Path("keep.dac")), "L     0 1.000000 1.000000 2.000000 2.000000\r\n");
    Save(Path("keep.dac"));
    EXPECT_EQ(Bytes(Path("keep.dac")).substr(0, 44),
              "L     0 0.000000 0.000000 10.000000 5.000000");
}

TEST_F(TForm1FileTest, RecordsThatAreNotLinesOrCirclesOrNotWholeAreSkippedOnOpening) {
    Write(Path("odd.dac"),
          " L     0 0 0 5 5\n"  // letter not in the first column
          "L 7 1 2 3\n"         // too few numbers
          "L 9 0 0 nan 1\r\n"   // not a finite number
          "L 3 1e999 0 1 1\n"   // overflows
          "l 1 0 0 9 9\n"       // lower case
          "P     0 2 76     0 76     0 0.000000 0.000000\n"
          "C 99 0 0 0 0 0\n"            // radius 0 is taken as it is
          "Lxyz -5 0 0 3 4 trailing\n"  // the letter's token and any tail are passed over
          "L 1 " +
              std::string(300, '0') + "1 2 3 4\n");  // a long line is one record
    Open(Path("odd.dac"));
    EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{"読み込みに成功しました"});
    ASSERT_EQ(AliveLines(), 2);
    EXPECT_EQ(form->store.line(0).x2, 3.0);
    EXPECT_EQ(form->store.line(1).x1, 1.0);
    EXPECT_EQ(form->store.line(1).y2, 4.0);
    ASSERT_EQ(AliveCircles(), 1);
    EXPECT_EQ(form->store.circle(0).radius, 0.0);
}
