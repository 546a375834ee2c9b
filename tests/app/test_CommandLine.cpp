// The command line: a drawing named on it opens in the window; conversions run without one.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <initializer_list>

#include "app/CommandLine.h"
#include "app/WindowCommands.h"
#include "tests/window/test_TForm1Fixture.h"

namespace {

using CommandLineTest = TForm1Test;
using Mode = CommandLine::Mode;

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

struct Outcome {
    int status;
    QByteArray out, err;
};

// Runs korvo (or the program at `binary`); without a display, with nothing in the
// environment naming one or a platform.
Outcome Korvo(const QStringList& arguments, bool display = true,
              const QString& binary = QStringLiteral(KORVO_BINARY)) {
    QProcess p;
    if (!display) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(name);
        p.setProcessEnvironment(env);
    }
    p.start(binary, arguments);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

const QByteArray kOneLine = "L     0 0.000000 0.000000 10.000000 5.000000\r\n";

}  // namespace

TEST(CommandLineParse, FileConvertHelpAndVersionAreUnderstoodAndAnythingElseIsNot) {
    EXPECT_EQ(ParseCommandLine({}).mode, Mode::Window);
    EXPECT_TRUE(ParseCommandLine({}).file.isEmpty());
    EXPECT_EQ(ParseCommandLine({"plan.dac"}).file, "plan.dac");
    const CommandLine c = ParseCommandLine({"--convert", "a.dxf", "b.dac"});
    EXPECT_EQ(c.mode, Mode::Convert);
    EXPECT_EQ(c.file, "a.dxf");
    EXPECT_EQ(c.output, "b.dac");
    EXPECT_EQ(ParseCommandLine({"--help"}).mode, Mode::Help);
    EXPECT_EQ(ParseCommandLine({"--version"}).mode, Mode::Version);
    EXPECT_EQ(ParseCommandLine({"--convert", "a.dxf"}).mode, Mode::Invalid);
    EXPECT_EQ(ParseCommandLine({"a.dac", "b.dac"}).mode, Mode::Invalid);
    EXPECT_EQ(ParseCommandLine({"--frobnicate"}).mode, Mode::Invalid);
    const CommandLine p = ParseCommandLine({"--print", "out.pdf", "--tarnix", "plan.bin"});
    EXPECT_EQ(p.mode, Mode::Print);
    EXPECT_EQ(p.output, "out.pdf");
    EXPECT_EQ(p.file, "plan.bin");
    EXPECT_TRUE(p.tarnix);
    EXPECT_EQ(ParseCommandLine({"--tarnix"}).mode, Mode::Invalid);
    EXPECT_EQ(FormatOf("x/Plan.DXF"), DrawingFormat::Dxf);
    EXPECT_EQ(FormatOf("plan.dac"), DrawingFormat::Dac);
    EXPECT_EQ(FormatOf("plan.txt"), DrawingFormat::Unknown);
}

TEST_F(CommandLineTest, ADrawingOpensWithItsPathAsCaptionWhateverTheCaseOfItsExtension) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Plan.DAC");
    Write(path, kOneLine + "C     0 1 2 3 0 0\r\n");
    OpenDrawing(*form, path);
    EXPECT_EQ(form->windowTitle(), path);
    EXPECT_EQ(AliveLines(), 1);
    EXPECT_EQ(AliveCircles(), 1);
    EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{"読み込みに成功しました"});

    const QString dxf = dir.filePath("plan.Dxf");
    Write(
        dxf,
        "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n1\n20\n2\n11\n3\n21\n4\n0\nENDSEC\n0\nEOF\n");
    OpenDrawing(*form, dxf);
    EXPECT_EQ(form->windowTitle(), dxf);
    ASSERT_EQ(AliveLines(), 1);
    EXPECT_EQ(AliveCircles(), 0);
    EXPECT_EQ(form->store.line(0).x2, 3.0);
}

TEST_F(CommandLineTest, AFileThatCannotBeReadOrIsOfNoKnownTypeLeavesAnEmptyDrawing) {
    QTemporaryDir dir;
    OpenDrawing(*form, dir.filePath("missing.dac"));
    OpenDrawing(*form, dir.filePath("missing.dxf"));
    OpenDrawing(*form, dir.filePath("notes.txt"));
    EXPECT_EQ(prompts.messageTexts(),
              std::vector<std::string>(3, "ファイルオープンに失敗しました"));
    EXPECT_EQ(AliveLines(), 0);
    EXPECT_EQ(form->windowTitle(), "Korvo");
}

