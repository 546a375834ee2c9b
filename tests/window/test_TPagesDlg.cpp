// The settings dialog driven headless with real keys and clicks: mirroring, write-back, counts.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

#include "model/DrawingStore.h"
#include "render/JapaneseFonts.h"
#include "tests/support/ScriptedPrompts.h"
#include "window/TPagesDlg.h"

namespace {

using Texts = std::vector<std::string>;
// What OK says of a box that does not read: the box's caption, the text, what it must be.
std::string NotInteger(const std::string& box, const std::string& text, const char* range = nullptr) {
    return "「" + box + "」の値 '" + text + "' は" +
           (range ? std::string(range) + "までの整数ではありません" : "有効な整数ではありません");
}
const std::string kAngles = "Spline->円弧変換しきい角";

class TPagesDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InstallJapaneseFontSubstitutes(); }

    // As the main window does it: refresh, then show.
    void Show() {
        dlg.RefreshSettings();
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        prompts.clear();
    }
    // Select all and type, keystroke by keystroke.
    static void Type(QLineEdit* edit, const char* text) {
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, QString::fromUtf8(text));
    }
    void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void ExpectValues(double spline, double snap, double min, double max) {
        EXPECT_EQ(splineResolution, spline);
        EXPECT_EQ(snapDistance, snap);
        EXPECT_EQ(arcAngleMin, min);
        EXPECT_EQ(arcAngleMax, max);
    }

    ScriptedPrompts prompts;
    DrawingStore store;
    double splineResolution = 5.0, snapDistance = 4000.0, arcAngleMin = 140.0, arcAngleMax = 170.0;
    TPagesDlg dlg{nullptr, store, {&splineResolution, &snapDistance, &arcAngleMin, &arcAngleMax}};
};

}  // namespace

TEST_F(TPagesDlgTest, StartUpValuesShowAsWholeNumbersAndOkWritesThemBackWhole) {
    Show();
    EXPECT_EQ(dlg.TrackBar1->value(), 5);
    EXPECT_EQ(dlg.TrackBar2->value(), 20);
    EXPECT_EQ(
        QStringList({dlg.Edit1->text(), dlg.Edit2->text(), dlg.Edit3->text(), dlg.Edit4->text()}),
        QStringList({"5", "20", "140", "170"}));
    Click(dlg.OKBtn);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    ExpectValues(5.0, 4000.0, 140.0, 170.0);

    splineResolution = 5.7, snapDistance = 4150.0, arcAngleMin = 140.5, arcAngleMax = -0.9;
    Show();
    QTest::keyClick(dlg.Edit4, Qt::Key_Return);  // the default button
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    ExpectValues(5.0, 4000.0, 140.0, 0.0);
    EXPECT_TRUE(prompts.shown().empty());
}

TEST_F(TPagesDlgTest, BarsAndBoxesMirrorEachOtherAndTypedNumbersAreClampedOnlyWhenTheBarMoves) {
    Show();
    QTest::keyClick(dlg.TrackBar1, Qt::Key_Right);
    EXPECT_EQ(dlg.Edit1->text(), "6");
    QTest::keyClick(dlg.TrackBar2, Qt::Key_Home);
    EXPECT_EQ(dlg.Edit2->text(), "1");
    Click(dlg.OKBtn);
    ExpectValues(6.0, 200.0, 140.0, 170.0);

    Show();
    QTest::keyClick(dlg.TrackBar2, Qt::Key_End);
    EXPECT_EQ(dlg.Edit2->text(), "100");
    Type(dlg.Edit1, "50");  // "5" moves nothing, "50" takes the bar to its maximum
    EXPECT_EQ(dlg.TrackBar1->value(), 20);
    EXPECT_EQ(dlg.Edit1->text(), "20");
    QTest::keyClicks(dlg.Edit1, "0");  // the bar already stands at 20: the typed text stays
    EXPECT_EQ(dlg.Edit1->text(), "200");
    Type(dlg.Edit2, "0");
    EXPECT_EQ(dlg.Edit2->text(), "1");
    Type(dlg.Edit2, "-7");
    EXPECT_EQ(dlg.Edit2->text(), "-7");
    EXPECT_TRUE(prompts.shown().empty());  // nothing is said while the user types
    // OK reads the boxes: a number outside its bar's range is named with its box, and
    // nothing is written until every box reads.
    Click(dlg.OKBtn);
    EXPECT_EQ(prompts.messageTexts(), Texts{NotInteger("Spline->Line 分解能", "200", "1 から 20 ")});
    EXPECT_TRUE(dlg.isVisible());
    Type(dlg.Edit1, "20");
    prompts.clear();
    Click(dlg.OKBtn);
    EXPECT_EQ(prompts.messageTexts(), Texts{NotInteger("スナップ感度", "-7", "1 から 100 ")});
    ExpectValues(6.0, 200.0, 140.0, 170.0);
    Type(dlg.Edit2, "1");
    Click(dlg.OKBtn);
    EXPECT_FALSE(dlg.isVisible());
    ExpectValues(20.0, 200.0, 140.0, 170.0);
}

