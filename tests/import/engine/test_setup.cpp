// The import setup and its template files.
#include "TestSource.h"

#include "import/engine/ImportIni.h"
#include "import/engine/ImportSetup.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

QString q(const char* s) { return QString::fromUtf8(s); }
const QStringList kFields{q("FARMA"), q("DATUM"), q("LAKTACE"), q("SB"), q("DOJNICE"), q("FIELD2")};

TImportSetup csvSetup() {
    TImportSetup s;
    s.DestinationFields = kFields;
    s.Kind = aiCSV;
    s.FileName = q("data.csv");
    s.Current().SetLocator(q("FARMA"), q("1"));
    s.Current().SetLocator(q("DATUM"), q("2"));
    s.Current().SetLocator(q("SB"), q("0"));  // not mapped: numbers above 0 only
    s.Current().Options.insert(q("Delimiter"), q(";"));
    s.Current().Options.insert(q("Quote"), q("'"));
    s.Current().Options.insert(q("SkipLines"), q("1"));
    s.Current().Options.insert(q("Encoding"), q("25"));
    s.Formats.DecimalSeparator = QLatin1Char(',');
    s.Formats.BooleanTrue = QStringList{q("Ano"), q("Yes")};
    TImportFieldFormat& d = s.FieldFormats.Add(q("DOJNICE"));
    d.Replacements.push_back({q("#13#10"), q(" "), false});
    d.Replacements.push_back({q("a"), q("b"), true});
    d.CharCase = iccUpper;
    TImportFieldFormat& g = s.FieldFormats.Add(q("FIELD2"));  // digits at the end of the name
    g.Replacements.push_back({q("x"), q("y"), false});
    TImportFieldFormat& l = s.FieldFormats.Add(q("LAKTACE"));
    l.GeneratorValue = 5;
    l.GeneratorStep = 2;
    l.Replacements.push_back({q("not"), q("written"), false});  // generator fields keep no replacements
    s.ErrorLog = true;
    s.ImportMode = qimUpdateOrInsert;
    s.KeyColumns = QStringList{q("FARMA"), q("DATUM")};
    return s;
}

class SetupTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file(const char* name) { return dir.filePath(q(name)); }
    QString read(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromUtf8(f.readAll());
    }
};

TEST_F(SetupTest, TemplateLayoutAndRoundTrip) {
    TImportSetup s = csvSetup();
    const QString path = file("t.imp");
    {
        QFile f(path);  // whatever was in the file goes
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[OLD]\nx=1\n");
    }
    s.SaveTemplate(path);
    const QString text = read(path);
    EXPECT_FALSE(text.contains(q("[OLD]")));
    EXPECT_TRUE(text.contains(q("ThousandSeparator=#160")));
    EXPECT_TRUE(text.contains(q("DecimalSeparator=,")));
    EXPECT_TRUE(text.contains(q("Delimiter=;")));
    EXPECT_FALSE(text.contains(q("SB=")));
    EXPECT_FALSE(text.contains(q("written")));
    // sections in the order of writing, the kind's between FIRST_STEP and BASE_FORMATS
    TImportIniFile ini(path);
    EXPECT_EQ(ini.Sections(), (QStringList{q("FIRST_STEP"), q("CSV_MAP"), q("CSV_OPTIONS"), q("BASE_FORMATS"),
                                           q("BOOLEAN_TRUE"), q("BOOLEAN_FALSE"), q("NULL_VALUES"),
                                           q("DATA_FORMATS_DOJNICE"), q("REPLACEMENTS_DOJNICE_0"),
                                           q("REPLACEMENTS_DOJNICE_1"), q("REPLACEMENTS_FIELD2_0"),
                                           q("DATA_FORMATS_LAKTACE"), q("LAST_STEP"), q("KeyColumns")}));
    EXPECT_EQ(ini.Keys(q("CSV_OPTIONS")), (QStringList{q("SkipLines"), q("Delimiter"), q("Quote"), q("Encoding")}));
    EXPECT_EQ(ini.Keys(q("DATA_FORMATS_LAKTACE")), (QStringList{q("GeneratorValue"), q("GeneratorStep")}));

    TImportSetup back;
    back.DestinationFields = kFields;
    back.LoadTemplate(path);
    back.LoadTemplate(path);  // twice: replacements are not duplicated
    EXPECT_EQ(back.Kind, aiCSV);
    EXPECT_EQ(back.FileName, q("data.csv"));
    EXPECT_EQ(back.MapLines(), (QStringList{q("FARMA=1"), q("DATUM=2")}));
    EXPECT_EQ(back.Current().Options.value(q("Delimiter")), q(";"));
    EXPECT_EQ(back.Current().Options.value(q("Quote")), q("'"));
    EXPECT_EQ(back.Current().Options.value(q("SkipLines")), q("1"));
    EXPECT_EQ(back.Current().Options.value(q("Encoding")), q("25"));
    EXPECT_EQ(back.Formats, s.Formats);
    EXPECT_EQ(back.Formats.ThousandSeparator, QChar(0x00A0));
    ASSERT_NE(back.FieldFormats.Find(q("dojnice")), nullptr);
    EXPECT_EQ(*back.FieldFormats.Find(q("DOJNICE")), *s.FieldFormats.Find(q("DOJNICE")));
    ASSERT_NE(back.FieldFormats.Find(q("FIELD2")), nullptr);
    EXPECT_EQ(back.FieldFormats.Find(q("FIELD2"))->Replacements.size(), 1u);
    const TImportFieldFormat* l = back.FieldFormats.Find(q("LAKTACE"));
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->GeneratorValue, 5);
    EXPECT_EQ(l->GeneratorStep, 2);
    EXPECT_TRUE(l->Replacements.empty());
    EXPECT_TRUE(back.ErrorLog);
    EXPECT_EQ(back.ImportMode, qimUpdateOrInsert);
    EXPECT_EQ(back.KeyColumns, s.KeyColumns);
}

