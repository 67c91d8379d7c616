// The engine's run against table KU of a real embedded database: settings
// checks, modes with keys, value and row errors, the error log, commit
// requests, events and cancellation.
#include "TestSource.h"

#include "data/DataStore.h"
#include "data/Schema.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

// The Firebird client keeps some allocations until the process ends.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfbclient.so\nleak:libtommath.so\n"; }

namespace {

QString q(const char* s) { return QString::fromUtf8(s); }

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(q("test.gdb"));
        vaccoraCreateDatabase(path, false);
        {
            // a server-side refusal for negative SB, to make posts fail
            TDataStore s(path);
            s.IBDatabase1.Open();
            s.IBTransaction1.StartTransaction();
            s.IBDatabase1.ExecSQL(s.IBTransaction1, q("ALTER TABLE KU ADD CONSTRAINT KU_SB_OK CHECK (SB IS NULL OR SB >= 0)"));
            s.IBTransaction1.Commit();
        }
        source = dir.filePath(q("source.txt"));
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        store = std::make_unique<TDataStore>(path);
        store->Open();
    }
    void configure(TTestSource& e) {
        e.DataSet = &store->IBTable1;
        e.SetFileName(source);
        e.Map = QStringList{q("FARMA=1"), q("DATUM=2"), q("SB=3"), q("DOJNICE=4")};
        e.Formats = TImportFormats::ProgramDefaults();
        e.ProgramDirectory = dir.path();
        e.OnNeedCommit = [this](TImportEngine&) { store->CommitRetaining(); };
    }
    std::vector<std::vector<QVariant>> rows(const char* where = "1=1") {
        TIBQuery qr(store->IBDatabase1, store->IBTransaction1);
        qr.SQL << q("select FARMA, DATUM, SB, DOJNICE from KU where ") + q(where) + q(" order by DOJNICE, FARMA");
        qr.Open();
        std::vector<std::vector<QVariant>> out;
        for (int i = 0; i < qr.RecordCount(); ++i) out.push_back(qr.Row(i));
        return out;
    }
    QTemporaryDir dir;
    QString path, source;
    std::unique_ptr<TDataStore> store;
};

TEST_F(EngineTest, SettingsChecksInOrder) {
    struct Case {
        std::function<void(TTestSource&)> change;
        const char* message;
    } cases[] = {
        {[](TTestSource& e) { e.DataSet = nullptr; e.SetFileName(QString()); }, "DataSet is not defined"},
        {[](TTestSource& e) { e.SetFileName(QString()); e.Map.clear(); }, "File name is not specified"},
        {[](TTestSource& e) { e.SetFileName(q("/nonexistent/x.csv")); e.Map.clear(); }, "File /nonexistent/x.csv does not exist"},
        {[](TTestSource& e) { e.Map.clear(); }, "Map is empty"},
        {[](TTestSource& e) { e.Map << q("NOSUCH=5"); e.ImportMode = qimUpdate; }, "Column NOSUCH is defined in the MAP is not found in the import destination"},
        {[](TTestSource& e) { e.ImportMode = qimUpdate; }, "Key columns are not defined"},
        {[](TTestSource& e) { e.ImportMode = qimDelete; e.KeyColumns = QStringList{q("DOJNICE"), q("COW")}; }, "Key column COW is not found in the import destination"},
        {[](TTestSource& e) { e.ImportDestination = qidStringGrid; }, "StrinGrid is not defined"},
    };
    for (const auto& c : cases) {
        TTestSource e;
        configure(e);
        e.Rows = {{q("1")}};
        c.change(e);
        bool before = false;
        e.OnBeforeImport = [&](TImportEngine&) { before = true; };
        try {
            e.Execute();
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const EImportError& err) {
            EXPECT_EQ(err.Message, q(c.message));
        }
        EXPECT_FALSE(before);
    }
    EXPECT_TRUE(rows().empty());
}

