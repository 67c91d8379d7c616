// CSV import into KU: a generated file of 500,000 test-day records imported
// through the engine, beside a baseline that inserts the same records through
// one prepared INSERT (the database's own limit), and the text source's
// read + split + convert alone.
//
//   bench_csv_import [--records=N] [google-benchmark options]
#include "data/DataStore.h"
#include "data/Schema.h"
#include "import/sources/text/ImportASCII.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <cstring>
#include <string>
#include <vector>

namespace {

int gRecords = 500000;
QTemporaryDir* gDir = nullptr;
QString gCsv;
double gBaselineRate = 0, gImportRate = 0, gBaselineCpuRate = 0, gImportCpuRate = 0;

// Wall-clock and process CPU time (every thread, the embedded server's too).
struct TStopwatch {
    timespec wall0{}, cpu0{};
    static double diff(const timespec& a, const timespec& b) { return double(b.tv_sec - a.tv_sec) + double(b.tv_nsec - a.tv_nsec) * 1e-9; }
    void start() { clock_gettime(CLOCK_MONOTONIC, &wall0); clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0); }
    void stop(double& wall, double& cpu) const
    {
        timespec w, c;
        clock_gettime(CLOCK_MONOTONIC, &w);
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c);
        wall += diff(wall0, w);
        cpu += diff(cpu0, c);
    }
};

void rateCounters(benchmark::State& state, double wall, double cpu, double& wallRate, double& cpuRate)
{
    const double rows = double(gRecords) * double(state.iterations());
    wallRate = rows / wall;
    cpuRate = rows / cpu;
    state.counters["rows/s"] = wallRate;
    state.counters["rows/cpu-s"] = cpuRate;
}

struct Rec {
    int farm, lact, lactDay, sb;
    int y, m, d;
    double milk, fat, protein, urea, lactose;
    char cow[16];
};
std::vector<Rec> gRecs;

const QStringList kMap{
    "FARMA=1", "DATUM=2", "LAKTACE=3", "LAKTACE_DEN=4", "DOJIVOST=5", "TUK=6",
    "BILKOVINA=7", "SB=8", "MOCOVINA=9", "DOJNICE=10", "LAKTOZA=11"};

void generate()
{
    unsigned state = 20131;
    auto rnd = [&](unsigned n) { state = state * 1103515245u + 12345u; return (state >> 8) % n; };
    gRecs.resize(size_t(gRecords));
    FILE* f = std::fopen(QFile::encodeName(gCsv).constData(), "wb");
    std::fputs("FARMA,DATUM,LAKTACE,LAKTACE_DEN,DOJIVOST,TUK,BILKOVINA,SB,MOCOVINA,DOJNICE,LAKTOZA\r\n", f);
    for (int i = 0; i < gRecords; ++i) {
        Rec& r = gRecs[size_t(i)];
        r.farm = 1 + int(rnd(9));
        r.y = 2010 + int(rnd(5));
        r.m = 1 + int(rnd(12));
        r.d = 1 + int(rnd(28));
        r.lact = 1 + int(rnd(8));
        r.lactDay = 5 + int(rnd(400));
        r.milk = int(rnd(4500)) / 100.0 + 5;
        r.fat = int(rnd(300)) / 100.0 + 2.5;
        r.protein = int(rnd(200)) / 100.0 + 2.6;
        r.sb = 10 + int(rnd(3000));
        r.urea = int(rnd(400)) / 10.0 + 10;
        r.lactose = int(rnd(150)) / 100.0 + 4;
        std::snprintf(r.cow, sizeof r.cow, "CZ%09d", 100000 + int(rnd(900000)));
        std::fprintf(f, "%d,%d.%d.%d,%d,%d,%.2f,%.2f,%.2f,%d,%.1f,\"%s\",%.2f\r\n", r.farm, r.d, r.m, r.y, r.lact,
                     r.lactDay, r.milk, r.fat, r.protein, r.sb, r.urea, r.cow, r.lactose);
    }
    std::fclose(f);
}

QString freshDatabase(const char* name)
{
    const QString path = gDir->filePath(QLatin1String(name));
    QFile::remove(path);
    vaccoraCreateDatabase(path, false);
    return path;
}

