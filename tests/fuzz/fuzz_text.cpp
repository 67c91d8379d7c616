// Fuzz entry of the text source's reading path: marks, decoding in several
// code pages, line breaks, record assembly, field splitting, tab expansion
// and fixed-width cuts. The first byte chooses code page, mode, separator
// and quote; the rest is the file.
#include "import/sources/text/TextLineReader.h"
#include "import/sources/text/TextRecords.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// The field splitter written literally as its five states, one character
// at a time: the reference the library's run-copying splitter must match.
QStringList referenceSplit(QStringView r, char comma, char quote)
{
    enum State { FieldStart, Unquoted, Quoted, QuoteSeen, AfterClose } st = FieldStart;
    const char16_t S = char16_t(uchar(comma)), Q = char16_t(uchar(quote));
    QStringList out;
    QString field;
    for (QChar qc : r) {
        const char16_t c = qc.unicode();
        switch (st) {
        case FieldStart:
            field.clear();
            if (quote != 0 && c == Q) {
                st = Quoted;
                break;
            }
            [[fallthrough]];
        case Unquoted:
            if (c == S) {
                out << field;
                st = FieldStart;
            } else {
                field += qc;
                st = Unquoted;
            }
            break;
        case Quoted:
            if (c == Q)
                st = QuoteSeen;
            else
                field += qc;
            break;
        case QuoteSeen:
            if (c == Q) {
                field += qc;
                st = Quoted;
            } else if (c == S) {
                out << field;
                st = FieldStart;
            } else {
                st = AfterClose;
            }
            break;
        case AfterClose:
            if (c == S) {
                out << field;
                st = FieldStart;
            }
            break;
        }
    }
    if (st == FieldStart)
        field.clear();
    out << field;
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const int kCodePages[] = {1252, 65001, 1200, 12000, 1250, 936, 870, 950};
    const uint8_t sel = data[0];
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    TTextLineReader reader;
    reader.SetCodePage(kCodePages[sel & 7]);
    reader.OpenBuffer(bytes);
    const char comma = (sel & 0x08) ? ';' : ',';
    const char quote = (sel & 0x20) ? 0 : (sel & 0x10) ? '\'' : '"';
    QString text, expanded;
    size_t total = 0;
    if (sel & 0x40) {
        while (reader.ReadLine(text)) {
            vaccoraExpandTabs(text, expanded);
            const QStringView cut = QStringView(expanded).mid(std::min<qsizetype>(3, expanded.size()), 5);
            total += size_t(vaccoraTrimBlank(cut).size());
        }
    } else {
        TTextRecordReader records(reader, comma, quote);
        TTextFields fields;
        while (records.ReadRecord(text)) {
            vaccoraSplitTextRecord(text, comma, quote, fields);
            if (fields.Count() < 1 || fields.ToList() != referenceSplit(text, comma, quote))
                __builtin_trap();
            for (int i = 0; i < fields.Count(); ++i)
                total += size_t(fields.Field(i).size());
            total += vaccoraTextLineContinues(text, comma, quote);
        }
    }
    if (!reader.Eof())
        __builtin_trap();
    return total == size_t(-1);
}