TEST_F(SetupTest, LoadRulesForMissingKeysAndSwitches) {
    const QString path = file("rules.imp");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[FIRST_STEP]\nImportType=8\nFileName=x.xlsx\n"
                "[XLSX_MAP]\nFARMA=A\nNOSUCH=B\n"
                "[XLSX_OPTIONS]\nSkipLines=2\n"
                "[BASE_FORMATS]\nDecimalSeparator=#44\nThousandSeparator=xx\nDateSeparator=\n"
                "[NULL_VALUES]\nn/a=\n-=\n"
                "[DATA_FORMATS_Farma]\nConstantValue=''\n"
                "[LAST_STEP]\nCommitAfterDone=0\nCommitRecCount=50\nRewriteErrorLogFile=0\n");
    }
    TImportSetup s;
    s.DestinationFields = kFields;
    s.Formats.ThousandSeparator = QLatin1Char('_');
    s.LoadTemplate(path);
    EXPECT_EQ(s.Kind, aiXlsx);
    EXPECT_EQ(s.MapLines(), QStringList{q("FARMA=A")});
    EXPECT_EQ(s.Current().Options.value(q("SheetName")), q("Sheet1"));
    EXPECT_EQ(s.Current().Options.value(q("NeedFillMerge")), q("0"));
    EXPECT_EQ(s.Current().Options.value(q("SkipLines")), q("2"));
    EXPECT_EQ(s.Formats.DecimalSeparator, QLatin1Char(','));
    EXPECT_EQ(s.Formats.ThousandSeparator, QLatin1Char('_'));  // an unreadable value keeps the current one
    EXPECT_EQ(s.Formats.DateSeparator, QLatin1Char('.'));
    EXPECT_EQ(s.Formats.NullValues, (QStringList{q("n/a"), q("-")}));
    EXPECT_TRUE(s.Formats.BooleanTrue.isEmpty());  // the lists are exactly their sections
    ASSERT_NE(s.FieldFormats.Find(q("FARMA")), nullptr);
    EXPECT_EQ(s.FieldFormats.Find(q("FARMA"))->ConstantValue, q("''"));
    EXPECT_EQ(s.CommitRecCount, 50);
    EXPECT_TRUE(s.CommitAfterDone);       // the component's switch is on: a template cannot turn it off
    EXPECT_TRUE(s.RewriteErrorLogFile);   // likewise
    EXPECT_TRUE(s.ShowErrorLog);          // missing key with the component's switch off: on
    EXPECT_FALSE(s.CloseAfterImport);

    TImportSetup off;
    off.Component.CommitAfterDone = false;
    off.LoadTemplate(path);
    EXPECT_FALSE(off.CommitAfterDone);

    try {
        s.LoadTemplate(file("none.imp"));
        FAIL();
    } catch (const EImportError& e) {
        EXPECT_EQ(e.Message, q("File ") + file("none.imp") + q(" does not exist"));
    }
}