TEST(CommandLineProcess, ConvertsBetweenFormatsWithoutAWindowAndSaysWhyItFails) {
    QTemporaryDir dir;
    const QString dac = dir.filePath("in.dac"), dxf = dir.filePath("out.dxf");
    Write(dac, kOneLine);
    Outcome r = Korvo({"--convert", dac, dxf});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(Read(dxf).contains("LINE\r\n  8\r\n1\r\n"));
    EXPECT_TRUE(r.err.contains("ファイル出力に成功しました"));
    // And back: the same line.
    const QString again = dir.filePath("again.dac");
    r = Korvo({"--convert", dxf, again});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(Read(again).startsWith(kOneLine));

    r = Korvo({"--convert", dir.filePath("missing.dxf"), again});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("ファイルオープンに失敗しました"));
    EXPECT_TRUE(Read(again).startsWith(kOneLine));  // the old output is untouched
    r = Korvo({"--convert", dac, dir.filePath("no-such-folder/x.dxf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("ファイル出力に失敗しました"));

    // Used to drop the texts and styles of a dac file: the command line read its lines and
    // circles only.
    const QByteArray styledText =
        kOneLine + "S 3 2 1 7\r\nT 1.000000 2.000000 3.000000 0.000000 7 \x93\xfa\\U+00C4\r\n";
    Write(dac, styledText);
    ASSERT_EQ(Korvo({"--convert", dac, dxf}).status, 0);
    EXPECT_TRUE(Read(dxf).contains("  1\r\n\x93\xfa\\U+00C4\r\n"));
    ASSERT_EQ(Korvo({"--convert", dac, again}).status, 0);
    EXPECT_TRUE(Read(again).startsWith(styledText));  // then the snap points
    EXPECT_EQ(Korvo({"--convert", dac, dir.filePath("x.svg")}).status, 2);
    EXPECT_EQ(Korvo({"--convert", dac}).status, 2);
}

TEST(CommandLineProcess, PrintsToPdfAndReadsTheOtherProgramsFilesWhenToldSo) {
    QTemporaryDir dir;
    const QString dac = dir.filePath("in.dac"), pdf = dir.filePath("page.pdf");
    Write(dac, kOneLine);
    Outcome r = Korvo({"--print", pdf, dac});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(Read(pdf).startsWith("%PDF"));
    Write(dac, "");  // nothing drawn: nothing to scale the page by
    EXPECT_EQ(Korvo({"--print", dir.filePath("none.pdf"), dac}).status, 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("none.pdf")));

    const QString bin = QStringLiteral(KORVO_TEST_DATA "/tarnix/drawing.bin");
    const QString out = dir.filePath("from-bin.dac");
    r = Korvo({"--convert", "--tarnix", bin, out});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "num : 12\n");
    EXPECT_EQ(Read(out).count("\nL ") + (Read(out).startsWith("L ") ? 1 : 0), 4);
    EXPECT_EQ(Korvo({"--convert", bin, out}).status, 2);  // not known without --tarnix
    EXPECT_EQ(Korvo({"--print", dir.filePath("bin.pdf"), "--tarnix", bin}).status, 0);
}

// Used to end in SIGABRT without a display: a usage error went on to make the window's
// application first, and --print of a drawing with nothing drawn said "印刷に失敗しました".
TEST(CommandLineProcess, NeedsNoDisplayForAnythingButTheWindowAndShowsTheUsageOnAnError) {
    QTemporaryDir dir;
    const QString dac = dir.filePath("in.dac"), circle = dir.filePath("circle.dac");
    const QString empty = dir.filePath("empty.dac");
    Write(dac, kOneLine);
    Write(circle, "C     0 1 2 3 0 0\r\n");
    Write(empty, "");
    struct Row {
        QStringList arguments;
        int status;
        const char* err;  // what standard error must hold
    };
    for (const Row& r : std::initializer_list<Row>{
             {{"--convert", dac}, 2, "usage: korvo"},
             {{"--print"}, 2, "usage: korvo"},
             {{"--bogus"}, 2, "usage: korvo"},
             {{"-x", dac}, 2, "usage: korvo"},
             {{"--help"}, 0, ""},
             {{"--version"}, 0, ""},
             {{"--convert", dac, dir.filePath("out.dxf")}, 0, "ファイル出力に成功しました"},
             {{"--print", dir.filePath("page.pdf"), dac}, 0, ""},
             {{"--print", dir.filePath("circle.pdf"), circle}, 0, ""},
             {{"--print", dir.filePath("none.pdf"), empty}, 1, "図形がないため印刷できません"}}) {
        const Outcome o = Korvo(r.arguments, false);
        EXPECT_EQ(o.status, r.status) << r.arguments.join(' ').toStdString() << "\n"
                                      << o.err.toStdString();
        EXPECT_TRUE(o.err.contains(r.err)) << o.err.toStdString();
    }
    EXPECT_TRUE(QFile::exists(dir.filePath("page.pdf")));
    // Qt's own options are not usage errors: the window takes them.
    EXPECT_EQ(ParseCommandLine({"-platform", "offscreen", "--style=fusion", "plan.dac"}).file,
              "plan.dac");
}

TEST(CommandLineProcess, HelpAndVersionAnswerOnStandardOutput) {
    Outcome r = Korvo({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("--convert INPUT OUTPUT"));
    r = Korvo({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith("korvo "));
}

// Conversions, help and the version are korvo's own; the window and printing are the window
// program's, found beside it. A korvo without it converts and says what is missing.
TEST(CommandLineProcess, ConvertsWithoutTheWindowProgramAndSaysSoWhenTheWindowNeedsIt) {
    QTemporaryDir dir;
    const QString alone = dir.filePath("korvo"), dac = dir.filePath("in.dac");
    ASSERT_TRUE(QFile::copy(QStringLiteral(KORVO_BINARY), alone));
    QFile::setPermissions(alone, QFile::ReadOwner | QFile::ExeOwner);
    Write(dac, kOneLine);
    Outcome o = Korvo({"--convert", dac, dir.filePath("out.dxf")}, false, alone);
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath("out.dxf")));
    o = Korvo({"--print", dir.filePath("page.pdf"), dac}, false, alone);
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(o.err.contains("korvo-window: cannot start the window program"))
        << o.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("page.pdf")));
}
