// Texts of files and the network: code page 932 (Shift-JIS with the Windows extensions) to
// Unicode and back.
#include "files/ShiftJis.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

namespace {

bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// The converter behind "Shift_JIS" maps like code page 932 (0x8160 is U+FF5E, 0x8740 is
// U+2460). Opening it costs far more than decoding a short text, and files hold hundreds of
// thousands of texts, so each thread keeps one; without state between calls it can be shared
// by every text.
QStringDecoder& ShiftJisDecoder() {
    thread_local QStringDecoder decoder("Shift_JIS", QStringConverter::Flag::Stateless);
    return decoder;
}

// Unicode (the Basic Multilingual Plane, where the whole code page lies) to the code page's
// bytes: one byte below 0x100, else lead byte * 256 + trail byte; 0 where it has none. Built
// once from the decoder itself, so that what is written reads back as the same character.
using EncodeTable = std::array<uint16_t, 0x10000>;

std::unique_ptr<EncodeTable> BuildEncodeTable() {
    auto table = std::make_unique<EncodeTable>();
    table->fill(0);
    for (unsigned b = 0x01; b < 0x80; ++b) (*table)[b] = uint16_t(b);
    QStringDecoder decode("Shift_JIS", QStringConverter::Flag::Stateless);
    auto add = [&](std::string_view bytes, uint16_t code) {
        const QString c = decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
        if (c.size() != 1 || c[0].isSurrogate()) return;
        const char16_t u = c[0].unicode();
        if (u < 0x80 || u == 0xFFFD || (*table)[u] != 0) return;
        (*table)[u] = code;
    };
    // Half-width kana only: readers disagree on what 0x80, 0xA0 and 0xFD to 0xFF stand for.
    for (unsigned b = 0xA1; b <= 0xDF; ++b) add(std::string(1, char(b)), uint16_t(b));
    // The rows in the order of preference; the first one holding a character wins.
    std::array<unsigned, 60> leads{};
    size_t n = 0;
    for (unsigned b = 0x81; b <= 0x9F; ++b) leads[n++] = b;
    for (unsigned b = 0xE0; b <= 0xEC; ++b) leads[n++] = b;
    for (unsigned b = 0xEF; b <= 0xFC; ++b) leads[n++] = b;
    leads[n++] = 0xED;
    leads[n++] = 0xEE;
    for (size_t i = 0; i < n; ++i)
        for (unsigned t = 0x40; t <= 0xFC; ++t) {
            if (t == 0x7F) continue;
            const char bytes[2] = {char(leads[i]), char(t)};
            add(std::string_view(bytes, 2), uint16_t(leads[i] << 8 | t));
        }
    return table;
}

const EncodeTable& CodePage932Table() {
    static const std::unique_ptr<EncodeTable> table = BuildEncodeTable();
    return *table;
}

void AppendEscape(std::string& out, char32_t unit) {
    static const char hex[] = "0123456789ABCDEF";
    out += "\\U+";
    for (int shift = 12; shift >= 0; shift -= 4) out += hex[(unit >> shift) & 15];
}

int HexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

// The code unit of a "\U+XXXX" escape at `at`, or -1.
int EscapeAt(const QString& text, qsizetype at) {
    if (at + 7 > text.size() || text[at] != u'\\' || text[at + 1] != u'U' || text[at + 2] != u'+')
        return -1;
    int v = 0;
    for (qsizetype k = at + 3; k < at + 7; ++k) {
        const int h = HexValue(text[k]);
        if (h < 0) return -1;
        v = v * 16 + h;
    }
    return v;
}

}  // namespace

QString DecodeShiftJis(std::string_view bytes) {
    // The converter marks bytes it cannot map with the control character U+001A, which
    // draws as nothing, and drops a lead byte left without its trail byte.
    QString text = ShiftJisDecoder()(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    text.replace(QChar(0x1A), QChar::ReplacementCharacter);
    size_t i = 0;
    while (i < bytes.size()) i += IsLeadByte(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
    if (i > bytes.size()) text += QChar::ReplacementCharacter;
    return text;
}

bool AppendCodePage932(std::string& out, char32_t c) {
    if (c == 0) {
        out += '\0';
        return true;
    }
    if (c > 0xFFFF) return false;
    const uint16_t code = CodePage932Table()[c];
    if (code == 0) return false;
    if (code > 0xFF) out += char(code >> 8);
    out += char(code & 0xFF);
    return true;
}

std::string EncodeCodePage932Text(std::string_view utf8) {
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return c >= 0; }))
        return std::string(utf8);
    // Invalid UTF-8 comes out of the conversion as U+FFFD.
    const QString text = QString::fromUtf8(QByteArrayView(utf8.data(), qsizetype(utf8.size())));
    std::string out;
    out.reserve(utf8.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (AppendCodePage932(out, c)) continue;
        if (c > 0xFFFF) {
            AppendEscape(out, 0xD800 + ((c - 0x10000) >> 10));
            AppendEscape(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            AppendEscape(out, c);
        }
    }
    return out;
}

QString ResolveUnicodeEscapes(const QString& text) {
    if (!text.contains(u'\\')) return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const int unit = EscapeAt(text, i);
        if (unit < 0) {
            out += text[i++];
            continue;
        }
        i += 7;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            const int low = EscapeAt(text, i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                out += QChar(char16_t(unit));
                out += QChar(char16_t(low));
                i += 7;
                continue;
            }
        }
        const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
        out += surrogate || unit == 0 ? QChar::ReplacementCharacter : QChar(char16_t(unit));
    }
    return out;
}

std::string DecodeCodePage932Text(std::string_view bytes) {
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return c > 0 && c != '\\'; }))
        return std::string(bytes);
    return ResolveUnicodeEscapes(DecodeShiftJis(bytes)).toStdString();
}
