// Texts of files and the network: code page 932 (Shift-JIS with the Windows extensions) to Unicode.
#include "files/ShiftJis.h"

#include <QStringDecoder>

namespace {

bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

}  // namespace

QString DecodeShiftJis(std::string_view bytes) {
    // The converter behind "Shift_JIS" maps like code page 932 (0x8160 is U+FF5E, 0x8740
    // is U+2460), but it marks bytes it cannot map with the control character U+001A,
    // which draws as nothing, and drops a lead byte left without its trail byte.
    QStringDecoder decode("Shift_JIS", QStringConverter::Flag::Stateless);
    QString text = decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    text.replace(QChar(0x1A), QChar::ReplacementCharacter);
    size_t i = 0;
    while (i < bytes.size()) i += IsLeadByte(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
    if (i > bytes.size()) text += QChar::ReplacementCharacter;
    return text;
}
