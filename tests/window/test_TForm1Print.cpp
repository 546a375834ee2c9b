// The import of the other drafting program's files and the print command, through the window.
#include <QFile>
#include <QTemporaryDir>

#include "tests/window/test_TForm1Fixture.h"

namespace {

using TForm1PrintTest = TForm1Test;

const char* const kDrawing = KORVO_TEST_DATA "/tarnix/drawing.bin";

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST_F(TForm1PrintTest, TheImportKeepsTheDrawingUntilAFileIsOpenAndReadsLinesAndArcs) {
    form->store.AddLine(0, 0, 10, 5, 1);
    prompts.AnswerTexts({std::nullopt});
    form->FileTarnix1Click();
    EXPECT_EQ(AliveLines(), 1);
    ASSERT_EQ(prompts.shownBesidesSaveQuestions().size(), 1u);
    EXPECT_EQ(prompts.shownBesidesSaveQuestions()[0].request.filter, "すべてのファイル (*)");
    EXPECT_EQ(prompts.shownBesidesSaveQuestions()[0].request.defaultSuffix, "dac");

    QTemporaryDir dir;
    prompts.AnswerTexts({dir.filePath("missing.bin").toStdString()});
    form->FileTarnix1Click();
    EXPECT_EQ(prompts.messageTexts().back(), "ファイル読み込みに失敗しました");
    EXPECT_EQ(AliveLines(), 1);
    EXPECT_EQ(form->windowTitle(), "Korvo*");  // still the unsaved drawing it was

    testing::internal::CaptureStdout();
    prompts.AnswerTexts({kDrawing});
    form->FileTarnix1Click();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "num : 12\n");
    EXPECT_EQ(prompts.messageTexts().back(), "読み込みに成功しました");
    EXPECT_EQ(prompts.shown().back().caption, "Message");
    EXPECT_EQ(form->windowTitle(), kDrawing);
    EXPECT_EQ(AliveLines(), 4);
    EXPECT_EQ(AliveCircles(), 3);
}

TEST_F(TForm1PrintTest, AFileCutShortKeepsWhatWasReadShowsItAndSaysTheReadFailed) {
    QTemporaryDir dir;
    const QString cut = dir.filePath("cut.bin");
    QFile f(cut);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(Bytes(kDrawing).left(6204 + 200));  // the header and a little more
    f.close();
    testing::internal::CaptureStdout();
    form->OpenTarnixFile(cut.toStdString());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(prompts.messageTexts().back(), "ファイル読み込みに失敗しました");
    EXPECT_GE(AliveLines(), 1);  // the records before the cut stay, and are on the screen
    EXPECT_EQ(form->windowTitle(), cut);
}

TEST_F(TForm1PrintTest, PrintingAsksFirstThenPrintsToTheFileTheDialogChose) {
    QTemporaryDir dir;
    const std::string pdf = dir.filePath("page.pdf").toStdString();
    // Nothing drawn: nothing to scale the page by, and the user is told.
    prompts.AnswerMessages({PromptAnswer::Ok});
    form->SpeedButton23Click();
    EXPECT_EQ(prompts.messageTexts().back(), "図形がないため印刷できません");

    form->store.AddLine(0, 0, 200, 100, 1);
    form->store.AddCircle(100, 50, 30, 0, 0, 1);
    prompts.clear();
    prompts.AnswerMessages({PromptAnswer::Cancel});
    prompts.AnswerTexts({pdf});
    form->SpeedButton23Click();  // Cancel at the question
    ASSERT_EQ(prompts.shown().size(), 1u);
    EXPECT_EQ(prompts.shown()[0].text, "印刷開始します");
    EXPECT_EQ(prompts.shown()[0].caption, "Message");
    EXPECT_EQ(prompts.shown()[0].buttons, PromptButtons::OkCancel);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(pdf)));

    prompts.clear();
    prompts.AnswerMessages({PromptAnswer::Ok});
    form->SpeedButton23Click();  // OK, then the dialog answers with the PDF file
    EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{"印刷開始します"});
    const QByteArray bytes = Bytes(QString::fromStdString(pdf));
    ASSERT_TRUE(bytes.startsWith("%PDF"));
    // One A4 page, landscape: 842 x 595 points.
    EXPECT_TRUE(bytes.contains("/MediaBox [0 0 841") || bytes.contains("/MediaBox [0 0 842"))
        << bytes.left(2000).toStdString();

    prompts.clear();
    prompts.AnswerMessages({PromptAnswer::Ok});
    prompts.AnswerTexts({std::nullopt});  // Cancel in the print dialog
    QFile::remove(QString::fromStdString(pdf));
    form->SpeedButton23Click();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(pdf)));
}
