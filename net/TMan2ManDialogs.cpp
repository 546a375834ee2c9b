// Font, placement and Shift-JIS display for the component's dialogs.
#include "net/TMan2ManDialogs.h"

#include <QDialog>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QWidget>

namespace man2man {

void ApplyDialogFont(QWidget* widget, int pixelHeight) {
    QFont font(QString::fromUtf8("ＭＳ Ｐゴシック"));
    font.setPixelSize(pixelHeight);
    widget->setFont(font);
}

void PlaceOverOwner(QDialog* dialog, QWidget* owner) {
    QWidget* form = owner ? owner->window() : nullptr;
    if (!form || form == dialog) {
        CenterOnScreen(dialog);
        return;
    }
    const QRect f = form->frameGeometry();
    const QSize d = dialog->frameGeometry().size();
    // Integer division rounds toward zero, as the placement is defined.
    const int left = f.left() + (f.width() - d.width()) / 2;
    const int top = f.top() + (f.height() - d.height()) / 2 + 30;
    dialog->move(left, top);
}

void CenterOnScreen(QDialog* dialog) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect s = screen->availableGeometry();
    const QSize d = dialog->frameGeometry().size();
    dialog->move(s.left() + (s.width() - d.width()) / 2, s.top() + (s.height() - d.height()) / 2);
}

QString FromSjis(const std::string& bytes) {
    QStringDecoder decoder("Shift_JIS");
    if (!decoder.isValid()) return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    return decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

std::string ToSjis(const QString& text) {
    QStringEncoder encoder("Shift_JIS");
    if (!encoder.isValid()) return text.toLatin1().toStdString();
    const QByteArray bytes = encoder.encode(text);
    return std::string(bytes.constData(), size_t(bytes.size()));
}

std::string TrimBlanks(const std::string& bytes) {
    size_t begin = 0;
    size_t end = bytes.size();
    while (begin < end && static_cast<unsigned char>(bytes[begin]) <= 0x20) ++begin;
    while (end > begin && static_cast<unsigned char>(bytes[end - 1]) <= 0x20) --end;
    return bytes.substr(begin, end - begin);
}

}  // namespace man2man
