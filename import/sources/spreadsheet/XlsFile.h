// Excel 97-2003 (BIFF8) workbook reader. TxlsFile loads the whole workbook
// into memory: globals (sheet names, shared strings, XF and FORMAT records,
// defined names) and the cells of every worksheet. The model is read-only.
#pragma once

#include "import/sources/spreadsheet/XlsErrors.h"

#include <QChar>
#include <QString>

#include <cstdint>
#include <memory>
#include <memory_resource>
#include <type_traits>
#include <utility>
#include <string>
#include <vector>

class TxlsFile;
class TxlsWorkbook;
class TxlsWorkSheet;
class TbiffFormat;

// Record ids read into their own classes.
enum : uint16_t {
    xlsFORMULA = 0x0006, xlsEOF = 0x000A, xlsNAME = 0x0018, xlsCONTINUE = 0x003C,
    xlsBOUNDSHEET = 0x0085, xlsMULRK = 0x00BD, xlsMULBLANK = 0x00BE, xlsXF = 0x00E0,
    xlsSST = 0x00FC, xlsLABELSST = 0x00FD, xlsBLANK = 0x0201, xlsNUMBER = 0x0203,
    xlsLABEL = 0x0204, xlsBOOLERR = 0x0205, xlsSTRING = 0x0207, xlsBOF2 = 0x0209,
    xlsBOF = 0x0809, xlsRK = 0x027E, xlsFORMAT = 0x041E, xlsSHRFMLA = 0x04BC,
    xlsARRAY = 0x0221, xlsTABLE = 0x0236
};

// Date, time and number forms used when a cell becomes text. The import
// run hands in its own formats; nothing is read from global state.
struct TxlsFormatSettings {
    QChar DecimalSeparator = QLatin1Char('.');
    QChar DateSeparator = QLatin1Char('.');
    QChar TimeSeparator = QLatin1Char(':');
    QString ShortDateFormat = QStringLiteral("d.M.yyyy");
    QString LongTimeFormat = QStringLiteral("h:mm:ss");
};

// Text forms shared with other readers.
QString xlsFloatToText(double value, QChar decimalSeparator);
// Formats a day count (0 = 30 December 1899, fraction = time of day) with a
// date-format pattern (d, dd, ddd, dddd, M, MM, MMM, MMMM, yy, yyyy, h, hh,
// n, nn, m/mm after an hour, s, ss, z, zzz, am/pm, ampm, "/", ":", quotes).
QString xlsFormatDateTime(const QString& pattern, double dateTime, const TxlsFormatSettings& fs);

// One decoded BIFF8 string.
class TxlsString {
public:
    uint8_t LengthWidth = 2;   // width of the character-count field
    uint16_t CharCount = 0;
    uint8_t Options = 0;
    bool Wide = false;         // true when any part was stored 16-bit
    QString Text;              // always available as 16-bit text
};

struct TxlsSSTEntry {
    TxlsString Value;
};

// ---------------------------------------------------------------- records

class TbiffRecord {
public:
    TbiffRecord(uint16_t id, uint16_t size) : m_id(id), m_size(size) {}
    virtual ~TbiffRecord() = default;
    uint16_t id() const { return m_id; }
    uint16_t size() const { return m_size; }

private:
    uint16_t m_id;
    uint16_t m_size;
};

// A record that keeps its body (globals records, SHRFMLA, BOF/EOF).
class TbiffDataRecord : public TbiffRecord {
public:
    TbiffDataRecord(uint16_t id, std::vector<uint8_t> body)
        : TbiffRecord(id, uint16_t(body.size())), m_body(std::move(body)) {}
    const std::vector<uint8_t>& body() const { return m_body; }

protected:
    std::vector<uint8_t> m_body;
};

class TbiffBOF : public TbiffDataRecord {
public:
    using TbiffDataRecord::TbiffDataRecord;
    uint16_t version() const;
    uint16_t substreamType() const;
};
class TbiffEOF : public TbiffDataRecord { public: using TbiffDataRecord::TbiffDataRecord; };
class TbiffName : public TbiffDataRecord { public: using TbiffDataRecord::TbiffDataRecord; };

