// The characters of DXF texts: the file's encoding, escapes and control codes, both ways.
#include "files/DxfText.h"

#include <QStringDecoder>
#include <algorithm>
#include <cctype>
#include <optional>

#include "files/ShiftJis.h"

namespace {

bool PlainAscii(std::string_view raw) {
    return std::all_of(raw.begin(), raw.end(),
                       [](char c) { return c > 0 && c != '\\' && c != '%'; });
}

// The converter of the code page last asked for, kept per thread: a file's texts all share one
// code page, and opening a converter costs more than decoding a text.
class PageDecoder {
public:
    // Empty when the page is code page 932 or one without a converter: those are read as
    // Shift-JIS, which is how Korvo has always read DXF texts.
    QStringDecoder* For(const std::string& codePage) {
        if (codePage != page_) {
            page_ = codePage;
            decoder_.reset();
            Open(codePage);
        }
        return decoder_ ? &*decoder_ : nullptr;
    }

private:
    void Open(const std::string& codePage) {
        std::string name;
        for (char c : codePage)
            if (!std::isspace(static_cast<unsigned char>(c)))
                name += char(std::toupper(static_cast<unsigned char>(c)));
        if (!name.starts_with("ANSI_")) return;
        const std::string number = name.substr(5);
        if (number.empty() || number == "932" ||
            !std::all_of(number.begin(), number.end(),
                         [](char c) { return c >= '0' && c <= '9'; }))
            return;
        // Windows names the pages by number; the converters know most of them as
        // "windows-N", a few only by an older name.
        for (const std::string& candidate :
             {"windows-" + number, "cp" + number,
              std::string(number == "936" ? "GBK" : number == "950" ? "Big5" : "")}) {
            if (candidate.empty()) continue;
            QStringDecoder d(candidate.c_str(), QStringConverter::Flag::Stateless);
            if (d.isValid()) {
                decoder_.emplace(std::move(d));
                return;
            }
        }
    }

    std::string page_ = "ANSI_932";
    std::optional<QStringDecoder> decoder_;
};

QString DecodeBytes(std::string_view raw, const DxfTextEncoding& encoding) {
    const QByteArrayView bytes(raw.data(), qsizetype(raw.size()));
    if (encoding.utf8) return QString::fromUtf8(bytes);
    thread_local PageDecoder pages;
    if (QStringDecoder* decoder = pages.For(encoding.codePage)) return (*decoder)(bytes);
    return DecodeShiftJis(raw);
}

// The character of "%%nnn": a code below 256 is a byte of the file's own encoding (Latin-1
// in UTF-8 files), a larger one the Unicode character of that number.
QString CodeCharacter(int code, const DxfTextEncoding& encoding) {
    if (code == 0) return QString(QChar::ReplacementCharacter);
    if (code >= 0x80 && code < 0x100 && !encoding.utf8) {
        const char byte = char(code);
        const QString c = DecodeBytes(std::string_view(&byte, 1), encoding);
        if (c.size() == 1 && c[0] != QChar::ReplacementCharacter && c[0] != QChar(0x1A)) return c;
    }
    return QString(QChar(char16_t(code)));
}

QString ResolveControlCodes(const QString& text, const DxfTextEncoding& encoding) {
    if (!text.contains(QStringLiteral("%%"))) return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] != u'%' || i + 2 >= text.size() || text[i + 1] != u'%') {
            out += text[i++];
            continue;
        }
        const QChar c = text[i + 2];
        switch (c.toLower().unicode()) {
            case u'c':
                out += QChar(0x2300);
                break;
            case u'd':
                out += QChar(0x00B0);
                break;
            case u'p':
                out += QChar(0x00B1);
                break;
            case u'%':
                out += u'%';
                break;
            case u'u':
            case u'o':
                break;
            default:
                if (i + 4 < text.size() && c.isDigit() && text[i + 3].isDigit() &&
                    text[i + 4].isDigit() && c.unicode() < 0x80 && text[i + 3].unicode() < 0x80 &&
                    text[i + 4].unicode() < 0x80) {
                    const int code = (c.unicode() - '0') * 100 + (text[i + 3].unicode() - '0') * 10 +
                                     (text[i + 4].unicode() - '0');
                    out += CodeCharacter(code, encoding);
                    i += 5;
                    continue;
                }
                // Not a code: the characters stand for themselves.
                out += text[i++];
                continue;
        }
        i += 3;
    }
    return out;
}

}  // namespace

std::string DecodeDxfText(std::string_view raw, const DxfTextEncoding& encoding) {
    if (PlainAscii(raw)) return std::string(raw);
    return ResolveControlCodes(ResolveUnicodeEscapes(DecodeBytes(raw, encoding)), encoding)
        .toStdString();
}

std::string EncodeDxfText(std::string_view utf8) { return EncodeCodePage932Text(utf8); }
