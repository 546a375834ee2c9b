// The bridge between the main window's controls and the command state machine.
#include "window/TForm1Tools.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include "window/ColourBox.h"
#include "window/PaintBox.h"
#include "window/TForm1.h"

TForm1Tools::TForm1Tools(TForm1& form) : machine(form.store, form.renderer, *this), form_(form) {}

void TForm1Tools::Wire() {
    form_.PaintBox1->installEventFilter(this);
    form_.PaintBox1->setMouseTracking(true);
    for (QLineEdit* e : {form_.Edit1, form_.Edit2, form_.Edit3, form_.Edit4, form_.Edit5})
        e->installEventFilter(this);
    connect(form_.Edit3, &QLineEdit::textEdited, this, [this] { machine.Edit3Change(); });
}

bool TForm1Tools::eventFilter(QObject* watched, QEvent* event) {
    if (watched == form_.PaintBox1) {
        switch (event->type()) {
            case QEvent::Enter:
                pointerInside_ = true;
                return false;
            case QEvent::Leave:
                pointerInside_ = false;
                return false;
            case QEvent::Wheel: {
                auto* w = static_cast<QWheelEvent*>(event);
                if (!(w->modifiers() & Qt::ControlModifier)) return false;  // the area scrolls
                const QPoint angle = w->angleDelta();
                wheelRest_ += angle.y() != 0 ? angle.y() : angle.x();
                const int steps = wheelRest_ / 120;
                wheelRest_ -= steps * 120;
                const QPoint p = w->position().toPoint();
                if (steps != 0) form_.ZoomAtCursor(steps, p.x(), p.y());
                return true;
            }
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick: {
                // A quick second press arrives as a double-click, either in place of its
                // press or right after it. Each press counts once, whatever it is called:
                // a double-click that follows its own press unreleased is that press.
                auto* m = static_cast<QMouseEvent*>(event);
                if (m->button() == Qt::MiddleButton) {
                    // Panning leaves the command, its step and its rubber band as they are.
                    middlePan_ = true;
                    panLast_ = m->globalPosition().toPoint();
                    return true;
                }
                const bool left = m->button() == Qt::LeftButton;
                if (event->type() == QEvent::MouseButtonDblClick && left && leftHeld_) return true;
                if (left) leftHeld_ = true;
                QPoint p = m->position().toPoint();
                machine.PaintBox1MouseDown(left, p.x(), p.y());
                return true;
            }
            case QEvent::MouseMove: {
                auto* m = static_cast<QMouseEvent*>(event);
                pointerInside_ = true;
                if (middlePan_ && (m->buttons() & Qt::MiddleButton)) {
                    const QPoint now = m->globalPosition().toPoint();
                    const QPoint d = panLast_ - now;
                    panLast_ = now;
                    form_.PanView(d.x(), d.y());
                }
                QPoint p = m->position().toPoint();
                machine.PaintBox1MouseMove(p.x(), p.y());
                return true;
            }
            case QEvent::MouseButtonRelease:
                if (static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) {
                    middlePan_ = false;
                    return true;
                }
                if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) leftHeld_ = false;
                machine.PaintBox1MouseUp();
                return true;
            default:
                return false;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() != Qt::Key_Return && k->key() != Qt::Key_Enter) return false;
        if (watched == form_.Edit1) machine.Edit1KeyDown();
        else if (watched == form_.Edit2) machine.Edit2KeyDown();
        else if (watched == form_.Edit3) machine.Edit3KeyDown();
        else if (watched == form_.Edit4) machine.Edit4KeyDown();
        else if (watched == form_.Edit5) machine.Edit5KeyDown();
        else return false;
        return true;
    }
    return false;
}

void TForm1Tools::SetCursor(Cursor cursor) {
    cursor_ = cursor;
    switch (cursor) {
        case Cursor::Default: form_.PaintBox1->unsetCursor(); break;
        case Cursor::Cross: form_.PaintBox1->setCursor(Qt::CrossCursor); break;
        case Cursor::UpArrow: form_.PaintBox1->setCursor(Qt::UpArrowCursor); break;
        case Cursor::Drag: form_.PaintBox1->setCursor(Qt::ClosedHandCursor); break;
    }
}

