// Cell-range maps: the text notation of a field's cell ranges, their
// resolution against a loaded workbook, counting and fetching of values,
// and the map-editing operations of the wizard's grid. UI-free.
//
// Rows and columns of ranges are 1-based; 0 marks an open end.
#pragma once

#include "import/sources/spreadsheet/XlsFile.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <memory>
#include <vector>

// A parse error of the map notation.
class EMapError : public ExlsError {
public:
    using ExlsError::ExlsError;
};

enum TMapDirection { mdNone, mdForward, mdBackward };
enum TMapSheetRef { msrDefault, msrName, msrNumber };
enum TMapShape { mshUndefined, mshCell, mshCol, mshRow };
enum TImportRange { qirMax, qirMin };

class TMapRange {
public:
    TMapDirection Direction = mdNone;
    TMapSheetRef SheetRef = msrDefault;
    int SheetNumber = 0;   // 1-based; 0 = none
    QString SheetName;
    int FirstRow = 0, FirstCol = 0, LastRow = 0, LastCol = 0;

    TMapShape Shape = mshUndefined;
    int Count = 0;
    TxlsWorkSheet* Sheet = nullptr;  // set by Resolve

    void UpdateShape();
    // Canonical text, ";" included; empty for an undefined range.
    QString Text() const;
    // Whether the range covers the cell (1-based) of the given sheet.
    bool Contains(const QString& sheetName, int sheetNumber, int row, int col) const;
    bool SameSheet(const TMapRange& other) const;

    void Resolve(const TxlsFile& file);
    void CalcCount(int skipRows, int skipCols);
    // Row and column (1-based) of value k (1-based, k <= Count).
    void CellOf(int k, int skipRows, int skipCols, int& row, int& col) const;

private:
    bool m_openEndFilled = false;
};

// Column number of column letters (A = 1, IV = 256); saturates on overflow.
int xlsColumnNumber(const QString& letters);
QString xlsColumnLetters(int column);

// Parses one field's map text into ranges (throws EMapError / ExlsError).
std::vector<TMapRange> xlsParseMap(const QString& text);
// Concatenated canonical texts.
QString xlsMapText(const std::vector<TMapRange>& ranges);

class TMapRowList;

// The map of one field.
class TMapRow {
public:
    explicit TMapRow(TMapRowList* list = nullptr) : m_list(list) {}
    std::vector<TMapRange> Ranges;
    int Total = 0;

    void Parse(const QString& text);   // replaces the ranges
    QString Text() const { return xlsMapText(Ranges); }
    // Resolves every range against the list's file and sums the counts.
    void Resolve();
    // Text of value k (1-based); empty when outside the map or no cell.
    QString Value(int k, const TxlsFormatSettings& fs) const;
    // The cell of value k, or null.
    TbiffCell* CellAt(int k) const;

    // ---- editing (wizard grid); rows and columns 1-based
    bool Contains(const QString& sheetName, int sheetNumber, int row, int col) const;
    struct TOutline {
        bool Left = false, Right = false, Top = false, Bottom = false;
    };
    TOutline Outline(const QString& sheetName, int sheetNumber, int row, int col) const;
    void RemoveCell(const QString& sheetName, int sheetNumber, int row, int col);
    void JoinAdjacent();
    int FindRange(const QString& text) const;  // index or -1

    TMapRowList* list() const { return m_list; }

private:
    TMapRowList* m_list;
};

// The maps of all fields of an import.
class TMapRowList {
public:
    // Skip counts beyond the sheet's limits count as the limits.
    TMapRowList(const TxlsFile* file, int skipRows, int skipCols)
        : File(file), SkipFirstRows(std::clamp(skipRows, 0, 65536)), SkipFirstCols(std::clamp(skipCols, 0, 256)) {}
    const TxlsFile* File;
    int SkipFirstRows;
    int SkipFirstCols;
    std::vector<std::unique_ptr<TMapRow>> Rows;
    int MinIndex = -1;
    int MaxIndex = -1;

    // Parses and resolves a map text, appends it and returns it.
    TMapRow& Add(const QString& text);
    // Finds the maps with the fewest and the most cells.
    void UpdateMinMax();
    int RecordCount(TImportRange range) const;
};

// ---- range editor boxes (the wizard's range dialog) -------------------------
// Each check reads one edit box (letters are upper-cased first) and returns
// its value, or throws EMapError with the dialog's message.
int xlsCheckColumnBox(const QString& text);  // "Col is empty", "So long col definition", ...
int xlsCheckRowBox(const QString& text);     // "Row is empty", "So long row definition", ...
void xlsCheckCellBox(const QString& text, int& row, int& col);  // "Cell is empty", ...
int xlsCheckSheetNumberBox(const QString& text);         // "Sheet is empty", ...
QString xlsCheckSheetNameBox(const QString& text);       // "Sheet is empty", illegal characters

// The choices of the range dialog. Ends of 0 are "where data started /
// finished"; the direction counts only while an end is open.
struct TMapRangeChoice {
    TMapShape Type = mshCol;   // mshCol, mshRow or mshCell
    int Line = 0;              // the column (Col), the row (Row)
    int CellRow = 0, CellCol = 0;
    int Start = 0, Finish = 0;
    bool Forward = true;       // Down / Right
    TMapSheetRef Sheet = msrDefault;
    int SheetNumber = 0;
    QString SheetName;
};
TMapRange xlsRangeFromChoice(const TMapRangeChoice& choice);