TEST_F(TPagesDlgTest, BadTextsAreSaidOnOkOnlyNamingTheBoxAndNothingIsWrittenOrKeptAfterCancel) {
    Show();
    QTest::keyClick(dlg.Edit1, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(dlg.Edit1, Qt::Key_Backspace);
    EXPECT_EQ(dlg.Edit1->text(), "");  // the bar does not rewrite the box behind the user
    QTest::keyClicks(dlg.Edit3, "5");  // the angle boxes convert Edit1 as well
    QTest::keyClicks(dlg.Edit1, "7");
    dlg.Edit2->setText("9999999999");
    QTest::keyClicks(dlg.Edit2, "9");  // beyond 32 bits is no integer, not a wrapped one
    EXPECT_EQ(dlg.TrackBar2->value(), 20);
    EXPECT_TRUE(prompts.shown().empty());
    Type(dlg.Edit2, "19");

    Type(dlg.Edit3, "abc");
    Click(dlg.OKBtn);
    ASSERT_EQ(prompts.shown().size(), 1u);
    EXPECT_EQ(prompts.shown()[0].text, NotInteger(kAngles, "abc"));
    EXPECT_EQ(prompts.shown()[0].caption, "Korvo");
    EXPECT_EQ(prompts.shown()[0].icon, PromptIcon::Error);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.Edit3->selectedText(), "abc");
    ExpectValues(5.0, 4000.0, 140.0, 170.0);  // the boxes before it are not written either
    // Cancel after a refused OK: every setting as it was when the dialog opened.
    Click(dlg.CancelBtn);
    ExpectValues(5.0, 4000.0, 140.0, 170.0);
    Show();

    // Signed decimal integers of the 32-bit range pass, blanks around them forgiven.
    for (const char* text : {"-2147483648", "2147483647", "+12", " 45 "}) {
        dlg.Edit3->setText(text);
        dlg.Edit4->setText(text);
        prompts.clear();
        Click(dlg.OKBtn);
        EXPECT_TRUE(prompts.shown().empty()) << text;
        EXPECT_EQ(arcAngleMin, QByteArray(text).trimmed().toDouble()) << text;
        dlg.show();
    }
    for (const char* text : {"2147483648", "+-3", "1.5", "0x10", "１２", "1 2"}) {
        dlg.Edit4->setText(QString::fromUtf8(text));
        prompts.clear();
        Click(dlg.OKBtn);
        EXPECT_EQ(prompts.messageTexts(), Texts{NotInteger(kAngles, text)});
        EXPECT_TRUE(dlg.isVisible());
    }
}