TEST_F(EngineTest, ValueAndRowErrorsAndTheLogByteForByte) {
    TTestSource e;
    configure(e);
    e.ErrorLog = true;  // "error.log" lands in the program's directory
    e.Rows = {{q("3"), q("31.12.2012"), q("120"), q("C1")},
              {q("3"), q("41274"), q("abc"), q("C2")},       // value error: SB null, row posted
              {q("3"), q("1.1.2013"), q("-5"), q("C3")},     // refused by the server
              {q("4"), q("soon"), q(" 7 "), q("C4")},        // value error on the date
              {q("5"), q("2.1.2013"), q("-1"), q("C5")}};    // refused
    int failedEvents = 0, valueEvents = 0;
    e.OnImportError = [&](TImportEngine&) { ++failedEvents; };
    e.OnImportErrorAdv = [&](TImportEngine&) { ++valueEvents; };
    ASSERT_TRUE(e.Execute());
    EXPECT_EQ(e.HandledCount, 3);
    EXPECT_EQ(e.ErrorCount(), 2);
    EXPECT_EQ(failedEvents, 2);
    EXPECT_EQ(valueEvents, 2);
    auto r = rows();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0][1].toDateTime(), QDateTime(QDate(2012, 12, 31), QTime(0, 0)));
    EXPECT_EQ(r[0][2].toInt(), 120);
    EXPECT_EQ(r[1][1].toDateTime(), QDateTime(QDate(2012, 12, 31), QTime(0, 0)));
    EXPECT_FALSE(r[1][2].isValid());
    EXPECT_EQ(r[2][3].toString(), q("C4"));
    EXPECT_FALSE(r[2][1].isValid());
    EXPECT_EQ(r[2][2].toInt(), 7);

    QFile log(dir.filePath(q("error.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    QString text = QString::fromLatin1(log.readAll());
    text.replace(QRegularExpression(q("\\d{1,2}\\.\\d{1,2}\\.\\d{4} \\d{1,2}:\\d\\d")), q("TS"));
    auto msg = [&](int i) { return e.Errors()[i].section(q(": "), 1, -1); };
    ASSERT_EQ(e.Errors().size(), 2);
    EXPECT_TRUE(e.Errors()[0].contains(q(" - Line 3: ")));
    EXPECT_TRUE(msg(0).contains(q("KU_SB_OK"))) << msg(0).toStdString();
    const QString expected = q("TS - Import process started\r\n\r\n") +
                             q("TS - Line 2: 'abc' is not a valid integer value\r\n") +
                             q("TS - Line 3: ") + msg(0) + q("\r\n") +
                             q("TS - Line 4: Wrong date format \"soon\"\r\n") +
                             q("TS - Line 5: ") + msg(1) + q("\r\n") +
                             q("\r\nTS - Import process finished\r\n2 error(s) found\r\n\r\n");
    EXPECT_EQ(text, expected);
}

TEST_F(EngineTest, LogPlacesAndModes) {
    // a missing directory is created; a value error alone leaves "No error found"
    TTestSource e;
    configure(e);
    e.ErrorLog = true;
    e.ErrorLogFileName = dir.filePath(q("logs/deep/run.log"));
    e.Rows = {{q("3"), q("x"), q("1"), q("C1")}};
    e.Execute();
    QFile log(e.ErrorLogFileName);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    QString text = QString::fromLatin1(log.readAll());
    EXPECT_TRUE(text.endsWith(q("No error found\r\n\r\n"))) << text.toStdString();
    EXPECT_EQ(text.count(q(" - Line 1: Wrong date format \"x\"")), 1);
    log.close();

    // appending keeps the first run
    e.RewriteErrorLogFile = false;
    e.Execute();
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLatin1(log.readAll()).count(q("Import process started")), 2);
    log.close();

    // appending to a missing file fails in preparation: no rows, no after-import event
    e.ErrorLogFileName = dir.filePath(q("missing.log"));
    bool after = false;
    e.OnAfterImport = [&](TImportEngine&) { after = true; };
    EXPECT_THROW(e.Execute(), EImportError);
    EXPECT_FALSE(after);
    EXPECT_EQ(rows().size(), 2u);
}

TEST_F(EngineTest, ImportModesWithKeys) {
    struct Case {
        TImportMode mode;
        bool allowDuplicates;
        const char* expected;  // cow:sb of every KU row, by cow
        int lastAction;
    } cases[] = {
        {qimInsertAll, true, "A:1 B:2 a:9 c:9", ilaInserted},
        {qimInsertNew, true, "A:1 B:2 c:9", ilaInserted},
        {qimUpdate, true, "B:2 a:9", ilaNone},  // the key column is set too
        {qimUpdateOrInsert, true, "B:2 a:9 c:9", ilaInserted},
        {qimUpdateOrInsert, false, "B:2 a:9", ilaNone},   // c's values duplicate a row: not inserted
        {qimDelete, true, "B:2", ilaNone},
        {qimDeleteOrInsert, true, "B:2 c:9", ilaInserted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((int)c.mode);
        store->IBDatabase1.ExecSQL(store->IBTransaction1, q("delete from KU"));
        store->IBDatabase1.ExecSQL(store->IBTransaction1,
                                   q("insert into KU (FARMA, DATUM, SB, DOJNICE) values (3, '2013-01-01', 1, 'A')"));
        store->IBDatabase1.ExecSQL(store->IBTransaction1,
                                   q("insert into KU (FARMA, DATUM, SB, DOJNICE) values (3, '2013-01-01', 2, 'B')"));
        TTestSource e;
        configure(e);
        e.Map = QStringList{q("DOJNICE=1"), q("SB=2"), q("FARMA=3")};
        e.KeyColumns = QStringList{q("DOJNICE")};
        e.ImportMode = c.mode;
        e.AllowDuplicates = c.allowDuplicates;
        // "a" finds A ignoring case; "c" finds nothing but, on the duplicate
        // test, matches A's row after the update (SB 9, farm 3)
        e.Rows = {{q("a"), q("9"), q("3")}, {q("c"), q("9"), q("3")}};
        int afterPost = 0;
        e.OnAfterPost = [&](TImportEngine&, TImportRow&) { ++afterPost; };
        e.Execute();
        EXPECT_EQ(e.HandledCount, 2);
        EXPECT_EQ(afterPost, 2);
        EXPECT_EQ((int)e.LastAction, c.lastAction);
        QStringList got;
        for (const auto& r : rows()) got << r[3].toString() + q(":") + QString::number(r[2].toInt());
        EXPECT_EQ(got.join(q(" ")), q(c.expected));
    }
}

TEST_F(EngineTest, DestinationLocateMayChangeTheLookup) {
    store->IBDatabase1.ExecSQL(store->IBTransaction1,
                               q("insert into KU (FARMA, DATUM, SB, DOJNICE) values (7, '2013-01-01', 1, 'A')"));
    TTestSource e;
    configure(e);
    e.Map = QStringList{q("DOJNICE=1"), q("SB=2"), q("FARMA=3")};
    e.KeyColumns = QStringList{q("DOJNICE"), q("FARMA")};
    e.ImportMode = qimUpdate;
    e.Rows = {{q("A"), q("5"), q("8")}};
    QString seenFields;
    e.OnDestinationLocate = [&](TImportEngine&, const QStringList&, TImportRow&, QString& fields, QVariant& values) {
        seenFields = fields;
        EXPECT_EQ(values.toList().size(), 2);
        fields = q("DOJNICE");
        values = QVariant(q("a"));
    };
    e.Execute();
    EXPECT_EQ(seenFields, q("DOJNICE;FARMA"));
    auto r = rows();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0][2].toInt(), 5);
    EXPECT_EQ(r[0][0].toInt(), 8);
}

