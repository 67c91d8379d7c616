// Farm report against a real embedded database: preparation, percentile
// series, cross-tables with the colour scale, pages, PDF and prepared JSON.
#include "data/DataStore.h"
#include "data/Schema.h"
#include "report/FarmReport.h"
#include "report/ReportPreview.h"
#include "report/ReportRender.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

struct Rec {
    const char* cow;
    const char* date;  // yyyy-MM-dd
    QVariant sb;
    double milk = 25.0;
};

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("report.gdb"));
        vaccoraCreateDatabase(path, false);
        store = std::make_unique<TDataStore>(path);
        store->Open();
    }
    void TearDown() override {
        report.Release();
        store.reset();
    }
    void insert(int farm, const std::vector<Rec>& recs) {
        TIBStatement st(store->IBTransaction1,
                        QStringLiteral("insert into KU (FARMA, DATUM, SB, DOJIVOST, TUK, BILKOVINA, LAKTOZA, DOJNICE) values (?,?,?,?,?,?,?,?)"));
        for (const Rec& r : recs) {
            st.SetParamInt(0, farm);
            st.SetParamDateTime(1, QDateTime(QDate::fromString(QLatin1String(r.date), Qt::ISODate), QTime(0, 0)));
            if (r.sb.isValid()) st.SetParamInt(2, r.sb.toInt());
            else st.SetParamNull(2);
            st.SetParamDouble(3, r.milk);
            st.SetParamDouble(4, 4.1);
            st.SetParamDouble(5, 3.4);
            st.SetParamDouble(6, 4.8);
            st.SetParamText(7, QString::fromLatin1(r.cow));
            st.Execute();
        }
    }
    TPreparedReport prepare(int farm) {
        store->RetargetFarm(QString::number(farm));
        return report.Prepare(*store);
    }
    static QJsonObject cross(const TPreparedReport& r, const char* name) { return r.Crosstabs.value(QLatin1String(name)).toObject(); }
    static QJsonObject cell(const QJsonObject& t, int row, int col) {
        return t.value("cells").toArray().at(row).toArray().at(col).toObject();
    }
    static QStringList strings(const QJsonValue& v) {
        QStringList out;
        for (const QJsonValue& x : v.toArray()) out << x.toString();
        return out;
    }
    static QJsonArray chartPoints(const TPreparedReport& r, const char* chart, int series) {
        return r.Charts.value(QLatin1String(chart)).toObject().value("series").toArray().at(series).toObject().value("points").toArray();
    }
    static QString pdfText(const QString& pdf) {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        p.waitForFinished(60000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    QTemporaryDir dir;
    QString path;
    std::unique_ptr<TDataStore> store;
    TFarmReport report;
};

TEST(Percentile, PositionTableInExtendedPrecision) {
    struct { long long n, p; } rows[] = {{5, 4}, {6, 5}, {10, 9}, {11, 10}, {15, 14}, {16, 14}, {20, 18},
                                         {25, 22}, {35, 32}, {45, 40}, {235, 211}};
    for (auto r : rows) EXPECT_EQ(vaccoraPercentilePosition(r.n), r.p) << "n = " << r.n;
    for (long long n = 5; n <= 15; ++n) EXPECT_EQ(vaccoraPercentilePosition(n), n - 1) << "n = " << n;
    for (long long n = 1; n <= 4; ++n) EXPECT_EQ(vaccoraPercentilePosition(n), n) << "one past the last pair";

    TMonthGroup five, sixteen, two;
    for (int v : {30, 10, 50, 20, 40}) five.Append(3, v);
    for (int v = 16; v >= 1; --v) sixteen.Append(4, v);
    two.Append(5, 70);
    two.Append(5, 20);
    for (TMonthGroup* g : {&five, &sixteen, &two}) g->Sort();
    EXPECT_EQ(vaccoraPercentileSB(five), 50);
    EXPECT_EQ(vaccoraPercentileSB(sixteen), 15);
    EXPECT_EQ(vaccoraPercentileSB(two), 70) << "small groups report their largest SB";
}

TEST(MonthIndex, InsertionOrderedExactKeys) {
    TMonthIndex idx;
    EXPECT_EQ(idx.Insert("3-2013"), 0);
    EXPECT_EQ(idx.Insert("10-2013"), 1);
    EXPECT_EQ(idx.Insert("3-2013"), 0);
    EXPECT_EQ(idx.Insert("3-2013 "), 2) << "keys compare byte for byte";
    EXPECT_EQ(idx.Count(), 3);
    EXPECT_EQ(idx.Label(1), QStringLiteral("10-2013"));
    EXPECT_EQ(idx.IndexOf("x"), -1);
}

TEST_F(ReportTest, PlacementOfMonthlyTablesAndLabels) {
    report.PlaceTables();
    EXPECT_NEAR(report.frxReport1.Object("DBCross2").Left, 158.6141, 1e-9);
    EXPECT_NEAR(report.frxReport1.Object("Memo12").Left, 45.2282, 1e-9);
    EXPECT_NEAR(report.frxReport1.Object("DBCross4").Left, 161.6141, 1e-9);
    EXPECT_NEAR(report.frxReport1.Object("Memo13").Left, 48.2282, 1e-9);
    EXPECT_EQ(report.frxReport1.Object("DBCross3").Left, 0);
}

// Matrix cells and totals on the colour scale, N/A cells, first-occurrence
// month order and the red highlight of cow totals above 800.
TEST_F(ReportTest, MatrixColourScaleAndMonthOrder) {
    insert(3, {{"A50", "2013-03-05", 50}, {"A50", "2013-04-05", 49},
               {"B1000", "2013-03-05", 1000}, {"B1000", "2013-04-05", 1000},
               {"C800", "2013-03-05", 800}, {"C800", "2013-04-05", 800},
               {"D8005", "2013-03-05", 800}, {"D8005", "2013-04-05", 801},
               {"E", "2013-03-05", 99}, {"F", "2013-04-05", 100}, {"G", "2013-03-05", 399}});
    store->RefreshAfterImport();
    const TPreparedReport r = prepare(3);
    const QJsonObject m = cross(r, "DBCross3");
    // SB 49 (April) is the lowest value of the farm: April comes first
    EXPECT_EQ(strings(m.value("columns")), (QStringList{"4-2013", "3-2013"}));
    EXPECT_EQ(strings(m.value("rows")), (QStringList{"A50", "B1000", "C800", "D8005", "E", "F", "G"}));
    struct { int row, col; const char* text; const char* bg; } cells[] = {
        {0, 1, "50", "#2A3CC5"}, {0, 0, "49", "#0B47E5"}, {1, 0, "1000", "#E50008"}, {2, 1, "800", "#C50A27"},
        {4, 1, "99", "#2A3CC5"}, {4, 0, "N/A", "#B8B7B7"}, {5, 0, "100", "#4932A5"}, {6, 1, "399", "#871E66"}};
    for (auto c : cells) {
        EXPECT_EQ(cell(m, c.row, c.col).value("text").toString(), QLatin1String(c.text)) << c.row << "," << c.col;
        EXPECT_EQ(cell(m, c.row, c.col).value("background").toString(), QLatin1String(c.bg)) << c.row << "," << c.col;
    }
    const QJsonArray totals = m.value("row_totals").toArray();
    EXPECT_EQ(totals.at(2).toObject().value("text").toString(), QStringLiteral("800.00"));
    EXPECT_EQ(totals.at(2).toObject().value("background").toString(), QStringLiteral("#C50A27")) << "exactly 800 is not highlighted";
    EXPECT_EQ(totals.at(3).toObject().value("text").toString(), QStringLiteral("800.50"));
    EXPECT_EQ(totals.at(3).toObject().value("background").toString(), QStringLiteral("#FF0000"));
    EXPECT_EQ(totals.at(0).toObject().value("text").toString(), QStringLiteral("49.50"));
    EXPECT_EQ(totals.at(0).toObject().value("background").toString(), QStringLiteral("#0B47E5"));
    // month means (total row) and the grand mean print in plain form
    const QJsonArray monthTotals = m.value("column_totals").toArray();
    EXPECT_EQ(monthTotals.at(0).toObject().value("text").toString(), QStringLiteral("550"));  // (49+1000+800+801+100)/5
    EXPECT_EQ(m.value("grand_total").toObject().value("text").toString(), QStringLiteral("536.18")) << "5898 / 11, two decimals at most";
    // the series follows the same first-occurrence order
    const QJsonArray bars = chartPoints(r, "Chart2", 1);
    ASSERT_EQ(bars.size(), 2);
    EXPECT_EQ(bars.at(0).toObject().value("label").toString(), QStringLiteral("4-2013"));
    EXPECT_EQ(bars.at(0).toObject().value("x").toDouble(), 4);
    EXPECT_EQ(bars.at(1).toObject().value("label").toString(), QStringLiteral("3-2013"));
}

// Two test days in one month: one column with sums in the monthly tables,
// the month twice in the period list. Same calendar month of two years
// shares one X position in chart 2. NULL SB counts as 0 in the series and
// is left out of the matrix means.
TEST_F(ReportTest, MonthlyTablesSeriesAndNulls) {
    std::vector<Rec> recs;
    for (int i = 0; i < 4; ++i) recs.push_back({"K1", "2013-03-05", 100 + i * 100, 20.0 + i});
    for (int i = 0; i < 3; ++i) recs.push_back({"K2", "2013-03-20", 50 + i, 30.0});
    recs.push_back({"K3", "2014-03-04", QVariant()});
    for (int v : {10, 20, 30, 40}) recs.push_back({"K4", "2014-03-04", v});
    insert(3, recs);
    store->RefreshAfterImport();
    const TPreparedReport r = prepare(3);

    const QJsonObject periods = cross(r, "DBCross1");
    EXPECT_EQ(cell(periods, 0, 0).value("text").toString(), QStringLiteral("3-2013\n3-2013\n3-2014"));

    const QJsonObject sb = cross(r, "DBCross2");
    EXPECT_EQ(strings(sb.value("columns")), (QStringList{"3-2013", "3-2014"}));
    EXPECT_EQ(strings(sb.value("rows")), (QStringList{"POCET_KU", "PODIL150", "PODIL800", "SB_ALL", "SB_L150", "SB_L800", "SB_M800"}));
    EXPECT_EQ(cell(sb, 0, 0).value("text").toString(), QStringLiteral("7")) << "4 + 3 records";
    EXPECT_EQ(cell(sb, 1, 0).value("text").toString(), QStringLiteral("100.00")) << "0 % + 100 % below 100";
    EXPECT_EQ(cell(sb, 6, 0).value("text").toString(), QString()) << "no record above 1000: empty";
    EXPECT_EQ(cell(sb, 0, 1).value("text").toString(), QStringLiteral("5"));
    const QJsonObject milk = cross(r, "DBCross4");
    EXPECT_EQ(cell(milk, 0, 0).value("text").toString(), QStringLiteral(" 7")) << "printf width 2";
    EXPECT_EQ(cell(milk, 3, 0).value("text").toString(), QStringLiteral("51.50")) << "21.5 + 30 mean yields summed";
    EXPECT_EQ(cell(milk, 0, 0).value("background").toString(), QStringLiteral("#BAD3FE"));

    // series: 3-2013 (7 values: largest), 3-2014 (NULL read as 0; 5 values: largest)
    const QJsonArray bars = chartPoints(r, "Chart2", 1);
    ASSERT_EQ(bars.size(), 2);
    EXPECT_EQ(bars.at(0).toObject().value("label").toString(), QStringLiteral("3-2014")) << "NULL sorts first";
    EXPECT_EQ(bars.at(0).toObject().value("value").toDouble(), 40);
    EXPECT_EQ(bars.at(1).toObject().value("value").toDouble(), 400);
    EXPECT_EQ(bars.at(0).toObject().value("x").toDouble(), 3);
    EXPECT_EQ(bars.at(1).toObject().value("x").toDouble(), 3);
    const QJsonArray points = chartPoints(r, "Chart2", 0);
    ASSERT_EQ(points.size(), 12);
    EXPECT_EQ(points.at(0).toObject().value("value").toDouble(), 0) << "NULL plotted as 0";
    EXPECT_EQ(points.at(0).toObject().value("x").toDouble(), 3);

    // a cow whose only SB is NULL has no record in the matrix
    const QJsonObject m = cross(r, "DBCross3");
    const int k3 = (int)strings(m.value("rows")).indexOf("K3");
    const int mar14 = (int)strings(m.value("columns")).indexOf("3-2014");
    EXPECT_EQ(cell(m, k3, mar14).value("text").toString(), QStringLiteral("N/A"));
    EXPECT_EQ(m.value("row_totals").toArray().at(k3).toObject().value("text").toString(), QStringLiteral("N/A"));

    // a second run starts from empty containers and gives the same series
    report.Release();
    const TPreparedReport again = prepare(3);
    EXPECT_EQ(chartPoints(again, "Chart2", 1), bars);
    EXPECT_EQ(report.MonthGroups.size(), 2u);
    // chart 1 in record order with one point per test day
    EXPECT_EQ(chartPoints(r, "Chart1", 0).size(), 3);
}

TEST_F(ReportTest, PagesNumbersAndBandlessObjects) {
    insert(3, {{"A", "2013-03-05", 120}, {"B", "2013-04-05", 1200}});
    insert(12, {{"Z", "2013-03-05", 80}});
    store->RefreshAfterImport();
    const TPreparedReport r = prepare(3);
    ASSERT_EQ(r.Pages.size(), 4);
    EXPECT_EQ(r.FindObject(0, "Memo2")->Text, QStringLiteral("Farma: 3"));
    EXPECT_EQ(r.FindObject(0, "Date")->Text, QDate::currentDate().toString(QStringLiteral("dd. MM. yyyy")));
    EXPECT_EQ(r.FindObject(0, "Page")->Text, QStringLiteral("1"));
    EXPECT_EQ(r.FindObject(0, "TotalPages1")->Text, QStringLiteral("/ 4"));
    EXPECT_EQ(r.FindObject(3, "Memo32")->Text, QStringLiteral("4"));
    EXPECT_EQ(r.FindObject(3, "Memo33")->Text, QStringLiteral("/ 4"));
    const TPrintedObject* label = r.FindObject(1, "Memo6");
    ASSERT_TRUE(label);
    EXPECT_NEAR(label->Rect.left(), 45.2282, 1e-6);
    EXPECT_NEAR(label->Rect.top(), 328.81911 + 84.37013, 1e-6) << "child band follows the page header";
    const TPrintedObject* rich = r.FindObject(3, "Rich1");
    ASSERT_TRUE(rich);
    EXPECT_NEAR(rich->Rect.top(), 37.7953 + 831.4966, 1e-6);
    EXPECT_EQ(r.Pages[3].TemplatePage, QStringLiteral("Page4"));

    // farm without records: the report is still shown, "Farma: " empty, no bars
    const TPreparedReport empty = prepare(99);
    ASSERT_EQ(empty.Pages.size(), 4);
    EXPECT_EQ(empty.FindObject(0, "Memo2")->Text, QStringLiteral("Farma: "));
    EXPECT_TRUE(chartPoints(empty, "Chart2", 1).isEmpty());
    EXPECT_TRUE(report.MonthGroups.empty());
}

// 400 cows: the matrix continues on following output pages with repeated
// headers; the footer band prints on each, band-less objects only once.
TEST_F(ReportTest, MatrixContinuesOverPages) {
    std::vector<Rec> recs;
    static std::vector<QByteArray> ids;
    ids.clear();
    for (int c = 0; c < 400; ++c) ids.push_back(QStringLiteral("CZ%1").arg(c, 6, 10, QLatin1Char('0')).toLatin1());
    for (int c = 0; c < 400; ++c)
        for (int m = 1; m <= 2; ++m) recs.push_back({ids[c].constData(), m == 1 ? "2013-01-10" : "2013-02-10", (c * 37 + m * 11) % 1500});
    insert(3, recs);
    store->RefreshAfterImport();
    const TPreparedReport r = prepare(3);
    ASSERT_GT(r.Pages.size(), 5);
    const int total = (int)r.Pages.size();
    QStringList cows;
    int page4Pages = 0;
    for (int i = 3; i < total; ++i) {
        ++page4Pages;
        EXPECT_EQ(r.Pages[i].TemplatePage, QStringLiteral("Page4"));
        const TPrintedObject* m = r.FindObject(i, "DBCross3");
        ASSERT_TRUE(m) << "page " << i + 1;
        bool header = false;
        for (const TPrintedBox& b : m->Boxes) {
            if (b.Text == QLatin1String("DOJNICE")) header = true;
            if (b.Text.startsWith(QLatin1String("CZ"))) cows << b.Text;
            EXPECT_LE(b.Rect.bottom(), 1046.93 - 22.67718 + 0.01) << "above the page footer";
            if (i == 3) {
                EXPECT_LE(b.Rect.bottom(), 37.7953 + 831.4966 + 0.01) << "above the footer text";
            }
        }
        EXPECT_TRUE(header) << "headers repeated on page " << i + 1;
        EXPECT_EQ(r.FindObject(i, "Memo32")->Text, QString::number(i + 1));
        EXPECT_EQ(r.FindObject(i, "Memo33")->Text, QStringLiteral("/ %1").arg(total));
        EXPECT_EQ(r.FindObject(i, "Rich1") != nullptr, i == 3);
    }
    EXPECT_EQ(cows.size(), 400);
    EXPECT_TRUE(std::is_sorted(cows.begin(), cows.end()));
    bool grand = false;
    for (const TPrintedBox& b : r.FindObject(total - 1, "DBCross3")->Boxes) grand |= b.Text == QLatin1String("Grand Total");
    EXPECT_TRUE(grand) << "the total row closes the table on its last page";
    EXPECT_EQ(r.FindObject(1, "Memo28")->Text, QStringLiteral("2"));
    EXPECT_EQ(r.FindObject(1, "Memo29")->Text, QStringLiteral("/ %1").arg(total));
}

TEST_F(ReportTest, PdfAndPreparedJsonThroughTheSharedPreparation) {
    insert(3, {{"A", "2013-03-05", 120, 22}, {"B", "2013-03-05", 1200, 18}, {"A", "2013-04-05", 90, 24}, {"B", "2013-04-05", 700, 19}, {"C", "2013-04-05", 40, 30}});
    store->RefreshAfterImport();
    store->RetargetFarm(QStringLiteral("3"));
    const QString pdf = dir.filePath("farm-3.pdf"), json = dir.filePath("farm-3.json");
    vaccoraWriteFarmReport(report, *store, pdf);
    EXPECT_FALSE(report.MonthIndex) << "containers released after the output";
    vaccoraWriteFarmReport(report, *store, json);
    const QString text = pdfText(pdf);
    for (const char* s : {"Farma: 3", "Období", "3-2013", "Vývoj počtu SB", "Rozptyl SB", "Vývoj dojivosti", "Vývoj laktózy",
                          "Počet dojnic v KU", "Průměr SB > 1000", "SB (tis./ml)", "Procento dojnic - SB <100", "kg mléka",
                          "Dojivost - průměr dojnice SB<150", "DOJNICE", "Grand Total", "N/A", "<50 tis.", ">=1000 tis.",
                          "Korvane Reporting Module", "QUARN project"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(s))) << s;
    EXPECT_TRUE(text.contains(QRegularExpression("1 +/ *4"))) << "page numbers";
    QProcess fonts;
    fonts.start("pdffonts", {pdf});
    fonts.waitForFinished(30000);
    const QString f = QString::fromUtf8(fonts.readAllStandardOutput());
    EXPECT_TRUE(f.contains("LiberationSans")) << f.toStdString();
    EXPECT_TRUE(f.contains("LiberationSansNarrow")) << f.toStdString();

    // the saved prepared report opens again with the same content
    const TPreparedReport opened = TPreparedReport::open(json);
    const QJsonObject again = opened.toJson();
    EXPECT_EQ(again.value("pages").toArray().size(), 4);
    EXPECT_EQ(again.value("crosstabs").toObject().value("DBCross3").toObject().value("rows").toArray().size(), 3);
    QString copy = dir.filePath("copy.json");
    opened.save(copy);
    QFile a(json), b(copy);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(a.readAll()), QJsonDocument::fromJson(b.readAll()));
    const QString pdf2 = dir.filePath("opened.pdf");
    vaccoraWritePdf(opened, pdf2);
    EXPECT_EQ(pdfText(pdf2), text) << "a saved report prints identically";

    // preview at 100 %, navigation
    TReportPreview preview(opened);
    EXPECT_DOUBLE_EQ(preview.ZoomFactor(), 1.0);
    preview.GoToPage(3);
    EXPECT_EQ(preview.CurrentPage(), 3);

    if (qEnvironmentVariableIsSet("VACCORA_REPORT_KEEP")) {
        const QString keep = qEnvironmentVariable("VACCORA_REPORT_KEEP");
        QFile::remove(keep);
        QFile::copy(pdf, keep);
    }
}

TEST_F(ReportTest, ErrorsEndThePreparation) {
    insert(3, {{"A", "2013-03-05", 120}});
    store->RefreshAfterImport();
    // an error while preparing: the engine's message
    TFarmReport broken(report.frxReport1);
    broken.frxReport1.Object("Memo2").Text = QStringLiteral("Farma: [frxDBDataset1.\"NO_SUCH\"]");
    try {
        broken.Prepare(*store);
        FAIL() << "no error";
    } catch (const EReportPrepareError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith("The following error(s) have occured:\n"));
        EXPECT_TRUE(e.ErrorText.contains("NO_SUCH"));
    }
    broken.Release();
    EXPECT_FALSE(broken.MonthIndex);
    // a closed per-record query: the dataset's error, nothing left behind
    store->IBQuery3.Close();
    EXPECT_THROW(report.Prepare(*store), EDatabaseError);
    EXPECT_FALSE(report.MonthIndex);
    EXPECT_TRUE(report.MonthGroups.empty());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
