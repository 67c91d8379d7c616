// vaccora import: runs an import from a template file exactly as the wizard's
// Execute does: the wizard component's settings of the program, then the
// template, then the engine of the template's source kind, into table KU.
#include "cli/Commands.h"

#include "data/DataStore.h"
#include "import/engine/ImportSetup.h"
#include "import/engine/SourceRegistry.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

const char* kImportUsage =
    "Usage: vaccora [--database NAME] import --template FILE.imp [--no-progress]\n"
    "\n"
    "Imports into table KU with the setup kept in an import template (the wizard's\n"
    "\"Save template to file...\"). A relative source file name in the template is\n"
    "taken from the current directory. Rows are committed when the import ends.\n"
    "  --template FILE   the template (.imp)\n"
    "  --no-progress     no progress bar, even on a terminal\n"
    "Ctrl-C cancels after the current row; rows written so far are kept.\n"
    "\n"
    "Exit codes: 0 the import ran (failed rows included), 1 it could not run,\n"
    "2 wrong usage.\n";

volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int) { g_interrupted = 1; }

int usageError(const char* fmt, const QString& arg = QString()) {
    std::fprintf(stderr, "vaccora import: ");
    std::fprintf(stderr, fmt, arg.toLocal8Bit().constData());
    std::fprintf(stderr, "\n\n%s", kImportUsage);
    return 2;
}

struct TCounters {
    long long inserted = 0, updated = 0, deleted = 0, skipped = 0, failed = 0, valueErrors = 0;
    long long processed() const { return inserted + updated + deleted + skipped + failed; }
};

class TProgress {
public:
    explicit TProgress(bool enabled) : m_enabled(enabled) { m_clock.start(); }
    void update(const TImportEngine& e, const TCounters& c, bool force = false) {
        if (!m_enabled) return;
        qint64 ms = m_clock.elapsed();
        if (!force) m_lastRow = ms;
        else ms = m_lastRow;  // the rate of the rows, not of the closing commit
        if (!force && ms - m_last < 100) return;
        m_last = ms;
        const double rate = ms > 0 ? c.processed() * 1000.0 / ms : 0;
        char bar[32] = "";
        if (e.TotalCount > 0) {
            const int width = 24;
            int filled = (int)std::min<long long>(width, c.processed() * width / e.TotalCount);
            for (int i = 0; i < width; ++i) bar[i] = i < filled ? '#' : '-';
            bar[width] = 0;
            std::fprintf(stderr, "\r[%s] %lld of %d rows  %.0f rows/s  %lld errors ", bar, c.processed(),
                         e.TotalCount, rate, c.failed + c.valueErrors);
        } else {
            std::fprintf(stderr, "\r%lld rows  %.0f rows/s  %lld errors ", c.processed(), rate,
                         c.failed + c.valueErrors);
        }
        std::fflush(stderr);
        m_drawn = true;
    }
    void finish(const TImportEngine& e, const TCounters& c) {
        if (!m_enabled) return;
        update(e, c, true);
        if (m_drawn) std::fprintf(stderr, "\n");
    }
    qint64 elapsed() const { return m_clock.elapsed(); }

private:
    bool m_enabled;
    bool m_drawn = false;
    QElapsedTimer m_clock;
    qint64 m_last = -1000;
    qint64 m_lastRow = 0;
};

}  // namespace

int cmdImport(const TCommandContext& ctx) {
    QString templateFile;
    bool progressWanted = true;
    const QStringList& a = ctx.args;
    for (int i = 0; i < a.size(); ++i) {
        const QString& arg = a[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            std::printf("%s", kImportUsage);
            return 0;
        } else if (arg == QLatin1String("--template")) {
            if (i + 1 >= a.size()) return usageError("--template needs a file name");
            templateFile = a[++i];
        } else if (arg.startsWith(QLatin1String("--template="))) {
            templateFile = arg.mid(11);
        } else if (arg == QLatin1String("--no-progress")) {
            progressWanted = false;
        } else {
            return usageError("unknown argument '%s'", arg);
        }
    }
    if (templateFile.isEmpty()) return usageError("--template is required");

    TImportSetup setup;
    TDataStore store(ctx.databaseName);
    try {
        if (!QFileInfo(templateFile).isFile()) throw EImportError(ImportFmt(SFileDoesNotExist, {templateFile}));
        store.IBDatabase1.Open();
        store.IBTransaction1.StartTransaction();
        store.IBTable1.Open();
        // map entries of fields KU lacks are ignored, as on the wizard's pages
        for (const TFieldDef& f : store.IBTable1.FieldDefs()) setup.DestinationFields << f.Name;
        setup.LoadTemplate(templateFile);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vaccora import: %s\n", e.what());
        return 1;
    }

    std::unique_ptr<TImportEngine> engine = vaccoraCreateImportSource(setup.Kind);
    if (!engine) {
        std::fprintf(stderr, "vaccora import: %s\n",
                     ImportFmt(SSourceNotBuilt, {vaccoraImportKindCaption(setup.Kind)}).toLocal8Bit().constData());
        return 1;
    }
    TImportJScriptEngine scripts;
    setup.ConfigureEngine(*engine, &store.IBTable1, &scripts);

    TCounters counters;
    TProgress progress(progressWanted && isatty(STDERR_FILENO));
    bool canceled = false;
    engine->OnImportRecord = [&](TImportEngine& e) {
        switch (e.LastAction) {
        case ilaInserted: ++counters.inserted; break;
        case ilaEdited: ++counters.updated; break;
        case ilaDeleted: ++counters.deleted; break;
        case ilaNone: ++counters.skipped; break;
        }
        if (g_interrupted) e.Canceled = true;
        progress.update(e, counters);
    };
    engine->OnImportError = [&](TImportEngine& e) {
        ++counters.failed;
        if (g_interrupted) e.Canceled = true;
        progress.update(e, counters);
    };
    engine->OnImportErrorAdv = [&](TImportEngine&) { ++counters.valueErrors; };
    // the commit request commits the one transaction, keeping it open
    engine->OnNeedCommit = [&](TImportEngine&) { store.CommitRetaining(); };
    engine->OnImportCancel = [&](TImportEngine&, bool& cont) {
        cont = false;
        canceled = true;
    };
    engine->OnAfterImport = [&](TImportEngine&) { store.IBTable1.ApplyPending(); };
    engine->OnShowErrorLog = [](const QString&) {};  // a terminal run prints the path instead

    g_interrupted = 0;
    auto previous = std::signal(SIGINT, onInterrupt);
    int rc = 0;
    QString failure;
    try {
        engine->Execute();
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
        rc = 1;
    }
    std::signal(SIGINT, previous);
    progress.finish(*engine, counters);

    const bool ran = rc == 0 || counters.processed() > 0;
    if (ran) {
        const double seconds = progress.elapsed() / 1000.0;
        std::printf("%s: inserted %lld, updated %lld, deleted %lld, skipped %lld, failed %lld rows; %lld value errors; %.1f s\n",
                    canceled ? "Aborted" : (rc == 0 ? "Finished" : "Stopped"), counters.inserted, counters.updated,
                    counters.deleted, counters.skipped, counters.failed, counters.valueErrors, seconds);
        if (!engine->ErrorLogPath().isEmpty())
            std::printf("Error log: %s\n", engine->ErrorLogPath().toLocal8Bit().constData());
        std::fflush(stdout);
    }
    try {
        store.Close();  // commits
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vaccora import: %s\n", e.what());
        return 1;
    }
    if (rc != 0) std::fprintf(stderr, "vaccora import: %s\n", failure.toLocal8Bit().constData());
    return rc;
}
