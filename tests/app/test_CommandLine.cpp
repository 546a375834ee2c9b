// The command line: a drawing named on it opens in the window as the file menu opens it.
#include <QFile>
#include <QTemporaryDir>

#include "app/CommandLine.h"
#include "tests/core/test_TForm1Fixture.h"

using CommandLineTest = TForm1Test;

TEST(CommandLineParse, OneFileOrNothingIsUnderstoodAndAnythingElseIsNot) {
    EXPECT_TRUE(ParseCommandLine({}).understood);
    EXPECT_TRUE(ParseCommandLine({}).file.isEmpty());
    EXPECT_EQ(ParseCommandLine({"plan.dac"}).file, "plan.dac");
    EXPECT_FALSE(ParseCommandLine({"a.dac", "b.dac"}).understood);
    EXPECT_FALSE(ParseCommandLine({"--frobnicate"}).understood);
}

TEST_F(CommandLineTest, ADacFileOpensWithItsPathAsCaption) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Plan.DAC");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("L     0 0.000000 0.000000 10.000000 5.000000\r\nC     0 1 2 3 0 0\r\n");
    f.close();
    OpenDrawing(*form, path);
    EXPECT_EQ(form->windowTitle(), path);
    EXPECT_EQ(AliveLines(), 1);
    EXPECT_EQ(AliveCircles(), 1);
    EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{"読み込みに成功しました"});
}

TEST_F(CommandLineTest, AFileThatCannotBeReadOrIsOfNoKnownTypeLeavesAnEmptyDrawing) {
    QTemporaryDir dir;
    OpenDrawing(*form, dir.filePath("missing.dac"));
    OpenDrawing(*form, dir.filePath("notes.txt"));
    EXPECT_EQ(prompts.messageTexts(), (std::vector<std::string>{"ファイルオープンに失敗しました",
                                                                "ファイルオープンに失敗しました"}));
    EXPECT_EQ(AliveLines(), 0);
    EXPECT_EQ(form->windowTitle(), "Korvo");
}
