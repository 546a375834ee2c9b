// A started main window for the window tests: shown maximised, headless, prompts scripted.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "render/JapaneseFonts.h"
#include "tests/support/ScriptedPrompts.h"
#include "window/PaintBox.h"
#include "window/TForm1.h"

class TForm1Test : public ::testing::Test {
protected:
    void SetUp() override {
        InstallJapaneseFontSubstitutes();
        form = std::make_unique<TForm1>();
        ASSERT_TRUE(form->storeCreated());
        form->showMaximized();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 10000));
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), 10000));
        Settle();
    }

    // Runs the posted events (layout, scroll bars coming and going, the requested redraw)
    // until none are left.
    static void Settle() {
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }

    QToolButton* Button(const char* name) const { return form->Button(name); }

    // The surface pixel of world point (x, y).
    QPoint At(double x, double y) const { return {form->view.ScreenX(x), form->view.ScreenY(y)}; }
    void Click(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mouseClick(form->PaintBox1, b, Qt::NoModifier, p);
        Settle();
    }
    // A move, then the timer's tick as the 100 ms timer would run it.
    void Hover(QPoint p) {
        QTest::mouseMove(form->PaintBox1, p);
        QMouseEvent move(QEvent::MouseMove, QPointF(p), form->PaintBox1->mapToGlobal(QPointF(p)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(form->PaintBox1, &move);
        form->Timer1Timer();
        Settle();
    }
    // What a user does to act on an element: move there, wait for the tick, click.
    void HoverAndClick(double x, double y) {
        Hover(At(x, y));
        Click(At(x, y));
    }
    int AliveLines() const {
        int n = 0;
        for (int i = 0; i <= form->store.lineTop; ++i) n += form->store.line(i).alive;
        return n;
    }
    int AliveCircles() const {
        int n = 0;
        for (int i = 0; i <= form->store.circleTop; ++i) n += form->store.circle(i).alive;
        return n;
    }
    void Type(QLineEdit* box, const QString& text) {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
        Settle();
    }
    QScrollBar* HBar() const { return form->ScrollBox1->horizontalScrollBar(); }
    QScrollBar* VBar() const { return form->ScrollBox1->verticalScrollBar(); }

    // The pixel of the drawing surface at surface position (x, y), as the widget shows it.
    QRgb ShownPixel(int x, int y) const {
        const QImage shot = form->PaintBox1->grab(QRect(x, y, 1, 1)).toImage();
        return shot.pixel(0, 0) & 0xFFFFFF;
    }

    ScriptedPrompts prompts;  // before the window: start-up may already speak
    std::unique_ptr<TForm1> form;
};
