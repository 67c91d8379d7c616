// XLS reader: a generated 65,000-row x 11-column workbook (xlwt). Our load +
// text of every cell, beside python3-xlrd reading the same file (only its
// reading is timed, inside the Python process), and the whole import into KU.
//
//   bench_xls [--rows=N] [google-benchmark options]
#include "data/DataStore.h"
#include "data/Schema.h"
#include "import/sources/spreadsheet/ImportXLS.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace {

int gRows = 65000;
QString gFile;
QTemporaryDir* gDir = nullptr;
double gOurs = 0, gXlrd = 0, gOursCpu = 0, gXlrdCpu = 0;
int gXlrdRuns = 0;

const QString kScript = QStringLiteral(VACCORA_BENCH_DIR "/bench_xls_workbook.py");

void BM_XlsLoadAndFetchAll(benchmark::State& state)
{
    const TxlsFormatSettings fs;
    size_t cells = 0;
    for (auto _ : state) {
        TxlsFile f(gFile);
        f.open();
        TxlsWorkSheet* s = f.worksheet(0);
        size_t chars = 0;
        for (int r = 0; r < s->rowCount(); ++r)
            for (int c = 0; c < s->colCount(); ++c)
                if (const TbiffCell* cell = s->cell(r, c)) {
                    chars += size_t(cell->text(fs).size());
                    ++cells;
                }
        benchmark::DoNotOptimize(chars);
    }
    state.counters["cells"] = double(cells) / double(state.iterations());
}

void BM_XlrdReadAll(benchmark::State& state)
{
    for (auto _ : state) {
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"), {kScript, QStringLiteral("read"), gFile});
        p.waitForFinished(-1);
        const QList<QByteArray> out = p.readAllStandardOutput().trimmed().split(' ');
        const double seconds = out.value(0).toDouble();
        if (p.exitCode() != 0 || seconds <= 0) {
            state.SkipWithError("python3-xlrd failed");
            return;
        }
        state.SetIterationTime(seconds);
        state.counters["cells"] = out.value(1).toDouble();
        gXlrdCpu += out.value(2).toDouble();
        ++gXlrdRuns;
    }
}

void BM_XlsImportIntoKU(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        const QString db = gDir->filePath(QStringLiteral("bench%1.gdb").arg(state.iterations()));
        vaccoraCreateDatabase(db, false);
        TDataStore store(db);
        store.Open();
        TImportXLS x;
        x.DataSet = &store.IBTable1;
        x.Formats = TImportFormats::ProgramDefaults();
        x.CommitAfterDone = true;
        x.SetFileName(gFile);
        const char* fields[] = {"FARMA", "DATUM", "LAKTACE", "LAKTACE_DEN", "DOJIVOST", "TUK",
                                "BILKOVINA", "SB", "MOCOVINA", "DOJNICE", "LAKTOZA"};
        for (int c = 0; c < 11; ++c)
            x.Map << QStringLiteral("%1=%2-COLFINISH").arg(QLatin1String(fields[c]), xlsColumnLetters(c + 1));
        x.SkipFirstRows = 1;
        x.ProgramDirectory = gDir->path();
        state.ResumeTiming();
        x.Execute();
        state.counters["rows"] = x.HandledCount;
        state.counters["rows/s"] = benchmark::Counter(x.HandledCount, benchmark::Counter::kIsRate);
    }
}

}  // namespace

BENCHMARK(BM_XlsLoadAndFetchAll)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_XlrdReadAll)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_XlsImportIntoKU)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

namespace {

// Collects the mean times of the two reading benchmarks for the ratio line.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_name.function_name == "BM_XlsLoadAndFetchAll") {
                gOurs = r.GetAdjustedRealTime();
                gOursCpu = r.GetAdjustedCPUTime();
            }
            if (r.run_name.function_name == "BM_XlrdReadAll")
                gXlrd = r.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rows=", 7) == 0)
            gRows = std::atoi(argv[i] + 7);
        else
            args.push_back(argv[i]);
    }
    int n = int(args.size());
    benchmark::Initialize(&n, args.data());
    QTemporaryDir dir;
    gDir = &dir;
    gFile = dir.filePath(QStringLiteral("ku.xls"));
    if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {kScript, QStringLiteral("make"), gFile, QString::number(gRows)}) != 0) {
        std::fprintf(stderr, "bench_xls: python3-xlwt could not write the workbook\n");
        return 1;
    }
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (gOurs > 0 && gXlrd > 0 && gXlrdRuns > 0) {
        const double xlrdCpu = 1000.0 * gXlrdCpu / gXlrdRuns;
        std::printf("load + fetch of all cells, wall clock: ours %.1f ms, xlrd %.1f ms, %.1fx faster (goal >= 10x)\n",
                    gOurs, gXlrd, gXlrd / gOurs);
        std::printf("load + fetch of all cells, CPU time:   ours %.1f ms, xlrd %.1f ms, %.1fx faster\n", gOursCpu,
                    xlrdCpu, xlrdCpu / gOursCpu);
    }
    benchmark::Shutdown();
    return 0;
}