TEST_F(TPagesDlgTest, CancelAndEscapeDiscardTheEditsAndTheNextShowingShowsTheKeptValues) {
    Show();
    Type(dlg.Edit1, "9");
    QTest::keyClick(dlg.TrackBar2, Qt::Key_End);
    Type(dlg.Edit3, "100");
    Type(dlg.Edit4, "x");
    Click(dlg.CancelBtn);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    ExpectValues(5.0, 4000.0, 140.0, 170.0);
    EXPECT_EQ(dlg.Edit1->text(), "5");  // gone at once, not only at the next showing

    Show();
    EXPECT_EQ(dlg.TrackBar2->value(), 20);
    EXPECT_EQ(dlg.Edit3->text(), "140");
    Type(dlg.Edit2, "3");
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(snapDistance, 4000.0);
    EXPECT_EQ(dlg.Edit2->text(), "20");
}

TEST_F(TPagesDlgTest, CountsFollowTheStoreBetweenShowingsAsHighWaterMarks) {
    Show();
    EXPECT_EQ(dlg.Label1->text().toStdString(), "  Line要素数 : 0");
    for (int i = 0; i < 3; ++i) store.AddLine(0, i * 10.0, 100, i * 10.0, 0);
    store.AddCircle(50, 50, 10, 0, 0, 0);
    ASSERT_TRUE(store.AppendText(0, 0, "A", 10, 0));
    store.DeleteLine(2, 0);
    Show();
    EXPECT_EQ(dlg.Label1->text().toStdString(), "  Line要素数 : 3");
    EXPECT_EQ(dlg.Label2->text().toStdString(), "Circle要素数 : 1");
    EXPECT_EQ(dlg.Label3->text().toStdString(), "  text要素数 : 1");
    EXPECT_EQ(dlg.GroupBox1->title().toStdString(), "要素情報 (上限=メモリ)");  // the tables grow
    EXPECT_EQ(dlg.Label4->text().toStdString(), " Point要素数 : " + std::to_string(store.pointTop));
}

TEST_F(TPagesDlgTest, CaptionsFitTheirControlsWithoutOverlapsInTheScreenshot) {
    for (int i = 0; i < 12; ++i) store.AddLine(i * 10.0, 0, i * 10.0, 100, 0);
    for (int i = 0; i < 99999; ++i) ASSERT_TRUE(store.AppendText(0, 0, "A", 10, 0));  // 5 digits fit
    Show();
    EXPECT_EQ(dlg.size(), QSize(338, 248));
    EXPECT_EQ(dlg.PageControl1->tabText(1).toStdString(), "詳細");
    EXPECT_EQ(dlg.Label1->font().family().toStdString(), "ＭＳ ゴシック");
    const QFontMetrics counts(dlg.Label1->font());  // the counts start in one column
    const auto colon = [&](QLabel* l) {
        return counts.horizontalAdvance(l->text().left(l->text().indexOf(':') + 1));
    };
    for (QLabel* label : {dlg.Label2, dlg.Label3, dlg.Label4})
        EXPECT_EQ(colon(label), colon(dlg.Label1)) << label->objectName().toStdString();
    const QList<QWidget*> parents{&dlg, dlg.TabSheet1, dlg.GroupBox1, dlg.GroupBox2, dlg.GroupBox3};
    for (QWidget* parent : parents) {
        const auto kids = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* a : kids) {
            const std::string name = a->objectName().toStdString();
            EXPECT_TRUE(parent->rect().contains(a->geometry())) << name;
            for (QWidget* b : kids) {
                if (a != b) {
                    EXPECT_FALSE(a->geometry().intersects(b->geometry())) << name;
                }
            }
            if (auto* label = qobject_cast<QLabel*>(a)) {
                EXPECT_LE(label->sizeHint().width(), label->width()) << name;
            }
            if (auto* group = qobject_cast<QGroupBox*>(a)) {
                EXPECT_LE(QFontMetrics(group->font()).horizontalAdvance(group->title()) + 16,
                          group->width());
            }
        }
    }
    const QString path = QDir(QCoreApplication::applicationDirPath()).filePath("TPagesDlg.png");
    ASSERT_TRUE(dlg.grab().save(path));
    std::printf("screenshot: %s\n", qPrintable(path));
}