void BM_BaselinePreparedInsert(benchmark::State& state)
{
    TStopwatch watch;
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TIBDatabase db;
        db.DatabaseName = freshDatabase("baseline.gdb");
        db.Open();
        TIBTransaction tr(db);
        tr.StartTransaction();
        TIBStatement ins(tr, QStringLiteral(
            "insert into KU (FARMA, DATUM, LAKTACE, LAKTACE_DEN, DOJIVOST, TUK, BILKOVINA, SB, MOCOVINA, DOJNICE, LAKTOZA) "
            "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        state.ResumeTiming();
        watch.start();
        for (const Rec& r : gRecs) {
            ins.SetParamInt(0, r.farm);
            ins.SetParamDateTime(1, QDateTime(QDate(r.y, r.m, r.d), QTime(0, 0)));
            ins.SetParamInt(2, r.lact);
            ins.SetParamInt(3, r.lactDay);
            ins.SetParamDouble(4, r.milk);
            ins.SetParamDouble(5, r.fat);
            ins.SetParamDouble(6, r.protein);
            ins.SetParamInt(7, r.sb);
            ins.SetParamDouble(8, r.urea);
            ins.SetParamText(9, QString::fromLatin1(r.cow));
            ins.SetParamDouble(10, r.lactose);
            ins.Execute();
        }
        tr.CommitRetaining();
        watch.stop(wall, cpu);
        state.PauseTiming();
        tr.Commit();
        db.Close();
        state.ResumeTiming();
    }
    rateCounters(state, wall, cpu, gBaselineRate, gBaselineCpuRate);
}

void BM_EngineImport(benchmark::State& state)
{
    long long handled = 0, errors = 0;
    TStopwatch watch;
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<TDataStore>(freshDatabase("import.gdb"));
        store->Open();
        TImportASCII source;
        source.DataSet = &store->IBTable1;
        source.Formats = TImportFormats::ProgramDefaults();
        source.SetFileName(gCsv);
        source.Comma = ',';
        source.Quote = '"';
        source.Encoding = ctLatin1;
        source.SkipFirstRows = 1;
        source.Map = kMap;
        source.CommitAfterDone = true;
        source.OnNeedCommit = [&](TImportEngine&) { store->CommitRetaining(); };
        state.ResumeTiming();
        watch.start();
        source.Execute();
        watch.stop(wall, cpu);
        state.PauseTiming();
        handled = source.HandledCount;
        errors = source.ErrorCount() + source.ValueErrorCount();
        store.reset();
        state.ResumeTiming();
    }
    if (handled != gRecords || errors != 0)
        state.SkipWithError(("handled " + std::to_string(handled) + ", errors " + std::to_string(errors)).c_str());
    rateCounters(state, wall, cpu, gImportRate, gImportCpuRate);
}

// The source's reading path without the destination: read the file, decode,
// assemble and split the records, and convert every field for its KU type.
void BM_ReadSplitConvert(benchmark::State& state)
{
    const TFieldType types[11] = {TFieldType::ftSmallint, TFieldType::ftDateTime, TFieldType::ftSmallint,
                                  TFieldType::ftInteger,  TFieldType::ftFloat,    TFieldType::ftFloat,
                                  TFieldType::ftFloat,    TFieldType::ftInteger,  TFieldType::ftFloat,
                                  TFieldType::ftString,   TFieldType::ftFloat};
    TImportASCII engine;  // for its conversion operations
    engine.Formats = TImportFormats::ProgramDefaults();
    const qint64 bytes = QFileInfo(gCsv).size();
    long long converted = 0;
    for (auto _ : state) {
        TTextLineReader reader;
        reader.SetCodePage(1252);
        reader.Open(gCsv);
        TTextRecordReader records(reader, ',', '"');
        TTextFields fields;
        QString record, value;
        records.ReadRecord(record);  // header
        while (records.ReadRecord(record)) {
            vaccoraSplitTextRecord(record, ',', '"', fields);
            for (int i = 0; i < 11 && i < fields.Count(); ++i) {
                const QStringView f = fields.Field(i);
                value.resize(f.size());
                std::memcpy(value.data(), f.data(), size_t(f.size()) * 2);
                const QVariant v = engine.ConvertText(value, types[i]);
                converted += v.isValid();
            }
        }
    }
    benchmark::DoNotOptimize(converted);
    state.SetBytesProcessed(bytes * state.iterations());
}

// Read and split alone (decoding included), without value conversion.
void BM_ReadSplit(benchmark::State& state)
{
    const qint64 bytes = QFileInfo(gCsv).size();
    long long n = 0;
    for (auto _ : state) {
        TTextLineReader reader;
        reader.SetCodePage(1252);
        reader.Open(gCsv);
        TTextRecordReader records(reader, ',', '"');
        TTextFields fields;
        QString record;
        while (records.ReadRecord(record)) {
            vaccoraSplitTextRecord(record, ',', '"', fields);
            n += fields.Count();
        }
    }
    benchmark::DoNotOptimize(n);
    state.SetBytesProcessed(bytes * state.iterations());
}

}  // namespace

BENCHMARK(BM_ReadSplit)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ReadSplitConvert)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_BaselinePreparedInsert)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_EngineImport)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--records=", 10) == 0)
            gRecords = std::atoi(argv[i] + 10);
        else
            args.push_back(argv[i]);
    }
    int n = int(args.size());
    benchmark::Initialize(&n, args.data());
    QTemporaryDir dir;
    gDir = &dir;
    gCsv = dir.filePath(QStringLiteral("ku.csv"));
    generate();
    benchmark::RunSpecifiedBenchmarks();
    if (gBaselineRate > 0 && gImportRate > 0)
        std::printf("import / baseline rows/s: %.1f %% wall clock, %.1f %% CPU time (goal >= 70 %%)\n",
                    100.0 * gImportRate / gBaselineRate, 100.0 * gImportCpuRate / gBaselineCpuRate);
    benchmark::Shutdown();
    return 0;
}
