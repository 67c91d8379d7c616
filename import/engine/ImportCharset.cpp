#include "import/engine/ImportCharset.h"

#include <QHash>

#include <array>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <map>
#include <mutex>

namespace {

struct TSingleByteTable {
    std::array<char16_t, 256> toUnicode{};
    QHash<char16_t, unsigned char> fromUnicode;
};

const TSingleByteTable& tableFor(int codePage) {
    static std::mutex lock;
    static std::map<int, TSingleByteTable> tables;
    std::lock_guard<std::mutex> guard(lock);
    auto it = tables.find(codePage);
    if (it != tables.end()) return it->second;
    TSingleByteTable& t = tables[codePage];
    std::string name = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("UTF-16LE", name.c_str());
    for (int b = 0; b < 256; ++b) {
        char16_t u = b < 128 ? (char16_t)b : u'?';
        if (cd != (iconv_t)-1) {
            char in = (char)b;
            char out[8];
            char* pin = &in;
            char* pout = out;
            size_t inLeft = 1, outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &pin, &inLeft, &pout, &outLeft) != (size_t)-1 && sizeof out - outLeft == 2) {
                std::memcpy(&u, out, 2);
            } else if (b >= 128) {
                u = u'?';
            }
        }
        t.toUnicode[b] = u;
    }
    if (cd != (iconv_t)-1) iconv_close(cd);
    for (int b = 255; b >= 0; --b) t.fromUnicode.insert(t.toUnicode[b], (unsigned char)b);
    return t;
}

}  // namespace

TCodePagePair vaccoraDesktopCodePages() {
    const char* vars[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    for (const char* v : vars) {
        const char* value = std::getenv(v);
        if (value && *value) {
            if (std::strncmp(value, "cs", 2) == 0) return {852, 1250};
            return {437, 1252};
        }
    }
    return {437, 1252};
}

QByteArray vaccoraEncodeSingleByte(const QString& text, int codePage) {
    const TSingleByteTable& t = tableFor(codePage);
    QByteArray out;
    out.resize(text.size());
    for (int i = 0; i < text.size(); ++i) {
        char16_t c = text[i].unicode();
        auto it = t.fromUnicode.constFind(c);
        out[i] = it == t.fromUnicode.constEnd() ? '?' : (char)*it;
    }
    return out;
}

QString vaccoraDecodeSingleByte(const QByteArray& bytes, int codePage) {
    const TSingleByteTable& t = tableFor(codePage);
    QString out;
    out.resize(bytes.size());
    for (int i = 0; i < bytes.size(); ++i) out[i] = QChar(t.toUnicode[(unsigned char)bytes[i]]);
    return out;
}

QString vaccoraOemToAnsi(const QString& text) {
    TCodePagePair p = vaccoraDesktopCodePages();
    QString oem = vaccoraDecodeSingleByte(vaccoraEncodeSingleByte(text, p.Ansi), p.Oem);
    return vaccoraDecodeSingleByte(vaccoraEncodeSingleByte(oem, p.Ansi), p.Ansi);
}

QString vaccoraAnsiToOem(const QString& text) {
    TCodePagePair p = vaccoraDesktopCodePages();
    return vaccoraDecodeSingleByte(vaccoraEncodeSingleByte(text, p.Oem), p.Ansi);
}
