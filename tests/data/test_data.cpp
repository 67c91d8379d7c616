// Data layer against a real embedded database in a temporary folder.
#include "data/DataStore.h"
#include "data/Schema.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>

namespace {

struct Rec {
    int farm;
    const char* date;  // yyyy-MM-dd
    QVariant sb;
    double dojivost = 20.0;
    const char* cow = "C1";
};

class DataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("test.gdb"));
        vaccoraCreateDatabase(path, false);
    }
    void insert(TDataStore& s, const std::vector<Rec>& recs)
    {
        for (const Rec& r : recs) {
            s.IBTable1.Insert();
            s.IBTable1.SetField(QStringLiteral("FARMA"), r.farm);
            s.IBTable1.SetField(QStringLiteral("DATUM"), QDateTime(QDate::fromString(QLatin1String(r.date), Qt::ISODate), QTime(0, 0)));
            s.IBTable1.SetField(QStringLiteral("SB"), r.sb);
            s.IBTable1.SetField(QStringLiteral("DOJIVOST"), r.dojivost);
            s.IBTable1.SetField(QStringLiteral("DOJNICE"), QString::fromUtf8(r.cow));
            s.IBTable1.Post();
        }
    }
    QTemporaryDir dir;
    QString path;
};

QVariant col(const TIBQuery& q, int row, const char* name) { return q.Row(row).at(size_t(q.FieldIndex(QLatin1String(name)))); }

TEST_F(DataTest, MonthlyStatisticsInDialectOne)
{
    TDataStore s(path);
    s.Open();
    // 2013-03-05: 7 records, 3 below 100, 2 above 1000; 2013-10-09: no record above 1000.
    insert(s, {{3, "2013-03-05", 50, 10}, {3, "2013-03-05", 60, 20}, {3, "2013-03-05", 99, 30},
               {3, "2013-03-05", 100}, {3, "2013-03-05", 1000}, {3, "2013-03-05", 1001, 40}, {3, "2013-03-05", 2000, 60},
               {3, "2013-10-09", 40}, {3, "2013-10-09", 41}, {3, "2013-10-09", QVariant(), 99}});
    s.RefreshAfterImport();
    const TIBQuery& q = s.IBQuery1;
    ASSERT_EQ(q.RecordCount(), 2) << "a test day without high-group records is still listed";
    EXPECT_EQ(col(q, 0, "MESIC").toString(), QStringLiteral("3-2013"));
    EXPECT_EQ(col(q, 1, "MESIC").toString(), QStringLiteral("10-2013"));
    EXPECT_EQ(col(q, 0, "POCET_KU").toInt(), 7);
    EXPECT_NEAR(col(q, 0, "PODIL150").toDouble(), 300.0 / 7.0, 1e-9);
    EXPECT_NEAR(col(q, 0, "PODIL800").toDouble(), 200.0 / 7.0, 1e-9);
    // SB means are whole numbers: (50+60+99+100+1000+1001+2000)/7 = 615.71 -> 616
    EXPECT_EQ(col(q, 0, "SB_ALL").typeId(), QMetaType::Int);
    EXPECT_EQ(col(q, 0, "SB_ALL").toInt(), 616);
    EXPECT_EQ(col(q, 0, "SB_L150").toInt(), 70);       // 209 / 3 = 69.67
    EXPECT_EQ(col(q, 0, "SB_L800").toInt(), 77);       // below 1000: (50+60+99+100) / 4 = 77.25
    EXPECT_NEAR(col(q, 0, "DOJIVOST_M800").toDouble(), 50.0, 1e-12);
    EXPECT_NEAR(col(q, 0, "DOJIVOST_L150").toDouble(), 20.0, 1e-12);
    // empty high group: count 0, NULL means; NULL SB counts only in the whole
    EXPECT_EQ(col(q, 1, "POCET_KU").toInt(), 3);
    EXPECT_EQ(col(q, 1, "POCET_800").toInt(), 0);
    EXPECT_DOUBLE_EQ(col(q, 1, "PODIL800").toDouble(), 0.0);
    EXPECT_FALSE(col(q, 1, "SB_M800").isValid());
    EXPECT_FALSE(col(q, 1, "DOJIVOST_M800").isValid());
    EXPECT_EQ(col(q, 1, "SB_ALL").toInt(), 41);  // mean of 40 and 41, NULL left out
    EXPECT_NEAR(col(q, 1, "DOJIVOST_ALL").toDouble(), (20.0 + 20.0 + 99.0) / 3, 1e-12);
    EXPECT_NEAR(col(q, 1, "PODIL150").toDouble(), 200.0 / 3.0, 1e-9);

    // IBQuery3: label, month number, SB by position, ascending SB
    ASSERT_EQ(s.IBQuery3.RecordCount(), 10);
    EXPECT_EQ(s.IBQuery3.FieldNames(), (QStringList{"MESIC", "MESIC_INT", "SB", "DOJNICE"}));
    EXPECT_EQ(s.IBQuery3.Row(1)[0].toString(), QStringLiteral("10-2013"));
    EXPECT_EQ(s.IBQuery3.Row(1)[1].toInt(), 10);
    EXPECT_EQ(s.IBQuery3.Row(1)[2].toInt(), 40);
}

