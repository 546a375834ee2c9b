// The owner-drawn colour box ComboBox1: seven items, each shown as a line in its colour.
#pragma once

#include <QComboBox>
#include <QRect>

class QPainter;

// Paints item `index` into `rect`: a horizontal line 3 pixels wide in colour index + 1
// of the colour table, from rect.left + 5 to rect.right - 5 at the vertical middle. The
// item's text is not drawn.
void ComboBox1DrawItem(QPainter& painter, int index, const QRect& rect, bool selected);

class TColourBox : public QComboBox {
    Q_OBJECT

public:
    static constexpr int kItemHeight = 12;
    static constexpr int kWidth = 72;

    explicit TColourBox(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
