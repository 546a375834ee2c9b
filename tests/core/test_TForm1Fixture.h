// A started main window for the window tests: shown maximised, headless, prompts scripted.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "core/PaintBox.h"
#include "core/TForm1.h"
#include "core/TForm1Fonts.h"
#include "tests/support/ScriptedPrompts.h"

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
