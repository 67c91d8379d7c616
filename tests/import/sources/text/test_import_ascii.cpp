// TImportASCII through the engine into KU of a real embedded database.
#include "data/DataStore.h"
#include "data/Schema.h"
#include "import/engine/ImportIni.h"
#include "import/engine/SourceRegistry.h"
#include "import/sources/text/ImportASCII.h"
#include "import/sources/text/TextSources.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// The Firebird client keeps a few allocations of its own until exit; the leak
// checker of sanitizer builds is told to leave them out.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfbclient.so\nleak:libtommath.so\n"; }

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

QString fixture(const char* name)
{
    return QStringLiteral(VACCORA_TEXT_FIXTURES "/") + QLatin1String(name);
}

class ImportASCIITest : public ::testing::Test {
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

    std::unique_ptr<TImportASCII> source(const char* file, TCharsetType enc, char comma, QStringList map)
    {
        auto s = std::make_unique<TImportASCII>();
        s->DataSet = &store->IBTable1;
        s->Formats = TImportFormats::ProgramDefaults();
        s->SetFileName(fixture(file));
        s->Encoding = enc;
        s->Comma = comma;
        s->Map = map;
        s->ProgramDirectory = dir.path();
        return s;
    }

    // FARMA|DOJNICE|SB per row, NULL as "-".
    QStringList rows()
    {
        TIBQuery q(store->IBDatabase1, store->IBTransaction1);
        q.SQL << QStringLiteral("select FARMA, DOJNICE, SB from KU order by FARMA, SB");
        q.Open();
        QStringList out;
        for (q.First(); !q.Eof(); q.Next()) {
            QStringList parts;
            for (int i = 0; i < 3; ++i)
                parts << (q.Value(i).isValid() ? q.Value(i).toString() : QStringLiteral("-"));
            out << parts.join(u'|');
        }
        return out;
    }

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<TDataStore> store;
};

const QStringList kMap{QStringLiteral("FARMA=1"), QStringLiteral("DOJNICE=2"), QStringLiteral("SB=3")};

}  // namespace

TEST_F(ImportASCIITest, EncodingsReachTheTable)
{
    struct Case { const char* file; TCharsetType enc; char comma; int skip; QStringList rows; };
    const Case cases[] = {
        {"utf16be_mark.csv", ctUtf16, ',', 1,
         {QString::fromUtf8("3|Kráva Žofie|120"), QString::fromUtf8("4|Bětka, \"Ň\"|90")}},
        {"cp1250.csv", ctCp1250, ';', 0, {QString::fromUtf8("3|Šárka|99"), QString::fromUtf8("3|Čestmír|150")}},
        {"utf8_mark.csv", ctUtf8, ',', 0, {QString::fromUtf8("5|Müller€\U0001F404|7")}},
    };
    for (const Case& c : cases) {
        store->IBDatabase1.ExecSQL(store->IBTransaction1, QStringLiteral("delete from KU"));
        auto s = source(c.file, c.enc, c.comma, kMap);
        s->SkipFirstRows = c.skip;
        EXPECT_TRUE(s->Execute());
        EXPECT_EQ(rows(), c.rows) << c.file;
    }
}

TEST_F(ImportASCIITest, DelimitedRecordsAndSkipRules)
{
    auto s = source("records.csv", ctLatin1, ',', kMap);
    s->ImportEmptyRows = false;
    int completed = 0;
    s->OnImportRowComplete = [&](TImportEngine&, TImportRow&) { ++completed; };
    ASSERT_TRUE(s->Execute());
    // the blank line is skipped before reading; the separators-only line is
    // read, is empty and is counted without being written
    EXPECT_EQ(completed, 5);
    EXPECT_EQ(s->HandledCount, 5);
    EXPECT_EQ(rows(), (QStringList{"3||-", "3|ab\r\ncd|10", "3|x\"y,z|20", "3|q|30"}));

    // a streaming source stops after ImportRecCount rows
    store->IBDatabase1.ExecSQL(store->IBTransaction1, QStringLiteral("delete from KU"));
    auto two = source("records.csv", ctLatin1, ',', kMap);
    two->ImportRecCount = 2;
    two->Execute();
    EXPECT_EQ(rows().size(), 2);
}

