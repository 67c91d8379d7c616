#include "import/sources/spreadsheet/ImportXLS.h"

#include "import/engine/ImportIni.h"

namespace {
const QString kSection = QStringLiteral("XLS_OPTIONS");
}

TxlsFormatSettings xlsFormatSettings(const TImportFormats& f)
{
    TxlsFormatSettings fs;
    fs.DecimalSeparator = f.DecimalSeparator;
    fs.DateSeparator = f.DateSeparator;
    fs.TimeSeparator = f.TimeSeparator;
    fs.ShortDateFormat = f.ShortDateFormat;
    fs.LongTimeFormat = f.LongTimeFormat;
    return fs;
}

TImportXLS::TImportXLS() = default;
TImportXLS::~TImportXLS() = default;

void TImportXLS::PrepareImport()
{
    m_maps.reset();
    m_file = std::make_unique<TxlsFile>(FileName());
    m_file->open();
    m_maps = std::make_unique<TMapRowList>(m_file.get(), SkipFirstRows, SkipFirstCols);
    for (int i = 0; i < Map.size(); ++i)
        m_maps->Add(MapValue(i));
    m_maps->UpdateMinMax();
    TotalCount = m_maps->RecordCount(ImportRange);
    m_fs = xlsFormatSettings(Formats);
    TImportEngine::PrepareImport();
}

void TImportXLS::BeginRows()
{
    m_last = m_maps ? m_maps->RecordCount(ImportRange) - 1 : -1;
    if (ImportRecCount > 0)
        m_last = std::min(m_last, ImportRecCount - 1);
    m_current = 0;
    LineNumber += SkipFirstRows;
}

bool TImportXLS::HasRow() { return m_current <= m_last; }

bool TImportXLS::SkipRow() { return false; }

void TImportXLS::ReadRow()
{
    TImportRow& row = Row();
    row.ClearValues();
    RowEmpty = true;
    for (int i = 0; i < row.Count(); ++i) {
        TImportCol& col = row[i];
        const int map = row.MapIndex(col.Name);
        if (map < 0 || size_t(map) >= m_maps->Rows.size())
            continue;
        QString v = m_maps->Rows[size_t(map)]->Value(m_current + 1, m_fs);
        if (AutoTrimValue)
            v = v.trimmed();
        if (!v.isEmpty())
            RowEmpty = false;
        col.Value = v;
    }
    for (int i = 0; i < row.Count(); ++i)
        ApplyFieldFormat(row[i]);
}

TImportResult TImportXLS::WriteRow() { return WriteRowPattern(false); }

void TImportXLS::NextRow() { ++m_current; }

void TImportXLS::EndRows() { FinalCommitRequest(); }

void TImportXLS::CleanupImport()
{
    TImportEngine::CleanupImport();
    m_maps.reset();
    m_file.reset();
}

void TImportXLS::ReadSettings(TImportIniFile& ini)
{
    TImportEngine::ReadSettings(ini);
    SkipFirstCols = ini.ReadInteger(kSection, QStringLiteral("SkipCols"), SkipFirstCols);
    SkipFirstRows = ini.ReadInteger(kSection, QStringLiteral("SkipRows"), SkipFirstRows);
}

void TImportXLS::WriteSettings(TImportIniFile& ini)
{
    TImportEngine::WriteSettings(ini);
    ini.WriteInteger(kSection, QStringLiteral("SkipCols"), SkipFirstCols);
    ini.WriteInteger(kSection, QStringLiteral("SkipRows"), SkipFirstRows);
}

void TImportXLS::ApplyOptions(TAllowedImport kind, const TImportOptions& options)
{
    TImportEngine::ApplyOptions(kind, options);
    auto it = options.constFind(QStringLiteral("SkipCols"));
    if (it != options.constEnd()) {
        bool ok = false;
        const int v = it->toInt(&ok);
        if (ok)
            SkipFirstCols = v;
    }
}
