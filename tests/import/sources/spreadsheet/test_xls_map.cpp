// Cell-range maps: notation, resolution against a workbook, counting,
// fetching and the editing operations of the wizard's grid.
#include "import/sources/spreadsheet/XlsMap.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

QString fixture(const char* name) { return QStringLiteral(VACCORA_XLS_FIXTURES "/") + QLatin1String(name); }

std::string parseResult(const char* text)
{
    try {
        return xlsMapText(xlsParseMap(QString::fromUtf8(text))).toStdString();
    } catch (const ExlsError& e) {
        return std::string("error: ") + e.what();
    }
}

QString edit(const char* map, const std::function<void(TMapRow&)>& op)
{
    TMapRow row;
    row.Parse(QString::fromUtf8(map));
    op(row);
    return row.Text();
}

}  // namespace

TEST(XlsMap, NotationTable)
{
    struct Case { const char* text; const char* result; };
    const Case cases[] = {
        {"a1-a3", "A1-A3;"},
        {"A3-A1;", "A3-A1;"},
        {"A1-E1", "A1-E1;"},
        {"E1-A1", "E1-A1;"},
        {"A1-A1", "A1;"},
        {"[Data]B-COLFINISH;[:2]C1", "[DATA]B-COLFINISH;[:2]C1;"},
        {"[x][:3]A1", "[:3]A1;"},
        {"[:0]A1", "A1;"},
        {"[My Sheet;1]IV65536", "[MY SHEET;1]IV65536;"},
        {"B3-COLFINISH;B30-COLSTART;B3-ROWFINISH;H3-ROWSTART",
         "B3-COLFINISH;B30-COLSTART;B3-ROWFINISH;H3-ROWSTART;"},
        {"COLSTART-B30;COLFINISH-B3;ROWSTART-H3;ROWFINISH-B3", "COLSTART-B30;COLFINISH-B3;ROWSTART-H3;ROWFINISH-B3;"},
        {"B-COLFINISH;B-COLSTART;3-ROWFINISH;3-ROWSTART", "B-COLFINISH;B-COLSTART;3-ROWFINISH;3-ROWSTART;"},
        {"   ", ""},
        {"A1-B2", "error: Range A1-B2 is fail. It must be COL or ROW"},
        {"A1;;", "error: Unexpected end of range"},
        {"[S]", "error: Unexpected end of range"},
        {"A-B", "error: Expect COLSTART or COLFINISH but B found"},
        {"3-COLFINISH", "error: Expect ROWSTART or ROWFINISH but COLFINISH found"},
        {"A1-XYZ", "error: Expect COLSTART, COLFINISH, ROWSTART or ROWFINISH but XYZ found"},
        {"IW-COLFINISH", "error: Expect COLSTART, COLFINISH, ROWSTART or ROWFINISH but IW found"},
        {"AA1-IW1", "error: Column 257 is out of range [A..IV]"},
        {"AAA1", "error: Column 703 is out of range [A..IV]"},
        {"A0", "error: Row 0 is out of range [1..65536]"},
        {"A65537", "error: Row 65537 is out of range [1..65536]"},
        {"A99999999999", "error: '99999999999' is not a valid integer value"},
        {"[Sheet?1]A1", "error: Illegal char ? in sheet name at position 7"},
        {"[]A1", "error: Illegal char ] in sheet name at position 2"},
        {"[:X]A1", "error: The symbol X at position 3 is unexpected"},
        {"A1]", "error: The symbol ] at position 3 is unexpected"},
        {"A1 ;A2", "error: The   symbol at position 3 is unknown"},
        {"A1-", "error: Letter expected but end of range found (position 4)"},
        {"A1-1", "error: Letter expected but 1 found (position 4)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseResult(c.text), c.result) << c.text;
}

class XlsMapOnWorkbook : public ::testing::Test {
protected:
    void SetUp() override { file.open(); }

    // The values of one map, joined by "|", or the error text.
    std::string values(const char* map, int skipRows = 0, int skipCols = 0)
    {
        TMapRowList list(&file, skipRows, skipCols);
        try {
            TMapRow& row = list.Add(QString::fromUtf8(map));
            QStringList out;
            for (int k = 1; k <= row.Total; ++k)
                out << row.Value(k, {});
            EXPECT_EQ(row.Value(row.Total + 1, {}), QString());
            EXPECT_EQ(row.Value(0, {}), QString());
            return QString::number(row.Total).toStdString() + ":" + out.join(u'|').toStdString();
        } catch (const ExlsError& e) {
            return std::string("error: ") + e.what();
        }
    }

    TxlsFile file{fixture("basic.xls")};
};

TEST_F(XlsMapOnWorkbook, ResolveCountAndFetch)
{
    struct Case { const char* map; int skipRows, skipCols; const char* result; };
    const Case cases[] = {
        {"a1-a3", 0, 0, "3:Farm|3|3"},
        {"A3-A1", 0, 0, "3:3|3|Farm"},
        // Second: column B holds rows 3..7, row 2 holds C..E, C1 a text
        {"[second]B-COLFINISH", 0, 0, "7:||3|4|5|6|7"},
        {"[Second]B-COLSTART", 0, 0, "5:7|6|5|4|3"},
        {"[Second]B5-COLSTART", 0, 0, "3:5|4|3"},
        {"[Second]COLFINISH-B6", 0, 0, "2:7|6"},
        {"[:2]2-ROWFINISH", 0, 0, "3:c|d|e"},
        {"[:2]2-ROWSTART", 0, 0, "3:e|d|c"},
        {"[DATA]B-COLFINISH;[:2]C1", 0, 0,
         "10:Date|15.3.2023|16.3.2023|31.1.2013|15.3.2023|18:00:00|1.1.1900 12:00:00|1.3.1900|11.1.1900 12:00:00|"
         "C1 on second"},
        {"A1-A10", 2, 0, "8:3|7||||||"},
        {"A5-A10", 2, 0, "6:|||||"},
        {"A1-A2", 2, 0, "0:"},
        {"A10-A1", 2, 0, "8:||||||7|3"},
        {"A1-A10", 0, 1, "0:"},
        {"1-ROWFINISH", 0, 1, "3:Date|Milk|Name"},
        {"D1", 0, 4, "0:"},
        {"D1;B2", 1, 0, "1:15.3.2023"},
        // ends that stay open on an empty column, or fall behind the set end
        {"[Second]F3-COLFINISH", 0, 0, "0:"},
        {"[Second]F-COLFINISH", 0, 0, "0:"},
        {"[Second]B9-COLFINISH", 0, 0, "0:"},
        {"", 0, 0, "0:"},
        {"[Nope]A1", 0, 0, "error: Sheet with name NOPE is not found in the source file"},
        {"[:3]A1", 0, 0, "error: List index out of bounds (2)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(values(c.map, c.skipRows, c.skipCols), c.result) << c.map;
}

TEST_F(XlsMapOnWorkbook, RecordCountOfSeveralMaps)
{
    TMapRowList list(&file, 0, 0);
    list.Add(QStringLiteral("A1-A10"));
    list.Add(QStringLiteral("B1-B3;C1-C3"));
    list.Add(QStringLiteral("D1-D6"));
    list.UpdateMinMax();
    EXPECT_EQ(list.RecordCount(qirMax), 10);
    EXPECT_EQ(list.RecordCount(qirMin), 6);
    EXPECT_EQ(list.MaxIndex, 0);
    EXPECT_EQ(list.MinIndex, 1);  // the first of equal totals wins
    TMapRowList empty(&file, 0, 0);
    empty.UpdateMinMax();
    EXPECT_THROW(empty.RecordCount(qirMax), ExlsError);
}

TEST(XlsMapEditing, ContainsAndOutline)
{
    struct Case { const char* map; const char* sheet; int number, row, col; bool in; };
    const Case cases[] = {
        {"B3-COLFINISH", "S", 1, 3, 2, true},  {"B3-COLFINISH", "S", 1, 900, 2, true},
        {"B3-COLFINISH", "S", 1, 2, 2, false}, {"B3-COLFINISH", "S", 1, 3, 3, false},
        {"B30-COLSTART", "S", 1, 1, 2, true},  {"B30-COLSTART", "S", 1, 31, 2, false},
        {"COLFINISH-B3", "S", 1, 9, 2, true},  {"COLFINISH-B3", "S", 1, 2, 2, false},
        {"B-COLSTART", "S", 1, 77, 2, true},   {"A5-A2", "S", 1, 3, 1, true},
        {"A5-A2", "S", 1, 6, 1, false},        {"3-ROWFINISH", "S", 1, 3, 200, true},
        {"[:2]A1", "S", 1, 1, 1, false},       {"[:2]A1", "S", 2, 1, 1, true},
        {"[data]A1", "DATA", 5, 1, 1, true},   {"[data]A1", "Other", 1, 1, 1, false},
        {"A1", "Any", 9, 1, 1, true},
    };
    for (const Case& c : cases) {
        TMapRow row;
        row.Parse(QString::fromUtf8(c.map));
        EXPECT_EQ(row.Contains(QString::fromUtf8(c.sheet), c.number, c.row, c.col), c.in)
            << c.map << " " << c.row << "," << c.col;
    }
    TMapRow row;
    row.Parse(QStringLiteral("A1-A3;B2"));
    const TMapRow::TOutline o = row.Outline(QStringLiteral("S"), 1, 2, 1);
    EXPECT_TRUE(o.Top);
    EXPECT_TRUE(o.Bottom);
    EXPECT_FALSE(o.Left);
    EXPECT_TRUE(o.Right);
    EXPECT_EQ(row.FindRange(QStringLiteral("a1-a3;")), 0);
    EXPECT_EQ(row.FindRange(QStringLiteral("B2;")), 1);
    EXPECT_EQ(row.FindRange(QStringLiteral("C2;")), -1);
}

TEST(XlsMapEditing, RemoveCellAndJoin)
{
    struct Case { const char* map; int row, col; const char* removed; };
    const Case removals[] = {
        {"A1-A5", 3, 1, "A1-A2;A4-A5;"},
        {"A1-A5", 1, 1, "A2-A5;"},
        {"A1-A5", 5, 1, "A1-A4;"},
        {"A5-A1", 5, 1, "A4-A1;"},
        {"A5-A1", 1, 1, "A5-A2;"},
        {"A1-A2", 1, 1, "A2;"},
        {"B3;A1-E1", 3, 2, "A1-E1;"},
        {"A1-E1", 1, 3, "A1-B1;D1-E1;"},
        {"B-COLFINISH", 5, 2, "COLSTART-B4;B6-COLFINISH;"},
        {"B3-COLFINISH", 3, 2, "B4-COLFINISH;"},
        {"A1-A3;A2", 2, 1, "A1;A3;"},
        {"[:2]A1-A3", 2, 1, "[:2]A1-A3;"},
    };
    for (const Case& c : removals)
        EXPECT_EQ(edit(c.map, [&](TMapRow& r) { r.RemoveCell(QStringLiteral("S"), 1, c.row, c.col); }),
                  QString::fromUtf8(c.removed))
            << c.map;

    struct Join { const char* map; const char* joined; };
    const Join joins[] = {
        {"A1;A2;A3", "A1-A3;"},
        {"A3;A2;A1", "A3-A1;"},
        {"A1-A3;A4-A6", "A1-A6;"},
        {"A6-A4;A3-A1", "A6-A1;"},
        {"A5;A6-A9", "A5-A9;"},
        {"A1-A3;A4", "A1-A4;"},
        {"A1;B1;C1", "A1-C1;"},
        {"A1-A3;A4-COLFINISH", "A1-COLFINISH;"},
        {"A1;A3", "A1;A3;"},
        {"A1-A3;A5-A6", "A1-A3;A5-A6;"},
        {"A1-A3;A6-A4", "A1-A3;A6-A4;"},
        {"A10;A6-A9", "A10;A6-A9;"},   // would change the order of the values
        {"[X]A1;[Y]A2", "[X]A1;[Y]A2;"},
        {"[x]A1;[X]A2", "[X]A1-A2;"},
        {"A1;B2", "A1;B2;"},
    };
    for (const Join& j : joins)
        EXPECT_EQ(edit(j.map, [](TMapRow& r) { r.JoinAdjacent(); }), QString::fromUtf8(j.joined)) << j.map;
}

TEST(XlsMapEditing, RangeEditorBoxesAndChoices)
{
    auto box = [](const std::function<void()>& f) -> std::string {
        try {
            f();
            return "ok";
        } catch (const ExlsError& e) {
            return e.what();
        }
    };
    int row = 0, col = 0;
    EXPECT_EQ(xlsCheckColumnBox(QStringLiteral(" iv ")), 256);
    EXPECT_EQ(xlsCheckRowBox(QStringLiteral("65536")), 65536);
    xlsCheckCellBox(QStringLiteral("b7"), row, col);
    EXPECT_EQ(row * 1000 + col, 7002);
    struct Case { std::function<void()> f; const char* message; };
    const Case cases[] = {
        {[] { xlsCheckColumnBox(QString()); }, "Col is empty"},
        {[] { xlsCheckColumnBox(QStringLiteral("AB1")); }, "So long col definition"},
        {[] { xlsCheckColumnBox(QStringLiteral("1A")); }, "Letter expected but 1 found (position 1)"},
        {[] { xlsCheckColumnBox(QStringLiteral("IW")); }, "Column 257 is out of range [A..IV]"},
        {[] { xlsCheckRowBox(QStringLiteral(" ")); }, "Row is empty"},
        {[] { xlsCheckRowBox(QStringLiteral("12x")); }, "So long row definition"},
        {[] { xlsCheckRowBox(QStringLiteral("x1")); }, "Number expected but X found (position 1)"},
        {[] { xlsCheckRowBox(QStringLiteral("0")); }, "Row 0 is out of range [1..65536]"},
        {[&] { xlsCheckCellBox(QString(), row, col); }, "Cell is empty"},
        {[&] { xlsCheckCellBox(QStringLiteral("A1B"), row, col); }, "So long cell definition"},
        {[&] { xlsCheckCellBox(QStringLiteral("A#"), row, col); }, "The # symbol at position 2 is unknown"},
        {[] { xlsCheckSheetNumberBox(QString()); }, "Sheet is empty"},
        {[] { xlsCheckSheetNumberBox(QStringLiteral("2a")); }, "So long sheet definition"},
        {[] { xlsCheckSheetNameBox(QStringLiteral("a/b")); }, "Illegal char / in sheet name at position 2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(box(c.f), c.message);

    struct Choice { TMapRangeChoice c; const char* text; };
    auto col2 = [](int start, int finish, bool forward) {
        TMapRangeChoice c;
        c.Line = 2;
        c.Start = start;
        c.Finish = finish;
        c.Forward = forward;
        return c;
    };
    TMapRangeChoice named = col2(0, 0, false);
    named.Sheet = msrName;
    named.SheetName = QStringLiteral("Data");
    TMapRangeChoice cell;
    cell.Type = mshCell;
    cell.CellRow = 4;
    cell.CellCol = 3;
    cell.Sheet = msrNumber;
    cell.SheetNumber = 2;
    TMapRangeChoice row3 = col2(5, 0, true);
    row3.Type = mshRow;
    row3.Line = 3;
    const Choice choices[] = {
        {col2(3, 9, false), "B3-B9;"},       // both ends: the order decides
        {col2(9, 3, true), "B9-B3;"},
        {col2(3, 0, true), "B3-COLFINISH;"},
        {col2(0, 3, false), "COLFINISH-B3;"},
        {col2(4, 4, true), "B4;"},
        {named, "[Data]B-COLSTART;"},
        {cell, "[:2]C4;"},
        {row3, "E3-ROWFINISH;"},
    };
    for (const Choice& c : choices)
        EXPECT_EQ(xlsRangeFromChoice(c.c).Text().toStdString(), c.text);
}
