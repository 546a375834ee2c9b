// The command palette PageControl1: tabs on the right whose captions stand upright, one
// character below the other.
#pragma once

#include <QTabBar>
#include <QTabWidget>

class TPaletteTabBar : public QTabBar {
    Q_OBJECT

public:
    static constexpr int kTabWidth = 15;

    explicit TPaletteTabBar(QWidget* parent = nullptr);

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
    void paintEvent(QPaintEvent* event) override;
};

class TPageControl : public QTabWidget {
    Q_OBJECT

public:
    explicit TPageControl(QWidget* parent = nullptr);
    TPaletteTabBar* paletteTabs() const { return tabs_; }

private:
    TPaletteTabBar* tabs_;
};
