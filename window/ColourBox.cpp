// The owner-drawn colour box: the item painter, its delegate for the list and the closed box.
#include "window/ColourBox.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>

#include "render/ColourTable.h"

namespace {

const QColor kGrey(0x80, 0x80, 0x80);      // the box's own face
const QColor kSelected(0xA8, 0xA8, 0xA8);  // the item under the cursor in the list

class ColourItemDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        ComboBox1DrawItem(*painter, index.row(), option.rect,
                          option.state & (QStyle::State_Selected | QStyle::State_MouseOver));
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(TColourBox::kWidth, TColourBox::kItemHeight);
    }
};

}  // namespace

void ComboBox1DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) {
    painter.save();
    painter.fillRect(rect, selected ? kSelected : kGrey);
    if (std::optional<uint32_t> rgb = ColourOf(index + 1)) {
        QPen pen(QColor::fromRgb(*rgb), 3);
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        // A Windows rectangle's right and bottom are exclusive; QRect's are inclusive.
        const int left = rect.left(), right = rect.left() + rect.width();
        const int middle = (rect.top() + rect.top() + rect.height()) / 2;
        painter.drawLine(left + 5, middle, right - 5, middle);
    }
    painter.restore();
}

TColourBox::TColourBox(QWidget* parent) : QComboBox(parent) {
    setObjectName(QStringLiteral("ComboBox1"));
    setFixedWidth(kWidth);
    addItems({QStringLiteral("1:青"), QStringLiteral("2:赤"), QStringLiteral("3:紫"),
              QStringLiteral("4:緑"), QStringLiteral("5:水色"), QStringLiteral("6:黄"),
              QStringLiteral("7:白")});
    setItemDelegate(new ColourItemDelegate(this));
    QPalette pal = palette();
    pal.setColor(QPalette::Base, kGrey);
    pal.setColor(QPalette::Button, kGrey);
    pal.setColor(QPalette::Window, kGrey);
    setPalette(pal);
    view()->setPalette(pal);
}

void TColourBox::paintEvent(QPaintEvent*) {
    // The closed box: the frame and arrow of the style, then the current item as the list
    // shows it instead of its text.
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    if (currentIndex() >= 0) ComboBox1DrawItem(painter, currentIndex(), field, false);
}