TEST_F(EngineTest, CommitRequests) {
    struct Case {
        int rows;
        int commitRecCount;
        bool afterDone;
        bool errorLog;
        std::vector<int> at;  // S when each request came
    } cases[] = {
        {2500, 1000, false, true, {1000, 2000, 2500}},
        {3000, 1000, false, true, {1000, 2000, 3000}},
        {2500, 1000, true, true, {2500}},
        {5, 0, false, true, {}},
        // with the log off, failed rows (every 4th) do not count
        // (a failed row right after a multiple asks again: S is unchanged)
        {12, 3, false, false, {3, 3, 6, 6, 9, 9}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rows);
        TTestSource e;
        configure(e);
        e.Map = QStringList{q("SB=1")};
        for (int i = 0; i < c.rows; ++i) e.Rows.push_back({!c.errorLog && i % 4 == 3 ? q("-1") : q("5")});
        e.CommitRecCount = c.commitRecCount;
        e.CommitAfterDone = c.afterDone;
        e.ErrorLog = c.errorLog;
        e.ErrorLogFileName = dir.filePath(q("commit.log"));
        std::vector<int> at;
        e.OnNeedCommit = [&](TImportEngine& en) {
            at.push_back(en.ErrorCount() + en.HandledCount);
            store->CommitRetaining();
        };
        e.Execute();
        EXPECT_EQ(at, c.at);
    }
}