TEST_F(SetupTest, CsvEncodingMissingKeepsCurrentAndEveryKindRoundTrips) {
    const QString path = file("old.imp");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[FIRST_STEP]\nImportType=4\n[CSV_MAP]\nSB=3\n[CSV_OPTIONS]\nSkipLines=0\nDelimiter=#9\n");
    }
    TImportSetup s;
    s.Kinds[aiCSV].Options.insert(q("Encoding"), q("7"));
    s.LoadTemplate(path);
    EXPECT_EQ(s.Current().Options.value(q("Encoding")), q("7"));
    EXPECT_EQ(s.Current().Options.value(q("Delimiter")), q("\t"));
    EXPECT_EQ(s.Current().Options.value(q("Quote")), q("\""));

    struct Kind { TAllowedImport kind; const char* locator; std::vector<std::pair<const char*, const char*>> options; } kinds[] = {
        {aiXLS, "[A1:A10]", {{"SkipRows", "1"}, {"SkipCols", "2"}}},
        {aiDBF, "FARM", {{"SkipDeleted", "0"}}},
        {aiXML, "FARM", {{"WriteOnFly", "1"}}},
        {aiTXT, "0;4", {{"SkipLines", "3"}, {"Encoding", "26"}}},
        {aiAccess, "FARM", {{"Password", "s e=cret"}, {"SourceType", "0"}, {"TableName", "T1"}}},
        {aiHTML, "2", {{"SkipLines", "1"}}},
        {aiXMLDoc, "3", {{"XPath", "//row"}, {"DataLocation", "1"}, {"SkipLines", "2"}}},
        {aiXlsx, "B", {{"SheetName", "Data"}, {"LoadHiddenSheet", "1"}}},
        {aiDocx, "2", {{"TableNumber", "3"}}},
        {aiODS, "C", {{"SheetName", "List 1"}}},
        {aiODT, "1", {{"SheetName", "Tab"}, {"UseHeader", "1"}}},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE((int)k.kind);
        TImportSetup a;
        a.Kind = k.kind;
        a.Current().SetLocator(q("FARMA"), q(k.locator));
        for (const auto& o : k.options) a.Current().Options.insert(q(o.first), q(o.second));
        if (k.kind == aiAccess) a.AccessSQL = QStringList{q("select *"), q("from T1")};
        a.SaveTemplate(file("kind.imp"));
        TImportSetup b;
        b.LoadTemplate(file("kind.imp"));
        EXPECT_EQ(b.Kind, k.kind);
        EXPECT_EQ(b.MapLines(), QStringList{q("FARMA=") + q(k.locator)});
        for (const auto& o : k.options) EXPECT_EQ(b.Current().Options.value(q(o.first)), q(o.second)) << o.first;
        if (k.kind == aiAccess) {
            EXPECT_EQ(b.AccessSQL, a.AccessSQL);
        }
        EXPECT_TRUE(b.MappingUsable());
    }
}