class TbiffBoundSheet : public TbiffDataRecord {
public:
    TbiffBoundSheet(std::vector<uint8_t> body, TxlsString name)
        : TbiffDataRecord(xlsBOUNDSHEET, std::move(body)), m_name(std::move(name)) {}
    const QString& name() const { return m_name.Text; }

private:
    TxlsString m_name;
};

class TbiffFormat : public TbiffDataRecord {
public:
    TbiffFormat(std::vector<uint8_t> body, TxlsString value)
        : TbiffDataRecord(xlsFORMAT, std::move(body)), m_value(std::move(value)) {}
    uint16_t formatNumber() const;
    const QString& formatString() const { return m_value.Text; }

private:
    TxlsString m_value;
};

class TbiffXF : public TbiffDataRecord {
public:
    using TbiffDataRecord::TbiffDataRecord;
    uint16_t formatIndex() const;                 // as stored
    const TbiffFormat* format() const { return m_format; } // resolved custom format, or null
    // Also decides the date test once; the model is read-only afterwards.
    void setFormat(const TbiffFormat* f);
    bool isDateFormat() const { return m_isDate; }

private:
    const TbiffFormat* m_format = nullptr;
    bool m_isDate = false;
};

class TbiffShrFmla : public TbiffDataRecord {
public:
    using TbiffDataRecord::TbiffDataRecord;
    uint32_t key() const; // first row + 65536 * first column
};

class TbiffColRow : public TbiffRecord {
public:
    TbiffColRow(uint16_t id, uint16_t size, uint16_t row, uint16_t col)
        : TbiffRecord(id, size), m_row(row), m_col(col) {}
    int row() const { return m_row; }
    int column() const { return m_col; }

private:
    uint16_t m_row;
    uint16_t m_col;
};

enum class TxlsValueKind { vkText, vkBoolean, vkNumber, vkDateTime, vkOther };

class TbiffCell : public TbiffColRow {
public:
    static constexpr bool kOwnsData = false;  // true: the destructor frees memory
    TbiffCell(uint16_t id, uint16_t size, uint16_t row, uint16_t col, uint16_t xf, TxlsWorkSheet* sheet)
        : TbiffColRow(id, size, row, col), m_xf(xf), m_sheet(sheet) {}
    int xfIndex() const { return m_xf; }
    TxlsWorkSheet* sheet() const { return m_sheet; }

    virtual TxlsValueKind valueKind() const { return TxlsValueKind::vkOther; }
    virtual QString text(const TxlsFormatSettings& fs) const = 0;
    virtual bool asBoolean() const { return false; }
    virtual double asNumber() const { return 0; }
    virtual double asDateTime() const { return 0; }

protected:
    const TbiffXF& xf() const;

private:
    uint16_t m_xf;
    TxlsWorkSheet* m_sheet;
};

class TbiffBlank : public TbiffCell {
public:
    using TbiffCell::TbiffCell;
    QString text(const TxlsFormatSettings&) const override { return QString(); }
};

class TbiffBoolErr : public TbiffCell {
public:
    TbiffBoolErr(uint16_t size, uint16_t row, uint16_t col, uint16_t xf, TxlsWorkSheet* s, uint8_t value, bool isError)
        : TbiffCell(xlsBOOLERR, size, row, col, xf, s), m_value(value), m_isError(isError) {}
    TxlsValueKind valueKind() const override { return TxlsValueKind::vkBoolean; }
    QString text(const TxlsFormatSettings&) const override;
    bool asBoolean() const override { return !m_isError && m_value != 0; }
    bool isError() const { return m_isError; }
    uint8_t value() const { return m_value; }

private:
    uint8_t m_value;
    bool m_isError;
};

// Base of the number cells (NUMBER, RK).
class TbiffNumberCell : public TbiffCell {
public:
    TbiffNumberCell(uint16_t id, uint16_t size, uint16_t row, uint16_t col, uint16_t xf, TxlsWorkSheet* s, double v)
        : TbiffCell(id, size, row, col, xf, s), m_value(v) {}
    TxlsValueKind valueKind() const override;
    QString text(const TxlsFormatSettings& fs) const override;
    double asNumber() const override { return m_value; }
    double asDateTime() const override;

private:
    double m_value;
};

class TbiffNumber : public TbiffNumberCell { public: using TbiffNumberCell::TbiffNumberCell; };
class TbiffRK : public TbiffNumberCell { public: using TbiffNumberCell::TbiffNumberCell; };

