// Import source for plain text files: delimited records (Comma set) or
// fixed-width lines (Comma NUL).
#pragma once

#include "import/engine/ImportEngine.h"
#include "import/sources/text/TextCharset.h"
#include "import/sources/text/TextLineReader.h"
#include "import/sources/text/TextRecords.h"

#include <memory>
#include <vector>

class TImportASCII : public TImportEngine {
public:
    TImportASCII();
    ~TImportASCII() override;

    // FileName and SkipFirstRows are the engine's.
    char Comma;               // NUL: fixed-width mode
    char Quote = '"';         // NUL: no quoting
    TCharsetType Encoding = ctWinDefined;

    bool FixedWidth() const { return Comma == 0; }

    // The list separator of the user's locale: ';' where the decimal
    // separator is a comma, otherwise ','.
    static char DefaultComma();

    void BeginRows() override;
    bool HasRow() override;
    bool SkipRow() override;
    void ReadRow() override;
    TImportResult WriteRow() override;
    void NextRow() override;
    void EndRows() override;
    void CleanupImport() override;
    bool ValidateSettings() override;
    void ReadSettings(TImportIniFile& ini) override;
    void WriteSettings(TImportIniFile& ini) override;
    void ApplyOptions(TAllowedImport kind, const TImportOptions& options) override;

    // The text of the current record (delimited: joined physical lines;
    // fixed-width: the tab-expanded line).
    const QString& CurrentRecord() const { return m_record; }

    // Map spec parsing: a field number, or "start;length". False when the
    // text does not read as the integer(s).
    static bool ParseFieldNumber(const QString& spec, qint64& number);
    static bool ParseStartLength(const QString& spec, qint64& start, qint64& length);

private:
    struct TColumnSpec {
        bool Mapped = false;
        qint64 Field = 0;   // delimited: 1-based field number, 0 when not a number
        qint64 Start = 0;   // fixed width
        qint64 Length = 0;
    };
    void release();

    std::unique_ptr<TTextLineReader> m_reader;
    std::unique_ptr<TTextRecordReader> m_records;
    QString m_line;
    QString m_record;
    TTextFields m_fields;
    std::vector<TColumnSpec> m_specs;  // per row column, built in BeginRows
    int m_skipped = 0;
};
