// Never losing a drawing: the unsaved-changes question, proposed file names, the recovery
// file after a killed process, and files that hold nothing readable.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "tests/window/test_TForm1Fixture.h"
#include "window/Recovery.h"

namespace {

class TForm1KeepTest : public TForm1Test {
protected:
    std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
    void Write(const char* name, const std::string& bytes) const {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), qint64(bytes.size()));
    }
    QTemporaryDir dir;
};

using Kind = ScriptedPrompts::Shown::Kind;

TEST_F(TForm1KeepTest, EveryWayAChangedDrawingCanGoAsksFirstAndCancelKeepsIt) {
    const std::string question = "図面が変更されています。保存しますか？";
    struct Way {
        const char* name;
        std::function<void(TForm1&)> act;
        bool gone;  // whether the drawing is gone once the action goes ahead unanswered
    };
    const Way ways[] = {
        {"close", [](TForm1& f) { f.close(); }, false},
        {"exit", [](TForm1& f) { f.FileExitClick(); }, false},
        {"new", [](TForm1& f) { f.SpeedButton17Click(); }, true},
        {"open", [](TForm1& f) { f.FileOpenClick(); }, false},
        {"dxf", [](TForm1& f) { f.DXFI1Click(); }, false},
        {"import", [](TForm1& f) { f.FileTarnix1Click(); }, false},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        form->show();
        form->store.AddLine(0, 0, 10, 0, 1);
        EXPECT_TRUE(form->IsModified());
        EXPECT_TRUE(form->windowTitle().endsWith('*'));
        // キャンセル, then 保存 with the save dialog cancelled: the drawing stays, nothing else
        // is asked, the window stays open.
        for (auto answer : {PromptAnswer::Cancel, PromptAnswer::Yes}) {
            prompts.clear();
            prompts.AnswerSaveQuestions({answer});
            way.act(*form);
            Settle();
            const auto shown = prompts.shown();
            ASSERT_GE(shown.size(), 1u);
            EXPECT_EQ(shown[0].text, question);
            EXPECT_EQ(shown[0].buttons, PromptButtons::SaveDiscardCancel);
            EXPECT_EQ(shown.size(), answer == PromptAnswer::Yes ? 2u : 1u);
            if (answer == PromptAnswer::Yes) {
                EXPECT_EQ(shown[1].kind, Kind::SaveFile);
            }
            EXPECT_TRUE(form->isVisible());
            EXPECT_GE(AliveLines(), 1);
            EXPECT_TRUE(form->IsModified());
        }
        // 保存しない: the action goes ahead (its own dialog, here cancelled, or its end).
        prompts.clear();
        prompts.AnswerSaveQuestions({PromptAnswer::No});
        way.act(*form);
        Settle();
        EXPECT_EQ(AliveLines() == 0, way.gone);
        if (std::string(way.name) == "close" || std::string(way.name) == "exit") {
            EXPECT_FALSE(form->isVisible());
        }
        form->store.ClearStore();
        form->SpeedButton17Click();  // unmodified again
    }
    // 保存 with a name: saved, the caption is the file, and the window closes.
    form->show();
    form->store.AddLine(0, 0, 10, 0, 1);
    prompts.AnswerSaveQuestions({PromptAnswer::Yes});
    prompts.AnswerTexts({Path("kept.dac")});
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(QFile::exists(dir.filePath("kept.dac")));
    EXPECT_EQ(form->windowTitle().toStdString(), Path("kept.dac"));
}

TEST_F(TForm1KeepTest, SavingProposesTheCaptionsFileInTheFormatBeingWritten) {
    Write("copy.dxf", "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\n0\n20\n0\n11\n5\n21\n5\n0\nENDSEC\n0\nEOF\n");
    ASSERT_TRUE(form->OpenDxfFile(Path("copy.dxf")));
    prompts.clear();
    form->FilseSaveAsClick();  // cancelled
    form->DXFE1Click();        // cancelled
    const auto shown = prompts.shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].request.initialPath, Path("copy.dac"));
    EXPECT_EQ(shown[1].request.initialPath, Path("copy.dxf"));
    prompts.AnswerTexts({Path("saved.dac")});
    form->FilseSaveAsClick();
    EXPECT_EQ(form->windowTitle().toStdString(), Path("saved.dac"));
    EXPECT_FALSE(form->IsModified());
}

TEST_F(TForm1KeepTest, AKilledProcessLeavesItsDrawingAndTheNextStartOffersIt) {
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    const QString folder = TRecovery::Folder();
    ASSERT_TRUE(folder.startsWith(data.path()));
    QProcess peer;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KORVO_RECOVERY_INTERVAL_MS", "200");
    peer.setProcessEnvironment(env);
    peer.start(KORVO_RECOVERY_PEER, {"12"});
    ASSERT_TRUE(peer.waitForStarted(10000));
    // Wait for a recovery file with all twelve lines, then kill the process outright.
    QString written;
    for (int i = 0; i < 200 && written.isEmpty(); ++i) {
        QThread::msleep(50);
        for (const QFileInfo& f : QDir(folder).entryInfoList({"drawing-*.dac"}, QDir::Files)) {
            QFile file(f.filePath());
            if (file.open(QIODevice::ReadOnly) && file.readAll().count("\nL ") + 1 >= 12) written = f.filePath();
        }
    }
    ASSERT_FALSE(written.isEmpty());
    peer.kill();  // SIGKILL
    ASSERT_TRUE(peer.waitForFinished(10000));

    EXPECT_EQ(TRecovery::Leftovers(), std::vector<std::string>{written.toStdString()});
    prompts.AnswerMessages({PromptAnswer::Yes});
    form->OfferRecovery();
    EXPECT_EQ(prompts.messageTexts().back(), "前回保存されなかった図面があります。復元しますか？");
    EXPECT_EQ(AliveLines(), 12);
    EXPECT_TRUE(form->IsModified());  // not saved anywhere yet
    EXPECT_FALSE(QFile::exists(written));
    EXPECT_TRUE(TRecovery::Leftovers().empty());
    qunsetenv("XDG_DATA_HOME");
}

TEST_F(TForm1KeepTest, AFileWithNothingReadableSaysSoAndOldFilesWithCrLinesRead) {
    form->store.AddLine(0, 0, 10, 0, 1);
    std::string noise;
    for (int i = 0; i < 4096; ++i) noise += char((i * 7919) % 251 + 1);
    Write("noise.dac", noise);
    Write("empty.dxf", "0\nSECTION\n2\nENTITIES\n0\nHATCH\n0\nENDSEC\n0\nEOF\n");
    for (const char* name : {"noise.dac", "empty.dxf"}) {
        prompts.clear();
        const bool dxf = std::string(name).ends_with(".dxf");
        EXPECT_FALSE(dxf ? form->OpenDxfFile(Path(name)) : form->OpenDacFile(Path(name)));
        ASSERT_EQ(prompts.messageTexts().size(), 1u);
        EXPECT_TRUE(prompts.messageTexts()[0].starts_with(
            dxf ? "読み込める図形がありませんでした\n読み飛ばした図形: "
                : "読み込める図形がありませんでした\n読み飛ばした行: "))
            << prompts.messageTexts()[0];
        EXPECT_EQ(AliveLines(), 1);  // the drawing stays
    }
    Write("old.dac", "L 0 0 0 10 0\rL 1 0 5 10 5\rC 0 5 5 2 0 0\r");
    ASSERT_TRUE(form->OpenDacFile(Path("old.dac")));
    EXPECT_EQ(AliveLines(), 2);
    EXPECT_EQ(AliveCircles(), 1);
}

}  // namespace
