// Fuzz entry of the XLS load path: compound file or bare BIFF stream,
// records, CONTINUE chains, strings, shared strings, cells, shared formulas;
// then every cell's text and a few range maps resolved and fetched.
#include "import/sources/spreadsheet/XlsMap.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> bytes(data, data + size);
    TxlsFile file(QStringLiteral("fuzz.xls"));
    try {
        file.openBytes(bytes);
    } catch (const ExlsError&) {
        return 0;
    }
    const TxlsFormatSettings fs;
    size_t total = 0;
    for (int s = 0; s < file.worksheetCount(); ++s) {
        TxlsWorkSheet* sheet = file.worksheet(s);
        total += size_t(sheet->name().size());
        for (const TxlsRow& row : sheet->Rows)
            for (TbiffCell* cell : row.cells()) {
                try {
                    total += size_t(cell->text(fs).size());
                    (void)cell->valueKind();
                } catch (const ExlsError&) {
                }
                if (cell->row() < 65536 && cell->column() < 256)
                    total += file.cell(s, cell->row(), cell->column()) == cell;
            }
    }
    TMapRowList maps(&file, 1, 0);
    for (const char* text : {"A1-A20", "B-COLFINISH;[:2]C1", "COLFINISH-C5", "1-ROWFINISH", "[Sheet1]2-ROWSTART"}) {
        try {
            TMapRow& row = maps.Add(QString::fromLatin1(text));
            for (int k = 1; k <= row.Total && k <= 200; ++k)
                total += size_t(row.Value(k, fs).size());
        } catch (const ExlsError&) {
        }
    }
    return total == size_t(-1);
}
