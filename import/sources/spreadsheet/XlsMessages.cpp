#include "import/sources/spreadsheet/XlsMessages.h"

namespace {

QString (*g_source)(int) = nullptr;

const char* const kTexts[SxlsLastMessage - SxlsFileNameNotDefined] = {
    "File name is not defined",
    "File %s does not exist",
    "File %s is not an Excel Workbook",
    "Error reading Excel records. File invalid",
    "File is saved with an invalid Excel version",
    "Record with ID 0x%x is invalid",
    "Error reading record",
    "Shared Formula not found",
    "Formula at Row %d, column %d is not supported. Token Id: 0x%2x",
    "Error reading formula, Token Id: 0x%2x is not supported",
    "Invalid Row (%d)",
    "Invalid Column (%d)",
    "The compound file %s is damaged",
    "List index out of bounds (%d)",
    "Cannot open file %s: %s",
    "Cannot read file %s: %s",
    "The %s symbol at position %d is unknown",
    "Illegal char %s in sheet name at position %d",
    "The symbol %s at position %d is unexpected",
    "Range %s is fail. It must be COL or ROW",
    "Expect %s but %s found",
    "Unexpected end of range",
    "Letter expected but %s found (position %d)",
    "Number expected but %s found (position %d)",
    "end of range",
    "Column %d is out of range [%s..%s]",
    "Row %d is out of range [%d..%d]",
    "'%s' is not a valid integer value",
    "Sheet with name %s is not found in the source file",
    "Col is empty",
    "Row is empty",
    "Cell is empty",
    "Sheet is empty",
    "So long col definition",
    "So long row definition",
    "So long cell definition",
    "So long sheet definition",
};

} // namespace

QString xlsDefaultText(int id)
{
    if (id < SxlsFileNameNotDefined || id >= SxlsLastMessage)
        return QString();
    return QString::fromLatin1(kTexts[id - SxlsFileNameNotDefined]);
}

QString xlsText(int id) { return g_source ? g_source(id) : xlsDefaultText(id); }

void xlsSetTextSource(QString (*source)(int id)) { g_source = source; }

QString xlsFmt(int id, std::initializer_list<QString> args)
{
    const QString fmt = xlsText(id);
    QString out;
    out.reserve(fmt.size() + 32);
    auto arg = args.begin();
    for (qsizetype i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != QLatin1Char('%') || i + 1 >= fmt.size()) {
            out.append(fmt[i]);
            continue;
        }
        if (fmt[i + 1] == QLatin1Char('%')) {
            out.append(QLatin1Char('%'));
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        while (j < fmt.size() && (fmt[j].isDigit() || fmt[j] == QLatin1Char('.')))
            ++j;
        if (j < fmt.size() && QStringLiteral("sdxu").contains(fmt[j])) {
            if (arg != args.end())
                out.append(*arg++);
            i = j;
            continue;
        }
        out.append(fmt[i]);
    }
    return out;
}