TEST_F(EngineTest, EventOrderEmptyRowsAndRefusedRows) {
    TTestSource e;
    configure(e);
    e.ImportEmptyRows = false;
    e.CommitAfterDone = true;
    e.Rows = {{q("3"), q("1.1.2013"), q("1"), q("A")}, {q(""), q(""), q(""), q("")}, {q("3"), q("1.1.2013"), q("2"), q("B")}};
    QStringList trace;
    e.OnBeforeImport = [&](TImportEngine&) { trace << q("before"); };
    e.OnImportRowComplete = [&](TImportEngine& en, TImportRow&) { trace << q("complete%1").arg(en.LineNumber); };
    e.OnBeforePost = [&](TImportEngine&, TImportRow& row, bool& accept) {
        trace << q("beforepost");
        accept = row.Value(q("DOJNICE")) != q("B");
    };
    e.OnAfterPost = [&](TImportEngine&, TImportRow&) { trace << q("afterpost"); };
    e.OnImportRecord = [&](TImportEngine& en) { trace << q("record%1").arg(en.HandledCount); };
    e.OnNeedCommit = [&](TImportEngine&) { trace << q("commit"); store->CommitRetaining(); };
    e.OnAfterImport = [&](TImportEngine&) { trace << q("after"); };
    e.Execute();
    EXPECT_EQ(trace.join(q(" ")), q("before complete1 beforepost afterpost record1 complete2 record2 complete3 "
                                   "beforepost afterpost record3 commit after"));
    EXPECT_EQ(e.LineNumber, 4);
    ASSERT_EQ(rows().size(), 1u);
}

TEST_F(EngineTest, CancellationAsksBeforeTheNextRow) {
    for (bool answerContinue : {false, true}) {
        SCOPED_TRACE(answerContinue);
        store->IBDatabase1.ExecSQL(store->IBTransaction1, q("delete from KU"));
        TTestSource e;
        configure(e);
        e.CommitAfterDone = true;
        e.Map = QStringList{q("SB=1")};
        e.Rows = {{q("1")}, {q("2")}, {q("3")}};
        int asks = 0, commits = 0, after = 0;
        e.OnImportRecord = [&](TImportEngine& en) { if (en.HandledCount == 1) en.Canceled = true; };
        e.OnImportCancel = [&](TImportEngine&, bool& cont) { ++asks; cont = answerContinue; };
        e.OnNeedCommit = [&](TImportEngine&) { ++commits; };
        e.OnAfterImport = [&](TImportEngine&) { ++after; };
        e.Execute();
        EXPECT_EQ(asks, 1);
        EXPECT_EQ(after, 1);
        EXPECT_EQ(rows().size(), answerContinue ? 3u : 1u);
        EXPECT_EQ(commits, answerContinue ? 1 : 0);
        EXPECT_EQ(e.Canceled, !answerContinue);
    }
}

TEST_F(EngineTest, SkippedRowsCountInLineNumbersAndReadFailuresEndTheRun) {
    TTestSource e;
    configure(e);
    e.ErrorLog = true;
    e.SkipFirstRows = 1;
    e.Map = QStringList{q("SB=1")};
    e.Rows = {{q("header")}, {q("-3")}, {q("4")}};
    e.Execute();
    ASSERT_EQ(e.ErrorCount(), 1);
    EXPECT_TRUE(e.Errors()[0].contains(q(" - Line 2: "))) << e.Errors()[0].toStdString();

    TTestSource f;
    configure(f);
    f.Map = QStringList{q("SB=1")};
    f.Rows = {{q("1")}, {q("2")}, {q("3")}};
    f.FailingRow = 1;
    f.CommitAfterDone = true;
    int commits = 0, after = 0;
    f.OnNeedCommit = [&](TImportEngine&) { ++commits; };
    f.OnAfterImport = [&](TImportEngine&) { ++after; };
    EXPECT_THROW(f.Execute(), EImportError);
    EXPECT_EQ(commits, 1);  // EndRows still asks
    EXPECT_EQ(after, 1);
    EXPECT_EQ(rows("SB > 0").size(), 2u);  // the first run's 4 and this run's 1
}

}  // namespace

namespace {

TEST_F(EngineTest, GeneratedAndConstantColumnsNeedNoMapLine) {
    TTestSource e;
    configure(e);
    e.Map = QStringList{q("SB=1")};
    TImportFieldFormat& g = e.FieldFormats.Add(q("laktace_den"));
    g.GeneratorValue = 100;
    g.GeneratorStep = 10;
    e.FieldFormats.Add(q("DOJNICE")).ConstantValue = q("K1");
    e.FieldFormats.Add(q("NOSUCH")).ConstantValue = q("x");  // not a field: no column
    e.Rows = {{q("1")}, {q("2")}, {q("3")}};
    for (int run = 0; run < 2; ++run) e.Execute();  // generators restart every run
    TIBQuery qr(store->IBDatabase1, store->IBTransaction1);
    qr.SQL << q("select LAKTACE_DEN, DOJNICE from KU order by SB, LAKTACE_DEN");
    qr.Open();
    QStringList got;
    for (int i = 0; i < qr.RecordCount(); ++i) got << qr.Row(i)[0].toString() + qr.Row(i)[1].toString();
    EXPECT_EQ(got.join(q(" ")), q("100K1 100K1 110K1 110K1 120K1 120K1"));
}

}  // namespace
