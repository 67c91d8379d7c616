// The BIFF8 workbook reader and the texts of its cells, on files written by
// xlwt and LibreOffice and on hand-built record streams.
#include "import/sources/spreadsheet/XlsFile.h"

#include "BiffBuilder.h"

#include <gtest/gtest.h>

#include <QFile>

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

QString fixture(const char* name) { return QStringLiteral(VACCORA_XLS_FIXTURES "/") + QLatin1String(name); }

std::vector<uint8_t> fixtureBytes(const char* name)
{
    QFile f(fixture(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray a = f.readAll();
    return std::vector<uint8_t>(a.begin(), a.end());
}

QString text(const TxlsFile& f, int sheet, int row, int col, const TxlsFormatSettings& fs = {})
{
    const TbiffCell* c = f.cell(sheet, row, col);
    return c ? c->text(fs) : QStringLiteral("<none>");
}

// Runs `fn`, expects an exception with exactly `message`; `fileError` tells
// whether it must be an ExlsFileError.
void expectError(const std::function<void()>& fn, const std::string& message, bool fileError)
{
    try {
        fn();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const ExlsFileError& e) {
        EXPECT_EQ(e.what(), message);
        EXPECT_TRUE(fileError) << message << " raised as ExlsFileError";
    } catch (const ExlsError& e) {
        EXPECT_EQ(e.what(), message);
        EXPECT_FALSE(fileError) << message << " not raised as ExlsFileError";
    }
}

using B = TBiffBuilder;

}  // namespace

TEST(XlsReader, XlwtWorkbookCellTexts)
{
    TxlsFile f(fixture("basic.xls"));
    f.open();
    ASSERT_TRUE(f.loaded());
    ASSERT_EQ(f.worksheetCount(), 2);
    EXPECT_EQ(f.worksheetName(0), QStringLiteral("Data"));
    EXPECT_EQ(f.worksheetName(1), QStringLiteral("Second"));
    EXPECT_EQ(f.worksheet(0)->rowCount(), 9);
    EXPECT_EQ(f.worksheet(0)->colCount(), 4);

    struct Case { int row, col; const char* text; TxlsValueKind kind; };
    const Case cases[] = {
        {0, 0, "Farm", TxlsValueKind::vkText},
        {1, 0, "3", TxlsValueKind::vkNumber},
        {1, 1, "15.3.2023", TxlsValueKind::vkDateTime},          // custom dd.mm.yyyy
        {1, 2, "21.5", TxlsValueKind::vkNumber},
        {2, 3, "B\u011Bla", TxlsValueKind::vkText},               // 16-bit shared string
        {3, 2, "-4", TxlsValueKind::vkNumber},
        {4, 1, "15.3.2023", TxlsValueKind::vkDateTime},          // built-in format 14, 45000
        {5, 1, "18:00:00", TxlsValueKind::vkDateTime},           // 0.75, time only
        {6, 1, "1.1.1900 12:00:00", TxlsValueKind::vkDateTime},  // 1.5: one day added
        {7, 1, "1.3.1900", TxlsValueKind::vkDateTime},           // 61
        {8, 1, "11.1.1900 12:00:00", TxlsValueKind::vkDateTime}, // "hh" inside quotes
        {4, 2, "1.23456789012346E17", TxlsValueKind::vkNumber},
        {5, 2, "1E-6", TxlsValueKind::vkNumber},
        {4, 3, "true", TxlsValueKind::vkBoolean},
        {5, 3, "false", TxlsValueKind::vkBoolean},
        {6, 3, "#DIV/0!", TxlsValueKind::vkBoolean},
        {7, 3, "", TxlsValueKind::vkOther},
    };
    for (const Case& c : cases) {
        const TbiffCell* cell = f.cell(0, c.row, c.col);
        ASSERT_TRUE(cell) << c.row << "," << c.col;
        EXPECT_EQ(cell->text({}), QString::fromUtf8(c.text)) << c.row << "," << c.col;
        EXPECT_EQ(cell->valueKind(), c.kind) << c.row << "," << c.col;
    }
    EXPECT_EQ(text(f, 0, 8, 0), QStringLiteral("<none>"));

    // the run's formats decide the forms
    TxlsFormatSettings fs;
    fs.DecimalSeparator = QLatin1Char(',');
    fs.DateSeparator = QLatin1Char('/');
    fs.ShortDateFormat = QStringLiteral("yyyy/MM/dd");
    fs.LongTimeFormat = QStringLiteral("hh:nn");
    EXPECT_EQ(text(f, 0, 1, 1, fs), QStringLiteral("2023/03/15"));
    EXPECT_EQ(text(f, 0, 1, 2, fs), QStringLiteral("21,5"));
    EXPECT_EQ(text(f, 0, 6, 1, fs), QStringLiteral("1900/01/01 12:00"));

    // reopening reloads without doubling anything
    f.open();
    EXPECT_EQ(f.worksheetCount(), 2);
    f.close();
    EXPECT_FALSE(f.loaded());
    EXPECT_EQ(f.worksheetCount(), 0);
}

TEST(XlsReader, BareStreamWithPaddingLoadsLikeTheCompoundFile)
{
    TxlsFile compound(fixture("basic.xls")), bare(fixture("basic_stream.biff"));
    compound.open();
    bare.open();
    ASSERT_EQ(bare.worksheetCount(), 2);
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(text(bare, 0, r, c), text(compound, 0, r, c));
}

TEST(XlsReader, LibreOfficeAndGnumericFormulasAndMulRk)
{
    for (const char* file : {"lo_formulas.xls", "gnumeric_formulas.xls"}) {
        SCOPED_TRACE(file);
        TxlsFile f(fixture(file));
        f.open();
        ASSERT_EQ(f.worksheetCount(), 1);
        // A..C: MULRK (LibreOffice) or RK; D: =A*2, shared by LibreOffice
        for (int r = 0; r < 8; ++r) {
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(text(f, 0, r, c), QString::number((r + 1) * 10 + c));
            EXPECT_EQ(text(f, 0, r, 3), QString::number((r + 1) * 20));
        }
        EXPECT_EQ(text(f, 0, 8, 0), QStringLiteral("abcd"));   // cached text from STRING
        EXPECT_EQ(text(f, 0, 8, 1), QString());                 // cached error
        EXPECT_EQ(text(f, 0, 8, 2), QStringLiteral("True"));    // cached boolean
        EXPECT_EQ(text(f, 0, 8, 3), QStringLiteral("45000"));   // never a date
    }
}

TEST(XlsReader, SharedStringsAcrossContinue)
{
    TxlsFile f(fixture("sst_continue.xls"));
    f.open();
    for (int i = 0; i < 40; ++i) {
        QString expected;
        for (int k = 0; k < (i % 2 ? 30 : 40); ++k)
            expected += (i % 2 ? QString::fromUtf8("Žluťoučký kůň %1 ") : QStringLiteral("plain text %1 "))
                            .arg(i, 2, 10, QLatin1Char('0'));
        EXPECT_EQ(text(f, 0, i, 0), expected) << i;
    }
}

TEST(XlsReader, SheetsNamedAlikeAndLookupLimits)
{
    TxlsFile f(fixture("two_sheets.xls"));
    f.open();
    EXPECT_EQ(f.worksheetName(1), QStringLiteral("data"));
    EXPECT_EQ(f.findWorksheet(QStringLiteral("DATA")), 0);
    EXPECT_EQ(f.findWorksheet(QStringLiteral("data")), 0);
    EXPECT_EQ(f.findWorksheet(QStringLiteral("other")), -1);
    EXPECT_EQ(text(f, 1, 0, 0), QStringLiteral("second"));
    EXPECT_EQ(f.cell(0, 10, 0), nullptr);
    expectError([&] { f.cell(0, 70000, 0); }, "Invalid Row (70000)", true);
    expectError([&] { f.cell(0, 0, 256); }, "Invalid Column (256)", true);
}

TEST(XlsReader, HandBuiltStreamsLoad)
{
    B b;
    b.globals({"S", "Chart", "T"}, {0, 14});
    b.bof(0x0010);
    // cells of one row arrive out of column order; the lookup sorts on demand
    b.number(0, 5, 5.5).number(0, 1, 1.5).number(0, 3, 45000, 1);
    b.rk(1, 0, 0x00000002).rk(1, 1, (1234u << 2) | 3).rk(1, 2, 0x3FF00001);
    {   // MULRK of three values at columns 2..4 of row 2, then MULBLANK
        B::Bytes m;
        B::put16(m, 2);
        B::put16(m, 2);
        for (uint32_t v : {(7u << 2) | 2, (8u << 2) | 2, (9u << 2) | 2}) {
            B::put16(m, 0);
            B::put32(m, v);
        }
        B::put16(m, 4);
        b.rec(0x00BD, m);
        B::Bytes z;
        B::put16(z, 3);
        B::put16(z, 0);
        B::put16(z, 0);
        B::put16(z, 0);
        B::put16(z, 1);
        b.rec(0x00BE, z);
    }
    {   // an array formula: FORMULA, ARRAY, then the STRING of its text result
        B::Bytes f = B::cell(4, 0, 0);
        f.insert(f.end(), {0, 0, 0, 0, 0, 0, 0xFF, 0xFF});
        B::put16(f, 0);
        B::put32(f, 0);
        B::put16(f, 1);
        f.push_back(0x03);
        b.rec(0x0006, f);
        b.rec(0x0221, {4, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        b.rec(0x0207, B::str16("array text"));
    }
    b.eof();
    b.bof(0x0020).rec(0x1002, {0, 0, 0, 0}).eof();   // chart sheet: passed over
    b.bof(0x0010).label(0, 0, "second").eof();
    b.data.resize(b.data.size() + 300, 0);          // zero padding of a storage stream

    TxlsFile f;
    f.openBytes(b.data);
    ASSERT_EQ(f.worksheetCount(), 2);
    EXPECT_EQ(f.worksheetName(1), QStringLiteral("T"));
    EXPECT_EQ(text(f, 0, 0, 1), QStringLiteral("1.5"));
    EXPECT_EQ(text(f, 0, 0, 3), QStringLiteral("15.3.2023"));
    EXPECT_EQ(text(f, 0, 0, 5), QStringLiteral("5.5"));
    EXPECT_EQ(text(f, 0, 0, 4), QStringLiteral("<none>"));
    EXPECT_EQ(text(f, 0, 1, 0), QStringLiteral("0"));
    EXPECT_EQ(text(f, 0, 1, 1), QStringLiteral("12.34"));
    EXPECT_EQ(text(f, 0, 1, 2), QStringLiteral("0.01"));
    EXPECT_EQ(text(f, 0, 2, 2) + text(f, 0, 2, 3) + text(f, 0, 2, 4), QStringLiteral("789"));
    EXPECT_EQ(text(f, 0, 3, 1), QString());
    EXPECT_EQ(text(f, 0, 3, 2), QStringLiteral("<none>"));
    EXPECT_EQ(text(f, 0, 4, 0), QStringLiteral("array text"));
    EXPECT_EQ(f.worksheet(0)->Rows[0].MinCol, 1);
    EXPECT_EQ(f.worksheet(0)->Rows[0].MaxCol, 5);
    EXPECT_EQ(text(f, 1, 0, 0), QStringLiteral("second"));
}

TEST(XlsReader, StringsSwitchWidthInContinue)
{
    B b;
    b.bof(0x0005).xf(0).boundSheet("S");
    B::Bytes sst;
    B::put32(sst, 3);
    B::put32(sst, 3);
    // 1: "abcd" 8-bit, continued 16-bit
    B::put16(sst, 10);
    sst.push_back(0);
    for (char c : std::string("abcd"))
        sst.push_back(uint8_t(c));
    b.rec(0x00FC, sst);
    B::Bytes c1{0x01};
    for (char16_t c : std::u16string(u"\u0159efghi"))
        B::put16(c1, c);
    // 2: 16-bit "ŽŽ", continued 8-bit "xyz"
    B::put16(c1, 5);
    c1.push_back(1);
    B::put16(c1, 0x017D);
    B::put16(c1, 0x017D);
    b.rec(0x003C, c1);
    B::Bytes c2{0x00, 'x', 'y', 'z'};
    // 3: starts in this CONTINUE with its own header
    B::Bytes s3 = B::str16("whole");
    c2.insert(c2.end(), s3.begin(), s3.end());
    b.rec(0x003C, c2);
    b.eof();
    b.bof(0x0010);
    for (unsigned i = 0; i < 3; ++i) {
        B::Bytes l = B::cell(i, 0, 0);
        B::put32(l, i);
        b.rec(0x00FD, l);
    }
    b.eof();

    TxlsFile f;
    f.openBytes(b.data);
    EXPECT_EQ(text(f, 0, 0, 0), QString::fromUtf8("abcd\u0159efghi"));
    EXPECT_EQ(text(f, 0, 1, 0), QString::fromUtf8("\u017D\u017Dxyz"));
    EXPECT_EQ(text(f, 0, 2, 0), QStringLiteral("whole"));
    const auto& sstList = f.workbook().globals().SST;
    ASSERT_EQ(sstList.size(), 3u);
    EXPECT_TRUE(sstList[0]->Value.Wide);
    EXPECT_TRUE(sstList[1]->Value.Wide);
    EXPECT_FALSE(sstList[2]->Value.Wide);
}

TEST(XlsReader, BadStreamsFailWithTheirMessage)
{
    const std::string invalid = "Error reading Excel records. File invalid";
    auto sheet = [](const std::function<void(B&)>& body) {
        B b;
        b.globals({"S"});
        b.bof(0x0010);
        body(b);
        b.eof();
        return b.data;
    };
    auto sharedFormula = [](B& b) {
        B::Bytes f = B::cell(0, 0, 0);
        B::putDouble(f, 0);
        B::put16(f, 0);
        B::put32(f, 0);
        B::put16(f, 5);
        f.push_back(0x01);
        B::put16(f, 0);
        B::put16(f, 0);
        b.rec(0x0006, f);
    };
    struct Case { const char* what; std::vector<uint8_t> data; std::string message; bool fileError; };
    std::vector<Case> cases;
    {
        B b;
        b.bof(0x0005, 0x0500);
        cases.push_back({"BIFF5", b.data, "File is saved with an invalid Excel version", false});
    }
    {
        B b;
        b.number(0, 0, 1);
        cases.push_back({"no BOF first", b.data, invalid, true});
    }
    {
        B b;
        b.bof(0x0040).eof();
        cases.push_back({"macro sheet", b.data, invalid, true});
    }
    {
        B b;
        b.bof(0x0005).bof(0x0005);
        cases.push_back({"BOF in globals", b.data, invalid, true});
    }
    {
        B b;
        b.globals({"S"});
        b.bof(0x0010);
        b.data.insert(b.data.end(), {0x03, 0x02, 40, 0, 1, 2, 3});
        cases.push_back({"short body", b.data, invalid, false});
    }
    cases.push_back({"embedded chart", sheet([](B& b) { b.bof(0x0020).eof(); }), invalid, true});
    cases.push_back({"STRING after NUMBER",
                     sheet([](B& b) { b.number(0, 0, 1).rec(0x0207, B::str16("x")); }), invalid, true});
    cases.push_back({"LABELSST index", sheet([](B& b) {
                         B::Bytes l = B::cell(0, 0, 0);
                         B::put32(l, 0);
                         b.rec(0x00FD, l);
                     }),
                     invalid, true});
    cases.push_back({"short cell", sheet([](B& b) { b.rec(0x0203, {1, 0, 2}); }), "Record with ID 0x203 is invalid",
                     true});
    cases.push_back({"LABEL past end", sheet([](B& b) {
                         B::Bytes l = B::cell(0, 0, 0);
                         B::put16(l, 10);
                         l.insert(l.end(), {0, 'a', 'b'});
                         b.rec(0x0204, l);
                     }),
                     "Error reading record", true});
    cases.push_back({"shared formula without SHRFMLA", sheet(sharedFormula), "Shared Formula not found", false});
    cases.push_back({"unknown token", sheet([&](B& b) {
                         sharedFormula(b);
                         B::Bytes s;
                         B::put16(s, 0);
                         B::put16(s, 0);
                         s.insert(s.end(), {0, 0, 0, 1});
                         B::put16(s, 1);
                         s.push_back(0xFF);
                         b.rec(0x04BC, s);
                     }),
                     "Formula at Row 1, column 1 is not supported. Token Id: 0xFF", false});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TxlsFile f;
        expectError([&] { f.openBytes(c.data); }, c.message, c.fileError);
    }
}

TEST(XlsReader, FileAndStorageErrors)
{
    TxlsFile none;
    expectError([&] { none.open(); }, "File name is not defined", true);
    TxlsFile missing(QStringLiteral("/nonexistent/x.xls"));
    expectError([&] { missing.open(); }, "File /nonexistent/x.xls does not exist", true);

    // the workbook stream under another name: lower case, and the old "Book"
    const std::vector<uint8_t> good = fixtureBytes("basic.xls");
    const std::u16string name = u"Workbook";
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(name.data());
    auto at = std::search(good.begin(), good.end(), raw, raw + 16);
    ASSERT_NE(at, good.end());
    const size_t off = size_t(at - good.begin());
    std::vector<uint8_t> lower = good;
    lower[off] = 'w';
    std::vector<uint8_t> book = good;
    const char16_t bookName[8] = {u'B', u'o', u'o', u'k', 0, 0, 0, 0};
    std::memcpy(book.data() + off, bookName, 16);
    book[off + 64] = 10;
    for (const auto& bytes : {lower, book}) {
        TxlsFile f(QStringLiteral("x.xls"));
        expectError([&] { f.openBytes(bytes); }, "File x.xls is not an Excel Workbook", true);
    }
    // a damaged compound file is reported, not read past its end
    std::vector<uint8_t> cut(good.begin(), good.begin() + 600);
    TxlsFile f(QStringLiteral("cut.xls"));
    expectError([&] { f.openBytes(cut); }, "The compound file cut.xls is damaged", false);
}