TEST_F(ImportASCIITest, FixedWidthWithTabs)
{
    auto s = source("fixed.txt", ctLatin1, 0,
                    {QStringLiteral("FARMA=0;1"), QStringLiteral("DOJNICE=8;4"), QStringLiteral("SB=16;5")});
    s->SkipFirstRows = 2;  // the blank first line counts as a leading line
    ASSERT_TRUE(s->Execute());
    EXPECT_EQ(rows(), (QStringList{"3|COW1|150", QString::fromUtf8("4|CÖW2|1200"), "5|C3|-"}));
}

TEST_F(ImportASCIITest, SettingsErrors)
{
    struct Case { const char* file; TCharsetType enc; char comma; QStringList map; QString message; };
    const Case cases[] = {
        {"fixed.txt", ctLatin1, 0, {"FARMA=3"}, "Missing definition of map"},
        {"fixed.txt", ctLatin1, 0, {"FARMA=0;1", "SB=x;2"}, "Missing definition of map"},
        {"records.csv", ctLatin1, ',', {"FARMA=1", "SB=three"}, "Missing definition of map"},
        {"records.csv", ctArmscii8, ',', kMap, "Encoding armscii8 (ARMSCII-8 Armenian) has no code page and cannot be read"},
    };
    for (const Case& c : cases) {
        auto s = source(c.file, c.enc, c.comma, c.map);
        try {
            s->Execute();
            ADD_FAILURE() << "no error for " << c.message.toStdString();
        } catch (const EImportError& e) {
            EXPECT_EQ(e.Message, c.message);
        }
    }
    // a file locked by another program cannot be opened
    const QString locked = fixture("records.csv");
    const int fd = ::open(QFile::encodeName(locked).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    auto s = source("records.csv", ctLatin1, ',', kMap);
    try {
        s->Execute();
        ADD_FAILURE() << "opened a locked file";
    } catch (const EImportError& e) {
        EXPECT_TRUE(e.Message.contains(locked)) << e.Message.toStdString();
        EXPECT_TRUE(e.Message.endsWith(QStringLiteral("Failed to reset file."))) << e.Message.toStdString();
    }
    ::close(fd);
    EXPECT_TRUE(rows().isEmpty());
}

TEST_F(ImportASCIITest, TemplateSectionAndRegistry)
{
    TImportASCII a;
    a.SkipFirstRows = 3;
    a.Encoding = ctCp1250;
    a.Comma = '\t';
    a.Quote = 0;
    TImportIniFile ini;
    a.WriteSettings(ini);
    EXPECT_EQ(ini.ReadString("ASCII_OPTIONS", "Comma", ""), QStringLiteral("#9"));
    EXPECT_EQ(ini.ReadString("ASCII_OPTIONS", "Quote", ""), QStringLiteral("#0"));
    EXPECT_EQ(ini.ReadString("ASCII_OPTIONS", "Encoding", ""), QStringLiteral("7"));
    TImportASCII b;
    b.ReadSettings(ini);
    EXPECT_EQ(b.SkipFirstRows, 3);
    EXPECT_EQ(b.Encoding, ctCp1250);
    EXPECT_EQ(b.Comma, '\t');
    EXPECT_EQ(b.Quote, 0);

    vaccoraRegisterTextSources();
    auto txt = vaccoraCreateImportSource(aiTXT);
    auto csv = vaccoraCreateImportSource(aiCSV);
    ASSERT_TRUE(dynamic_cast<TImportASCII*>(txt.get()) && dynamic_cast<TImportASCII*>(csv.get()));
    EXPECT_TRUE(static_cast<TImportASCII*>(txt.get())->FixedWidth());
    csv->ApplyOptions(aiCSV, {{"Delimiter", ";"}, {"Quote", "'"}, {"Encoding", "25"}, {"SkipLines", "1"}});
    auto* c = static_cast<TImportASCII*>(csv.get());
    EXPECT_EQ(c->Comma, ';');
    EXPECT_EQ(c->Quote, '\'');
    EXPECT_EQ(c->Encoding, ctUtf8);
    EXPECT_EQ(c->SkipFirstRows, 1);
}