double xlsRKToDouble(uint32_t rk);
// Day count -> date-time value: only integer part 1 gets one day added.
double xlsSerialToDateTime(double serial);

class TbiffLabel : public TbiffCell {
public:
    static constexpr bool kOwnsData = true;
    TbiffLabel(uint16_t size, uint16_t row, uint16_t col, uint16_t xf, TxlsWorkSheet* s, TxlsString v)
        : TbiffCell(xlsLABEL, size, row, col, xf, s), m_value(std::move(v)) {}
    TxlsValueKind valueKind() const override { return TxlsValueKind::vkText; }
    QString text(const TxlsFormatSettings&) const override { return m_value.Text; }

private:
    TxlsString m_value;
};

class TbiffLabelSST : public TbiffCell {
public:
    TbiffLabelSST(uint16_t size, uint16_t row, uint16_t col, uint16_t xf, TxlsWorkSheet* s, const TxlsSSTEntry* e)
        : TbiffCell(xlsLABELSST, size, row, col, xf, s), m_entry(e) {}
    TxlsValueKind valueKind() const override { return TxlsValueKind::vkText; }
    QString text(const TxlsFormatSettings&) const override { return m_entry->Value.Text; }

private:
    const TxlsSSTEntry* m_entry;
};

// Cached result of a formula.
enum class TxlsFormulaResult { frNull, frNumber, frBoolean, frText };

class TbiffFormula : public TbiffCell {
public:
    static constexpr bool kOwnsData = true;
    TbiffFormula(std::vector<uint8_t> body, TxlsWorkSheet* s);
    QString text(const TxlsFormatSettings& fs) const override;
    TxlsFormulaResult resultKind() const { return m_kind; }
    void setTextResult(const QString& t) { m_kind = TxlsFormulaResult::frText; m_text = t; }
    std::vector<uint8_t>& body() { return m_body; }

private:
    std::vector<uint8_t> m_body;
    TxlsFormulaResult m_kind = TxlsFormulaResult::frNull;
    double m_number = 0;
    bool m_bool = false;
    QString m_text;
};

// ---------------------------------------------------------------- lists

// Cells of one row (sorted by column on demand) or one column (sorted by row
// on demand). The cells belong to their worksheet.
class TbiffCellList {
public:
    explicit TbiffCellList(bool byColumn) : m_byColumn(byColumn) {}
    TbiffCellList(const TbiffCellList&) = delete;
    TbiffCellList& operator=(const TbiffCellList&) = delete;
    TbiffCellList(TbiffCellList&& o) noexcept;

    void add(TbiffCell* cell, size_t reserveHint)
    {
        if (m_cells.empty())
            m_cells.reserve(reserveHint);
        else if (m_sorted)
            m_sorted = m_byColumn ? m_cells.back()->column() <= cell->column() : m_cells.back()->row() <= cell->row();
        m_cells.push_back(cell);
    }
    size_t count() const { return m_cells.size(); }
    TbiffCell* at(size_t i) const { return m_cells[i]; }
    // Binary search (after sorting when needed) for the key (column for a
    // row's list, row for a column's list); null when none.
    TbiffCell* find(int key) const;
    const std::vector<TbiffCell*>& cells() const;  // sorted

private:
    void sort() const;
    mutable std::vector<TbiffCell*> m_cells;
    mutable bool m_sorted = true;
    bool m_byColumn;
};

class TxlsRow : public TbiffCellList {
public:
    TxlsRow() : TbiffCellList(true) {}
    int Number = -1;
    int MinCol = -1;
    int MaxCol = -1;
};

class TxlsCol : public TbiffCellList {
public:
    TxlsCol() : TbiffCellList(false) {}
    int Number = -1;
    int MinRow = -1;
    int MaxRow = -1;
};

// The model's lists (each owns its members unless stated).
using TbiffBoundSheetList = std::vector<std::unique_ptr<TbiffBoundSheet>>;
using TbiffNameList = std::vector<std::unique_ptr<TbiffName>>;
using TbiffSSTList = std::vector<std::unique_ptr<TxlsSSTEntry>>;
using TbiffXFList = std::vector<std::unique_ptr<TbiffXF>>;
using TbiffFormatList = std::vector<std::unique_ptr<TbiffFormat>>;
using TbiffShrFmlaList = std::vector<std::unique_ptr<TbiffShrFmla>>;
using TxlsRowList = std::vector<TxlsRow>;
using TxlsColList = std::vector<TxlsCol>;
class TxlsSheet;
using TxlsSheetList = std::vector<std::unique_ptr<TxlsSheet>>;
using TxlsWorkSheetList = std::vector<TxlsWorkSheet*>;  // not owning