void TForm1Tools::SetTimerEnabled(bool on) {
    if (!on) {
        form_.Timer1->stop();
    } else if (!form_.Timer1->isActive()) {
        form_.Timer1->start();  // arming again does not postpone a tick already due
    }
}

CommandHost::Scrolled TForm1Tools::ScrollBy(int dx, int dy) {
    QScrollBar* h = form_.ScrollBox1->horizontalScrollBar();
    QScrollBar* v = form_.ScrollBox1->verticalScrollBar();
    const int x0 = h->value(), y0 = v->value();
    h->setValue(x0 + dx);
    v->setValue(y0 + dy);
    return {h->value() - x0, v->value() - y0};
}

void TForm1Tools::SetStatus(int panel, const std::string& text) {
    form_.SetStatusPanel(panel, QString::fromStdString(text));
}

namespace {
QLineEdit* EditOf(const TForm1& f, CommandHost::Box box) {
    switch (box) {
        case CommandHost::Box::Edit1: return f.Edit1;
        case CommandHost::Box::Edit2: return f.Edit2;
        case CommandHost::Box::Edit3: return f.Edit3;
        case CommandHost::Box::Edit4: return f.Edit4;
        case CommandHost::Box::Edit5: return f.Edit5;
    }
    return f.Edit1;
}
}  // namespace

std::string TForm1Tools::BoxText(Box box) const { return EditOf(form_, box)->text().toStdString(); }

void TForm1Tools::Focus(Box box) { EditOf(form_, box)->setFocus(Qt::OtherFocusReason); }

void TForm1Tools::ShowEntryBoxes(bool angles) {
    form_.Bevel2->show();
    form_.Edit3->show();
    form_.Label3->setText(QStringLiteral("半径"));
    form_.Label3->show();
    if (!angles) return;
    for (QWidget* w : std::initializer_list<QWidget*>{form_.Edit4, form_.Label4, form_.Edit5, form_.Label5})
        w->show();
}

void TForm1Tools::HideEntryBoxes() {
    for (QWidget* w : std::initializer_list<QWidget*>{form_.Bevel2, form_.Edit3, form_.Edit4,
                                                      form_.Edit5, form_.Label3, form_.Label4,
                                                      form_.Label5})
        w->hide();
}

void TForm1Tools::ShowValueBox(const std::string& label) {
    form_.Edit3->setText(QStringLiteral("10"));
    form_.Label3->setText(QString::fromStdString(label));
    for (QWidget* w : std::initializer_list<QWidget*>{form_.Bevel2, form_.Edit3, form_.Label3})
        w->show();
    form_.Edit3->setFocus(Qt::OtherFocusReason);
}

void TForm1Tools::AppendLog(const std::string& text) {
    form_.Memo1->appendPlainText(QString::fromStdString(text));
}

int TForm1Tools::ColourBoxIndex() const { return form_.ComboBox1->currentIndex(); }

int TForm1Tools::ActiveTab() const { return form_.PageControl1->currentIndex(); }

void TForm1Tools::SetSelectButtonDown(int tab) {
    static const char* const names[] = {"SpeedButton1", "SpeedButton2", "SpeedButton24", "SpeedButton37"};
    if (tab < 0 || tab > 3) return;
    if (QToolButton* b = form_.Button(names[tab])) b->setChecked(true);
}

void TForm1Tools::ReleasePrintAndRedrawButtons() {
    for (const char* name : {"SpeedButton23", "SpeedButton31"})
        if (QToolButton* b = form_.Button(name)) b->setDown(false);
}

bool TForm1Tools::SnapButtonDown() const {
    QToolButton* b = form_.Button("SpeedButton30");
    return b && b->isChecked();
}
