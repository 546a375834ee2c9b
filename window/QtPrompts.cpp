// Qt message boxes and dialogs behind the prompt seam.
#include "window/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QThread>

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

QMessageBox::Icon ToIcon(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::Information:
            return QMessageBox::Information;
        case PromptIcon::Warning:
            return QMessageBox::Warning;
        case PromptIcon::Error:
            return QMessageBox::Critical;
        case PromptIcon::Question:
            return QMessageBox::Question;
        case PromptIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToButtons(PromptButtons b) {
    switch (b) {
        case PromptButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case PromptButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case PromptButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case PromptButtons::SaveDiscardCancel:
            return QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
        case PromptButtons::Ok:
            break;
    }
    return QMessageBox::Ok;
}

// Widgets live on the UI thread; a prompt asked from a worker is carried there.
template <typename F>
auto OnUiThread(F f) -> decltype(f()) {
    if (!qApp || QThread::currentThread() == qApp->thread()) return f();
    decltype(f()) result{};
    QMetaObject::invokeMethod(
        qApp, [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
}

}  // namespace

PromptAnswer QtPrompts::Message(const std::string& text, const std::string& caption,
                                PromptButtons buttons, PromptIcon icon) {
    return OnUiThread([&] {
        QMessageBox box(ToIcon(icon), Q(caption), Q(text), ToButtons(buttons),
                        QApplication::activeWindow());
        if (buttons == PromptButtons::SaveDiscardCancel) {
            box.button(QMessageBox::Save)->setText(QStringLiteral("保存"));
            box.button(QMessageBox::Discard)->setText(QStringLiteral("保存しない"));
            box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
            box.setDefaultButton(QMessageBox::Save);
        }
        switch (box.exec()) {
            case QMessageBox::Save:
                return PromptAnswer::Yes;
            case QMessageBox::Discard:
                return PromptAnswer::No;
            case QMessageBox::Ok:
                return PromptAnswer::Ok;
            case QMessageBox::Yes:
                return PromptAnswer::Yes;
            case QMessageBox::No:
                return PromptAnswer::No;
            default:
                return PromptAnswer::Cancel;
        }
    });
}

std::optional<std::string> QtPrompts::OpenFileName(const FileDialogRequest& r) {
    return OnUiThread([&]() -> std::optional<std::string> {
        QString name = QFileDialog::getOpenFileName(QApplication::activeWindow(), Q(r.title),
                                                    Q(r.initialPath), Q(r.filter));
        if (name.isEmpty()) return std::nullopt;
        return name.toStdString();
    });
}

std::optional<std::string> QtPrompts::SaveFileName(const FileDialogRequest& r) {
    return OnUiThread([&]() -> std::optional<std::string> {
        QFileDialog dialog(QApplication::activeWindow(), Q(r.title), Q(r.initialPath), Q(r.filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(Q(r.defaultSuffix));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().front().toStdString();
    });
}

std::optional<std::string> QtPrompts::InputText(const std::string& caption,
                                                const std::string& label,
                                                const std::string& initial) {
    return OnUiThread([&]() -> std::optional<std::string> {
        bool ok = false;
        QString s = QInputDialog::getText(QApplication::activeWindow(), Q(caption), Q(label),
                                          QLineEdit::Normal, Q(initial), &ok);
        if (!ok) return std::nullopt;
        return s.toStdString();
    });
}

std::optional<PrintTarget> QtPrompts::PrintDialog() {
    return OnUiThread([&]() -> std::optional<PrintTarget> {
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageOrientation(QPageLayout::Landscape);
        QPrintDialog dialog(&printer, QApplication::activeWindow());
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        PrintTarget t;
        t.printerName = printer.printerName().toStdString();
        if (printer.outputFormat() == QPrinter::PdfFormat)
            t.outputFile = printer.outputFileName().toStdString();
        return t;
    });
}
