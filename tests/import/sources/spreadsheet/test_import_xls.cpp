// TImportXLS through the engine into KU of a real embedded database.
#include "data/DataStore.h"
#include "data/Schema.h"
#include "import/engine/ImportIni.h"
#include "import/engine/SourceRegistry.h"
#include "import/sources/spreadsheet/ImportXLS.h"
#include "import/sources/spreadsheet/SpreadsheetSources.h"
#include "import/sources/spreadsheet/XlsMessages.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

QString fixture(const char* name) { return QStringLiteral(VACCORA_XLS_FIXTURES "/") + QLatin1String(name); }

class ImportXLSTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("test.gdb"));
        vaccoraCreateDatabase(path, false);
        store = std::make_unique<TDataStore>(path);
        store->Open();
    }
    void TearDown() override { store.reset(); }

    std::unique_ptr<TImportXLS> source(const char* file, QStringList map)
    {
        vaccoraRegisterSpreadsheetSources();
        std::unique_ptr<TImportEngine> e = vaccoraCreateImportSource(aiXLS);
        auto* x = dynamic_cast<TImportXLS*>(e.get());
        EXPECT_TRUE(x);
        e.release();
        std::unique_ptr<TImportXLS> s(x);
        s->DataSet = &store->IBTable1;
        s->Formats = TImportFormats::ProgramDefaults();
        s->SetFileName(fixture(file));
        s->Map = map;
        s->ProgramDirectory = dir.path();
        return s;
    }

    // FARMA|DATUM|DOJIVOST|DOJNICE per row in insertion order, NULL as "-".
    std::string rows() { return rowList().join(u'\n').toStdString(); }
    QStringList rowList()
    {
        TIBQuery q(store->IBDatabase1, store->IBTransaction1);
        q.SQL << QStringLiteral("select FARMA, DATUM, DOJIVOST, DOJNICE from KU order by DOJNICE, FARMA");
        q.Open();
        QStringList out;
        for (q.First(); !q.Eof(); q.Next()) {
            QStringList parts;
            for (int i = 0; i < 4; ++i)
                parts << (!q.Value(i).isValid()            ? QStringLiteral("-")
                          : q.Value(i).canConvert<QDateTime>() && i == 1 ? q.Value(i).toDate().toString(Qt::ISODate)
                                                                         : q.Value(i).toString());
            out << parts.join(u'|');
        }
        return out;
    }

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<TDataStore> store;
};

const QStringList kMap{QStringLiteral("FARMA=A1-A4"), QStringLiteral("DATUM=B1-B4"),
                       QStringLiteral("DOJIVOST=c1-c4"), QStringLiteral("DOJNICE=[data]D1-D4")};

}  // namespace

TEST_F(ImportXLSTest, RangesReachTheTable)
{
    auto s = source("basic.xls", kMap);
    s->SkipFirstRows = 1;
    s->ErrorLog = true;
    ASSERT_TRUE(s->Execute());
    EXPECT_EQ(s->TotalCount, 3);
    EXPECT_EQ(s->ErrorCount(), 0);
    EXPECT_EQ(rows(), "3|2023-03-15|21.5|Alma\n3|2023-03-16|19.25|Běla\n7|2013-01-31|-4|Cilka");
    EXPECT_EQ(s->Maps(), nullptr);  // released by the clean-up
}

TEST_F(ImportXLSTest, RecordCountRulesAndOptions)
{
    // 9 cells against 3: qirMin takes 3, ImportRecCount cuts qirMax to 2
    QStringList map{QStringLiteral("DOJNICE=A1-A9"), QStringLiteral("FARMA=[:2]B5-B7")};
    auto min = source("basic.xls", map);
    min->ImportRange = qirMin;
    ASSERT_TRUE(min->Execute());
    EXPECT_EQ(rows(), "6|-|-|3\n7|-|-|3\n5|-|-|Farm");

    store->IBDatabase1.ExecSQL(store->IBTransaction1, QStringLiteral("delete from KU"));
    auto cut = source("basic.xls", map);
    cut->ImportRecCount = 2;
    ASSERT_TRUE(cut->Execute());
    EXPECT_EQ(rowList().size(), 2);

    // options of the import setup and the template section
    auto o = source("basic.xls", map);
    o->ApplyOptions(aiXLS, {{QStringLiteral("SkipRows"), QStringLiteral("2")}, {QStringLiteral("SkipCols"), QStringLiteral("1")}});
    EXPECT_EQ(o->SkipFirstRows, 2);
    EXPECT_EQ(o->SkipFirstCols, 1);
    TImportIniFile ini;
    o->WriteSettings(ini);
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("XLS_OPTIONS"), QStringLiteral("SkipCols"), -1), 1);
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("XLS_OPTIONS"), QStringLiteral("SkipRows"), -1), 2);
    auto back = source("basic.xls", map);
    back->ReadSettings(ini);
    EXPECT_EQ(back->SkipFirstCols, 1);
    EXPECT_EQ(back->SkipFirstRows, 2);
}

TEST_F(ImportXLSTest, MapAndFileErrorsEndTheRun)
{
    struct Case { const char* file; QStringList map; std::string message; };
    const Case cases[] = {
        {"basic.xls", {QStringLiteral("FARMA=A1-B2")}, "Range A1-B2 is fail. It must be COL or ROW"},
        {"basic.xls", {QStringLiteral("FARMA=[Missing]A1")}, "Sheet with name MISSING is not found in the source file"},
        {"make_fixtures.py", {QStringLiteral("FARMA=A1")}, "Error reading Excel records. File invalid"},
    };
    for (const Case& c : cases) {
        auto s = source(c.file, c.map);
        try {
            s->Execute();
            ADD_FAILURE() << c.message;
        } catch (const std::exception& e) {
            EXPECT_EQ(e.what(), c.message);
        }
        EXPECT_EQ(rows(), "");
    }
    // the reader's texts are entries of the message table
    TImportLocale::Register(SxlsUnexpectedEnd, QStringLiteral("Range ends too early"));
    auto s = source("basic.xls", {QStringLiteral("FARMA=A1;;")});
    EXPECT_THROW(
        try { s->Execute(); } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), "Range ends too early");
            throw;
        },
        std::exception);
    TImportLocale::Register(SxlsUnexpectedEnd, xlsDefaultText(SxlsUnexpectedEnd));
}
