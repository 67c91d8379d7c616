// Farm report: preparation (placement, percentile series, cross-tables,
// charts) plus the PDF, for farms of 100, 1,000 and 10,000 cows x 12 months.
// Run with FIREBIRD pointing at the build tree's firebird folder.
#include "data/DataStore.h"
#include "data/Schema.h"
#include "report/FarmReport.h"
#include "report/ReportRender.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDate>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <random>

namespace {

struct TFarmDb {
    QTemporaryDir dir;
    std::unique_ptr<TDataStore> store;
};

TFarmDb& farmDb(int cows) {
    static std::map<int, std::unique_ptr<TFarmDb>> dbs;
    auto& db = dbs[cows];
    if (!db) {
        db = std::make_unique<TFarmDb>();
        const QString path = db->dir.filePath(QStringLiteral("bench.gdb"));
        vaccoraCreateDatabase(path, false);
        db->store = std::make_unique<TDataStore>(path);
        db->store->Open();
        TIBStatement st(db->store->IBTransaction1,
                        QStringLiteral("insert into KU (FARMA, DATUM, SB, DOJIVOST, TUK, BILKOVINA, LAKTOZA, DOJNICE) values (7,?,?,?,?,?,?,?)"));
        std::mt19937 rng(cows);
        std::lognormal_distribution<double> sb(5.0, 1.0);
        std::normal_distribution<double> milk(28, 6);
        for (int m = 0; m < 12; ++m) {
            const QDateTime day(QDate(2013, 1, 1).addMonths(m).addDays(9), QTime(0, 0));
            for (int c = 0; c < cows; ++c) {
                st.SetParamDateTime(0, day);
                st.SetParamInt(1, (long long)sb(rng));
                st.SetParamDouble(2, milk(rng));
                st.SetParamDouble(3, 4.0);
                st.SetParamDouble(4, 3.4);
                st.SetParamDouble(5, 4.8);
                st.SetParamText(6, QStringLiteral("CZ%1").arg(c, 9, 10, QLatin1Char('0')));
                st.Execute();
            }
        }
        db->store->RetargetFarm(QStringLiteral("7"));
    }
    return *db;
}

void BM_ReportPrepare(benchmark::State& state) {
    TFarmDb& db = farmDb((int)state.range(0));
    TFarmReport report;
    for (auto _ : state) {
        TPreparedReport r = report.Prepare(*db.store);
        report.Release();
        benchmark::DoNotOptimize(r.Pages.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 12);
}

void BM_ReportPdf(benchmark::State& state) {
    TFarmDb& db = farmDb((int)state.range(0));
    TFarmReport report;
    const QString pdf = db.dir.filePath(QStringLiteral("bench.pdf"));
    for (auto _ : state) vaccoraWriteFarmReport(report, *db.store, pdf);
    state.SetItemsProcessed(state.iterations() * state.range(0) * 12);
}

BENCHMARK(BM_ReportPrepare)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportPdf)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