TEST_F(DataTest, SummaryFollowsUpdatesAndDeletes)
{
    TDataStore s(path);
    s.Open();
    insert(s, {{5, "2014-01-02", 50, 10, "A"}, {5, "2014-01-02", 3000, 30, "B"}, {5, "2014-02-02", 70, 10, "a"}});
    // case-insensitive locate, edit moves a record between groups and days
    ASSERT_TRUE(s.IBTable1.Locate({QStringLiteral("FARMA"), QStringLiteral("DOJNICE")}, {5, QStringLiteral("b")}));
    EXPECT_EQ(s.IBTable1.Field(QStringLiteral("SB")).toInt(), 3000);
    s.IBTable1.Edit();
    s.IBTable1.SetField(QStringLiteral("SB"), 80);
    s.IBTable1.Post();
    ASSERT_TRUE(s.IBTable1.Locate({QStringLiteral("DOJNICE")}, {QStringLiteral("A")}, false));
    s.IBTable1.Delete();
    EXPECT_FALSE(s.IBTable1.Locate({QStringLiteral("DOJNICE")}, {QStringLiteral("Z")}));
    s.RetargetFarm(QStringLiteral("5"));
    const TIBQuery& q = s.IBQuery1;
    ASSERT_EQ(q.RecordCount(), 2);
    EXPECT_EQ(col(q, 0, "POCET_KU").toInt(), 1);
    EXPECT_EQ(col(q, 0, "POCET_800").toInt(), 0);
    EXPECT_EQ(col(q, 0, "SB_ALL").toInt(), 80);
    EXPECT_NEAR(col(q, 0, "DOJIVOST_L150").toDouble(), 30.0, 1e-12);
    // deleting every record of a test day removes the day
    ASSERT_TRUE(s.IBTable1.Locate({QStringLiteral("DOJNICE")}, {QStringLiteral("a")}, false));
    s.IBTable1.Delete();
    s.RetargetFarm(QStringLiteral("5"));
    EXPECT_EQ(s.IBQuery1.RecordCount(), 1);
    const std::vector<QVariant> before = s.IBQuery1.Row(0);
    s.Close();

    // the commit folded the changes into the summary; a new run reads the same figures
    TDataStore again(path);
    again.Open();
    again.RetargetFarm(QStringLiteral("5"));
    ASSERT_EQ(again.IBQuery1.RecordCount(), 1);
    EXPECT_EQ(again.IBQuery1.Row(0), before);
    TIBQuery pending(again.IBDatabase1, again.IBTransaction1);
    pending.SQL << QStringLiteral("select count(*) from KU_DELTA");
    pending.Open();
    EXPECT_EQ(pending.Value(0).toInt(), 0);
}

TEST_F(DataTest, FieldConversionErrors)
{
    TDataStore s(path);
    s.Open();
    s.IBTable1.Insert();
    EXPECT_THROW(s.IBTable1.SetField(QStringLiteral("FARMA"), 40000), EDatabaseError);
    EXPECT_THROW(s.IBTable1.SetField(QStringLiteral("SB"), QStringLiteral("abc")), EDatabaseError);
    EXPECT_THROW(s.IBTable1.SetField(QStringLiteral("NOPE"), 1), EDatabaseError);
    s.IBTable1.SetField(QStringLiteral("DOJNICE"), QStringLiteral("Žlutá kráva 123456"));
    EXPECT_EQ(s.IBTable1.Field(QStringLiteral("dojnice")).toString(), QStringLiteral("Žlutá kráva "));
    s.IBTable1.Post();
    ASSERT_TRUE(s.IBTable1.Locate({QStringLiteral("DOJNICE")}, {QStringLiteral("ŽLUTÁ KRÁVA ")}));
    EXPECT_EQ(s.IBTable1.FieldDefs().size(), 11u);
    EXPECT_EQ(s.IBTable1.FieldDefs()[0].Name, QStringLiteral("FARMA"));
    EXPECT_EQ(s.IBTable1.FieldDefs()[1].DataType, TFieldType::ftDateTime);
    EXPECT_EQ(s.IBTable1.FieldDefs()[9].Size, 12);
}

