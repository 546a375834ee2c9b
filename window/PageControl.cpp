// The command palette PageControl1: tabs on the right with upright, stacked captions.
#include "window/PageControl.h"

#include <QStyleOptionTab>
#include <QStylePainter>

namespace {

// Vertical lines of text turn the long-vowel marks with the line.
bool TurnsInVerticalText(QChar c) {
    return c == QChar(0x30FC) || c == QChar(0xFF70) || c == QChar('-');
}

int CharStep(const QFont& font) { return QFontMetrics(font).ascent() + 1; }

}  // namespace

TPaletteTabBar::TPaletteTabBar(QWidget* parent) : QTabBar(parent) {
    setObjectName(QStringLiteral("PageControl1Tabs"));
    setAttribute(Qt::WA_Hover);  // hot-tracking
    setUsesScrollButtons(false);
    setExpanding(false);
    setDrawBase(true);
}

QSize TPaletteTabBar::tabSizeHint(int index) const {
    const int chars = int(tabText(index).size());
    return QSize(kTabWidth, chars * CharStep(font()) + 10);
}

void TPaletteTabBar::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    const int step = CharStep(font());
    // The current tab is painted last, over its neighbours' edges.
    QList<int> order;
    for (int i = 0; i < count(); ++i)
        if (i != currentIndex()) order << i;
    if (currentIndex() >= 0) order << currentIndex();
    for (int i : order) {
        QStyleOptionTab option;
        initStyleOption(&option, i);
        const QString text = option.text;
        option.text.clear();
        painter.drawControl(QStyle::CE_TabBarTabShape, option);
        painter.setPen(option.palette.color(isTabEnabled(i) ? QPalette::Active : QPalette::Disabled,
                                            QPalette::WindowText));
        const QRect r = option.rect;
        int y = r.top() + (r.height() - int(text.size()) * step) / 2;
        for (QChar c : text) {
            const QRect cell(r.left(), y, r.width(), step);
            if (TurnsInVerticalText(c)) {
                painter.save();
                painter.translate(cell.center());
                painter.rotate(90);
                painter.drawText(QRect(-step / 2, -r.width() / 2, step, r.width()), Qt::AlignCenter,
                                 QString(c));
                painter.restore();
            } else {
                painter.drawText(cell, Qt::AlignHCenter | Qt::AlignVCenter, QString(c));
            }
            y += step;
        }
    }
}

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent), tabs_(new TPaletteTabBar) {
    setObjectName(QStringLiteral("PageControl1"));
    setTabBar(tabs_);
    setTabPosition(QTabWidget::East);
    setUsesScrollButtons(false);
}
