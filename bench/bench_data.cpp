// Data store yardsticks: the monthly statistics query on a national-size KU,
// and the bare prepared-INSERT rate into KU (index and summary triggers),
// embedded and through a loopback server.
//
//   bench_data [--benchmark_filter=...]
// VACCORA_BENCH_DIR: folder for the generated databases (default /tmp/vaccora-bench);
// VACCORA_SERVER_PORT: port of scripts/firebird-server for the server variant.
#include "data/DataStore.h"
#include "data/Schema.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>

#include <random>

namespace {

QString benchDir()
{
    QString d = qEnvironmentVariable("VACCORA_BENCH_DIR", QStringLiteral("/tmp/vaccora-bench"));
    QDir().mkpath(d);
    QFile::setPermissions(d, QFileDevice::Permissions(0x7777));
    return d;
}

const char* kInsert =
    "insert into KU (FARMA, DATUM, LAKTACE, LAKTACE_DEN, DOJIVOST, TUK, BILKOVINA, SB, MOCOVINA, DOJNICE, LAKTOZA) "
    "values (?,?,?,?,?,?,?,?,?,?,?)";

struct Generator {
    std::mt19937 rng{7};
    std::uniform_int_distribution<int> sb{5, 3000};
    long n = 0;
    void bind(TIBStatement& s, int farms)
    {
        const int farm = 1 + int(n % farms);
        const int day = int((n / farms) % 420);  // 14 months of test days
        s.SetParamInt(0, farm);
        s.SetParamDateTime(1, QDateTime(QDate(2013, 1, 1).addDays(day / 30 * 30 + farm % 28), QTime(0, 0)));
        s.SetParamInt(2, 1 + int(n % 5));
        s.SetParamInt(3, 5 + int(n % 300));
        s.SetParamDouble(4, 20.0 + double(n % 150) / 10.0);
        s.SetParamDouble(5, 3.5 + double(n % 100) / 100.0);
        s.SetParamDouble(6, 3.2 + double(n % 50) / 100.0);
        s.SetParamInt(7, sb(rng));
        s.SetParamDouble(8, 25.0);
        s.SetParamText(9, QStringLiteral("CZ%1").arg(n % 400000, 9, 10, QLatin1Char('0')));
        s.SetParamDouble(10, 4.8);
        ++n;
    }
};

// 2,000,000 records of 500 farms, made once and kept in the bench folder.
QString bigDatabase()
{
    const QString path = benchDir() + QStringLiteral("/ku-2m.gdb");
    if (QFile::exists(path)) return path;
    const QString tmp = path + QStringLiteral(".part");
    QFile::remove(tmp);
    vaccoraCreateDatabase(tmp, false);
    {
        TIBDatabase db;
        db.DatabaseName = tmp;
        db.Open();
        TIBTransaction tr(db);
        tr.StartTransaction();
        TIBStatement ins(tr, QString::fromLatin1(kInsert));
        Generator g;
        for (long i = 0; i < 2000000; ++i) {
            g.bind(ins, 500);
            ins.Execute();
            if (i % 100000 == 99999) tr.CommitRetaining();
        }
        tr.Commit();
        db.Close();
    }
    QFile::rename(tmp, path);
    return path;
}

void BM_Query1_2M(benchmark::State& state)
{
    TDataStore store(bigDatabase());
    store.Open();
    int farm = 1;
    for (auto _ : state) {
        store.IBQuery1.Close();
        store.IBQuery1.SQL.last() = vaccoraQuery1LastLine(QString::number(farm));
        store.IBQuery1.Open();
        benchmark::DoNotOptimize(store.IBQuery1.RecordCount());
        if (store.IBQuery1.RecordCount() == 0) state.SkipWithError("no monthly rows");
        farm = farm % 500 + 1;
    }
    state.counters["rows"] = store.IBQuery1.RecordCount();
}
BENCHMARK(BM_Query1_2M)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void insertRate(benchmark::State& state, const QString& name, bool triggers)
{
    QFile::remove(name.section(QLatin1Char(':'), -1));  // server names: host/port:path
    vaccoraCreateDatabase(name, false);
    TIBDatabase db;
    db.DatabaseName = name;
    db.Open();
    TIBTransaction tr(db);
    tr.StartTransaction();
    if (!triggers) {
        for (const char* t : {"KU_SUM_AI", "KU_SUM_AU", "KU_SUM_AD"})
            db.ExecSQL(tr, QStringLiteral("alter trigger %1 inactive").arg(QLatin1String(t)));
        tr.CommitRetaining();
    }
    TIBStatement ins(tr, QString::fromLatin1(kInsert));
    Generator g;
    for (auto _ : state) {
        g.bind(ins, 50);
        ins.Execute();
    }
    tr.Commit();
    db.Close();
    state.SetItemsProcessed(state.iterations());
}

void BM_Insert_Embedded(benchmark::State& state)
{
    insertRate(state, benchDir() + QStringLiteral("/insert.gdb"), true);
}
void BM_Insert_Embedded_NoTriggers(benchmark::State& state)
{
    insertRate(state, benchDir() + QStringLiteral("/insert-nt.gdb"), false);
}
void BM_Insert_Server(benchmark::State& state)
{
    const QString port = qEnvironmentVariable("VACCORA_SERVER_PORT");
    if (port.isEmpty()) {
        state.SkipWithError("VACCORA_SERVER_PORT not set (scripts/firebird-server start)");
        for (auto _ : state) {}
        return;
    }
    insertRate(state, QStringLiteral("127.0.0.1/%1:%2/insert-srv.gdb").arg(port, benchDir()), true);
}
BENCHMARK(BM_Insert_Embedded)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_Insert_Embedded_NoTriggers)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_Insert_Server)->MinTime(3.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