TEST_F(DataTest, FarmsAndTransactionVisibility)
{
    {
        TDataStore s(path);
        s.Open();
        insert(s, {{3, "2013-03-05", 10}, {147, "2013-03-05", 20}, {3, "2013-04-05", 30}});
        // the same transaction sees its uncommitted rows
        s.RefreshAfterImport();
        QStringList farms;
        for (int i = 0; i < s.IBQuery2.RecordCount(); ++i) farms << s.IBQuery2.Row(i)[0].toString();
        farms.sort();
        EXPECT_EQ(farms, (QStringList{"147", "3"}));
        s.RetargetFarm(QStringLiteral("147"));
        EXPECT_EQ(s.IBQuery1.SQL.last(), QStringLiteral("where farma=147 order by all_month.datum asc, farma;"));
        EXPECT_EQ(s.IBQuery3.SQL.last(), QStringLiteral("where farma=147 order by sb asc;"));
        EXPECT_EQ(s.IBQuery1.RecordCount(), 1);
        EXPECT_EQ(s.IBQuery3.RecordCount(), 1);

        // a second connection sees them only after commit
        TDataStore other(path);
        other.Open();
        EXPECT_EQ(other.IBQuery2.RecordCount(), 0);
        s.CommitRetaining();
        other.IBTransaction1.Commit();
        other.IBTransaction1.StartTransaction();
        other.RefreshAfterImport();
        EXPECT_EQ(other.IBQuery2.RecordCount(), 2);
        // the committing side keeps its datasets open
        EXPECT_TRUE(s.IBQuery1.Active());
        insert(s, {{9, "2013-05-05", 1}});
    }  // closing commits
    TDataStore again(path);
    again.Open();
    EXPECT_EQ(again.IBQuery2.RecordCount(), 3);
}

TEST_F(DataTest, RejectedStatementLeavesQueryClosed)
{
    TDataStore s(path);
    s.Open();
    EXPECT_THROW(s.RetargetFarm(QString()), EDatabaseError);
    EXPECT_FALSE(s.IBQuery1.Active());
    EXPECT_TRUE(s.IBTransaction1.InTransaction());
    s.RetargetFarm(QStringLiteral("3"));
    EXPECT_TRUE(s.IBQuery1.Active());
    EXPECT_TRUE(s.IBQuery3.Active());
}

TEST_F(DataTest, ConnectionErrorsCarryTheServerText)
{
    TDataStore s(dir.filePath(QStringLiteral("missing.gdb")));
    try {
        s.Open();
        FAIL() << "opened a missing database";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("missing.gdb"), std::string::npos) << e.what();
    }
}

#ifdef VACCORA_BINARY
TEST_F(DataTest, SecondProcessWorksOnAnOpenDatabase)
{
    if (!QFile::exists(QStringLiteral(VACCORA_BINARY))) GTEST_SKIP() << "vaccora not built";
    TDataStore s(path);
    s.Open();
    insert(s, {{21, "2013-03-05", 10}});
    s.CommitRetaining();
    QProcess p;
    // the program finds its private configuration by itself
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("FIREBIRD"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VACCORA_BINARY), {QStringLiteral("--database"), path, QStringLiteral("farms")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(p.readAllStandardOutput().trimmed(), QByteArray("21"));
}
#endif

TEST(DataServer, OpensTheSameDatabaseThroughTheServer)
{
    const QByteArray port = qgetenv("VACCORA_SERVER_PORT");
    if (port.isEmpty()) GTEST_SKIP() << "no Firebird server started (scripts/firebird-server)";
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vaccora-srv-XXXXXX"));
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                          QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
    const QString file = dir.filePath(QStringLiteral("server.gdb"));
    const QString remote = QStringLiteral("127.0.0.1/%1:%2").arg(QString::fromLatin1(port), file);
    vaccoraCreateDatabase(remote, true);
    TDataStore s(remote);
    s.Open();
    EXPECT_EQ(s.IBQuery2.RecordCount(), 3);
    EXPECT_GT(s.IBQuery1.RecordCount(), 10);
    EXPECT_EQ(s.IBQuery1.Row(0)[0].toString(), QStringLiteral("1-2013"));
    s.Close();
    // the same file, embedded
    TDataStore local(file);
    local.Open();
    EXPECT_EQ(local.IBQuery2.RecordCount(), 3);
}

}  // namespace
