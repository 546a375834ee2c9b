// What the component's three dialogs share: their font, their placement and Shift-JIS display.
#pragma once

#include <QString>
#include <string>

class QDialog;
class QWidget;

namespace man2man {

// "ＭＳ Ｐゴシック", height -12 (12 pixels), or another pixel height.
void ApplyDialogFont(QWidget* widget, int pixelHeight = 12);

// Places `dialog` over the window that contains `owner`, 30 pixels below its centre; without
// such a window the dialog is centred on the screen. Call when the dialog is about to show.
void PlaceOverOwner(QDialog* dialog, QWidget* owner);
void CenterOnScreen(QDialog* dialog);

// Shift-JIS bytes to text for display and back for typed text.
QString FromSjis(const std::string& bytes);
std::string ToSjis(const QString& text);

// Leading and trailing blanks and control characters removed (bytes up to 0x20).
std::string TrimBlanks(const std::string& bytes);

}  // namespace man2man