TEST_F(SetupTest, ConfiguresTheEngineAsTheWizardDoes) {
    TImportSetup s = csvSetup();
    s.ProgramDirectory = dir.path();
    TTestSource e;
    TImportFieldFormat& kept = e.FieldFormats.Add(q("DOJNICE"));
    kept.ConstantValue = q("replaced");
    TImportOptions seen;
    struct TSpy : TTestSource {
        TImportOptions* out;
        void ApplyOptions(TAllowedImport kind, const TImportOptions& o) override {
            *out = o;
            TTestSource::ApplyOptions(kind, o);
        }
    } spy;
    spy.out = &seen;
    s.ConfigureEngine(spy, nullptr);
    EXPECT_EQ(spy.FileName(), q("data.csv"));
    EXPECT_EQ(spy.Map, (QStringList{q("FARMA=1"), q("DATUM=2")}));
    EXPECT_EQ(spy.SkipFirstRows, 1);
    EXPECT_EQ(seen.value(q("Delimiter")), q(";"));
    EXPECT_EQ(spy.Formats.DecimalSeparator, QLatin1Char(','));
    EXPECT_TRUE(spy.CommitAfterDone);
    EXPECT_EQ(spy.ImportMode, qimUpdateOrInsert);
    EXPECT_EQ(spy.KeyColumns, s.KeyColumns);
    EXPECT_EQ(spy.ErrorLogFileName, dir.filePath(q("error.log")));
    EXPECT_EQ(spy.FieldFormats.Count(), 3);

    // an existing entry is replaced, an empty one is not added
    s.FieldFormats.Add(q("SB"));
    s.ConfigureEngine(e, nullptr);
    EXPECT_EQ(e.FieldFormats.Find(q("DOJNICE"))->ConstantValue, QString());
    EXPECT_EQ(e.FieldFormats.Find(q("SB")), nullptr);

    // TXT is fixed width whatever its page says
    s.Kind = aiTXT;
    s.Current().SetLocator(q("FARMA"), q("0;3"));
    s.ConfigureEngine(spy, nullptr);
    EXPECT_EQ(seen.value(q("Delimiter")), QString(QChar(0)));
    EXPECT_EQ(spy.Map, QStringList{q("FARMA=0;3")});

    // a log name in an existing directory stays; others go under the program's directory
    s.ErrorLogFileName = dir.filePath(q("here.log"));
    EXPECT_EQ(s.ResolvedErrorLogFileName(), dir.filePath(q("here.log")));
    s.ErrorLogFileName = q("/nonexistent-dir/x.log");
    EXPECT_EQ(s.ResolvedErrorLogFileName(), dir.filePath(q("x.log")));
}

}  // namespace

namespace {

// A template written on a Czech Windows desktop: cp1250 bytes and CR LF.
TEST(TemplateFixture, SingleByteTemplateOfACzechDesktop) {
    qputenv("LC_ALL", "cs_CZ.UTF-8");
    TImportSetup s;
    s.DestinationFields = kFields;
    s.LoadTemplate(q(VACCORA_FIXTURE_DIR "/csv_cp1250.imp"));
    EXPECT_EQ(s.Kind, aiCSV);
    EXPECT_EQ(s.FileName, q("C:\\data\\žluťoučký.csv"));
    EXPECT_EQ(s.MapLines(), (QStringList{q("FARMA=1"), q("DATUM=2"), q("SB=5")}));
    EXPECT_EQ(s.Current().Options.value(q("Encoding")), q("7"));
    EXPECT_EQ(s.Formats.ThousandSeparator, QChar(0x00A0));
    EXPECT_EQ(s.Formats.BooleanTrue, QStringList{q("Ano")});
    const TImportFieldFormat* d = s.FieldFormats.Find(q("DOJNICE"));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->Replacements.size(), 1u);
    EXPECT_EQ(d->Replacements[0].TextToFind, q("š"));
    EXPECT_EQ(s.ImportMode, qimUpdateOrInsert);
    EXPECT_FALSE(s.ImportEmptyRows);
    EXPECT_EQ(s.KeyColumns, (QStringList{q("FARMA"), q("DATUM")}));
}

}  // namespace

namespace {

// The engine's own settings file keeps what the engine needs to run again.
TEST(EngineSettings, WriteAndReadBack) {
    TTestSource a;
    a.SetFileName(q("in.csv"));
    a.Map = QStringList{q("FARMA=1"), q("SB=3")};
    a.ImportMode = qimDeleteOrInsert;
    a.KeyColumns = QStringList{q("FARMA")};
    a.CommitRecCount = 10;
    a.Formats.ThousandSeparator = QChar(0x00A0);
    TImportFieldFormat& f = a.FieldFormats.Add(q("SB"));
    f.Replacements.push_back({q(" a=b "), q("\r\n"), true});
    f.Functions = ifDate;
    TImportIniFile ini;
    a.WriteSettings(ini);
    TImportIniFile copy;
    copy.FromText(ini.ToText());
    TTestSource b;
    b.ReadSettings(copy);
    EXPECT_EQ(b.FileName(), a.FileName());
    EXPECT_EQ(b.Map, a.Map);
    EXPECT_EQ(b.ImportMode, a.ImportMode);
    EXPECT_EQ(b.KeyColumns, a.KeyColumns);
    EXPECT_EQ(b.CommitRecCount, 10);
    EXPECT_EQ(b.Formats, a.Formats);
    EXPECT_EQ(b.FieldFormats, a.FieldFormats);
}

}  // namespace
