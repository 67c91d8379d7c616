// The Excel 97-2003 import source: each field reads the cells of its
// cell-range map; record k takes the k-th cell of every field's map.
#pragma once

#include "import/engine/ImportEngine.h"
#include "import/sources/spreadsheet/XlsMap.h"

#include <memory>

enum TSheetIDType { qstNumber, qstName };

// Text forms of the run's formats for the workbook's cells.
TxlsFormatSettings xlsFormatSettings(const TImportFormats& formats);

class TImportXLS : public TImportEngine {
public:
    TImportXLS();
    ~TImportXLS() override;

    // FileName and SkipFirstRows are the engine's.
    int SkipFirstCols = 0;
    TImportRange ImportRange = qirMax;
    // Stored settings only: ranges without a sheet part use the first worksheet.
    TSheetIDType DefaultSheetIDType = qstNumber;
    int DefaultSheetNumber = 1;
    QString DefaultSheetName;

    void PrepareImport() override;
    void BeginRows() override;
    bool HasRow() override;
    bool SkipRow() override;
    void ReadRow() override;
    TImportResult WriteRow() override;
    void NextRow() override;
    void EndRows() override;
    void CleanupImport() override;
    void ReadSettings(TImportIniFile& ini) override;
    void WriteSettings(TImportIniFile& ini) override;
    // "SkipRows" (base) and "SkipCols".
    void ApplyOptions(TAllowedImport kind, const TImportOptions& options) override;

    // Valid between PrepareImport and CleanupImport.
    const TMapRowList* Maps() const { return m_maps.get(); }

private:
    std::unique_ptr<TxlsFile> m_file;
    std::unique_ptr<TMapRowList> m_maps;
    TxlsFormatSettings m_fs;
    int m_current = 0;
    int m_last = -1;
};