// ---------------------------------------------------------------- sections

class TxlsSection {
public:
    explicit TxlsSection(TxlsWorkbook* wb) : m_workbook(wb) {}
    virtual ~TxlsSection() = default;
    TxlsWorkbook* workbook() const { return m_workbook; }

protected:
    TxlsWorkbook* m_workbook;
    std::unique_ptr<TbiffBOF> m_bof;
    std::unique_ptr<TbiffEOF> m_eof;
    friend class TxlsWorkbook;
};

class TxlsGlobals : public TxlsSection {
public:
    using TxlsSection::TxlsSection;
    void clear();
    TbiffBoundSheetList BoundSheets;
    TbiffNameList Names;
    TbiffSSTList SST;
    TbiffXFList XFs;
    TbiffFormatList Formats;
    void resolveFormats();
};

class TxlsSheet : public TxlsSection {
public:
    using TxlsSection::TxlsSection;
    int Position = -1;
    QString name() const;
};

class TxlsWorkSheet : public TxlsSheet {
public:
    explicit TxlsWorkSheet(TxlsWorkbook* wb);
    ~TxlsWorkSheet() override;
    void clear();
    // Cells live in the sheet's arena; they are destroyed by clear().
    template <class T, class... A> T* make(A&&... args)
    {
        void* p = m_arena->allocate(sizeof(T), alignof(T));
        T* cell = new (p) T(std::forward<A>(args)...);
        if constexpr (!std::is_trivially_destructible_v<T> && T::kOwnsData)
            m_destroy.push_back(cell);
        return cell;
    }
    void addCell(TbiffCell* cell);
    int rowCount() const { return int(Rows.size()); }
    int colCount() const { return int(Cols.size()); }
    TbiffCell* cell(int row, int col) const; // 0-based, checked
    TxlsRowList Rows;
    TxlsColList Cols;
    TbiffShrFmlaList ShrFmlas;
    std::vector<TbiffFormula*> Formulas;  // every FORMULA cell, in stream order
    TbiffFormula* LastFormula = nullptr;
    void expandSharedFormulas();
    // Capacity hints from the DIMENSIONS record (never limits).
    void reserveHint(uint32_t rows, uint32_t cols);

private:
    size_t m_rowCellHint = 16;
    size_t m_colCellHint = 256;
    std::unique_ptr<std::pmr::monotonic_buffer_resource> m_arena;
    std::vector<TbiffCell*> m_destroy;  // cells that own heap data
};

class TxlsWorkbook {
public:
    explicit TxlsWorkbook(TxlsFile* file);
    void clear();
    void load(const uint8_t* data, size_t size);
    TxlsFile* file() const { return m_file; }
    TxlsGlobals& globals() { return m_globals; }
    const TxlsGlobals& globals() const { return m_globals; }
    TxlsSheetList Sheets;
    TxlsWorkSheetList WorkSheets;

private:
    TxlsFile* m_file;
    TxlsGlobals m_globals;
};

class TxlsFile {
public:
    TxlsFile();
    explicit TxlsFile(const QString& fileName);
    ~TxlsFile();

    QString FileName;
    bool loaded() const { return m_loaded; }
    void open();    // loads the whole file
    void openBytes(const std::vector<uint8_t>& bytes); // same, from memory (fuzzing, tests)
    void close();

    TxlsWorkbook& workbook() { return *m_workbook; }
    int worksheetCount() const { return int(m_workbook->WorkSheets.size()); }
    TxlsWorkSheet* worksheet(int index) const; // 0-based, stream order
    QString worksheetName(int index) const;
    int findWorksheet(const QString& name) const; // case-insensitive; -1 if none
    TbiffCell* cell(int sheet, int row, int col) const;

private:
    void loadStream(const uint8_t* data, size_t size);
    std::unique_ptr<TxlsWorkbook> m_workbook;
    bool m_loaded = false;
};
