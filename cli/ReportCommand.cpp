// vaccora report: the farm report as PDF or prepared-report JSON, through the
// same preparation as the "Report" button.
#include "cli/Commands.h"

#include "data/DataStore.h"
#include "report/FarmReport.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace {

const char* kReportUsage =
    "Usage: vaccora [--database NAME] report --farm N --output FILE.pdf|FILE.json\n"
    "       vaccora [--database NAME] report --all-farms --output-dir DIR\n"
    "\n"
    "Prepares the four-page farm report exactly as the \"Report\" button does.\n"
    "  --farm N          the farm number (as listed by `vaccora farms`)\n"
    "  --output FILE     FILE.pdf writes the PDF, FILE.json the prepared report\n"
    "                    (the format the preview saves and opens)\n"
    "  --all-farms       one PDF per farm of the farm list, DIR/farm-N.pdf\n"
    "  --output-dir DIR  the folder for --all-farms (created when missing)\n"
    "\n"
    "Exit codes: 0 success, 1 runtime error, 2 wrong usage.\n";

int usageError(const char* fmt, const QString& arg = QString()) {
    std::fprintf(stderr, "vaccora report: ");
    std::fprintf(stderr, fmt, arg.toLocal8Bit().constData());
    std::fprintf(stderr, "\n\n%s", kReportUsage);
    return 2;
}

bool isFarmNumber(const QString& s) {
    bool ok = false;
    const int v = s.toInt(&ok);
    return ok && v >= -32768 && v <= 32767 && s == QString::number(v);
}

}  // namespace

int cmdReport(const TCommandContext& ctx) {
    QString farm, output, outputDir;
    bool allFarms = false;
    const QStringList& a = ctx.args;
    for (int i = 0; i < a.size(); ++i) {
        const QString& arg = a[i];
        auto value = [&](QString& into) {
            if (i + 1 >= a.size()) return false;
            into = a[++i];
            return true;
        };
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            std::printf("%s", kReportUsage);
            return 0;
        } else if (arg == QLatin1String("--farm")) {
            if (!value(farm)) return usageError("--farm needs a farm number");
        } else if (arg == QLatin1String("--output")) {
            if (!value(output)) return usageError("--output needs a file name");
        } else if (arg == QLatin1String("--output-dir")) {
            if (!value(outputDir)) return usageError("--output-dir needs a folder");
        } else if (arg == QLatin1String("--all-farms")) {
            allFarms = true;
        } else {
            return usageError("unknown argument '%s'", arg);
        }
    }
    if (allFarms == !farm.isEmpty()) return usageError("give either --farm N or --all-farms");
    if (!farm.isEmpty()) {
        if (!isFarmNumber(farm)) return usageError("the farm must be a whole number, not '%s'", farm);
        if (output.isEmpty() || !outputDir.isEmpty()) return usageError("--farm needs --output FILE.pdf or FILE.json");
        const QString suffix = QFileInfo(output).suffix().toLower();
        if (suffix != QLatin1String("pdf") && suffix != QLatin1String("json"))
            return usageError("the output must end in .pdf or .json: '%s'", output);
    } else if (outputDir.isEmpty() || !output.isEmpty()) {
        return usageError("--all-farms needs --output-dir DIR");
    }

    TDataStore store(ctx.databaseName);
    store.Open();
    TFarmReport report;
    try {
        if (!farm.isEmpty()) {
            store.RetargetFarm(farm);
            vaccoraWriteFarmReport(report, store, output);
            std::printf("%s\n", output.toLocal8Bit().constData());
        } else {
            if (!QDir().mkpath(outputDir)) {
                std::fprintf(stderr, "vaccora report: cannot create the folder %s\n", outputDir.toLocal8Bit().constData());
                return 1;
            }
            QStringList farms;
            for (int i = 0; i < store.IBQuery2.RecordCount(); ++i) {
                const QVariant v = store.IBQuery2.Row(i)[0];
                if (v.isValid() && !v.isNull()) farms << v.toString();
            }
            const bool tty = isatty(fileno(stderr));
            int done = 0, failed = 0;
            for (const QString& f : farms) {
                const QString file = QDir(outputDir).filePath(QStringLiteral("farm-%1.pdf").arg(f));
                if (tty) std::fprintf(stderr, "\r[%d/%lld] farm %s ...", done + failed + 1, (long long)farms.size(), f.toLocal8Bit().constData());
                try {
                    store.RetargetFarm(f);
                    vaccoraWriteFarmReport(report, store, file);
                    ++done;
                } catch (const std::exception& e) {
                    ++failed;
                    std::fprintf(stderr, "%svaccora report: farm %s: %s\n", tty ? "\n" : "", f.toLocal8Bit().constData(), e.what());
                }
            }
            if (tty) std::fprintf(stderr, "\n");
            std::printf("%d report(s) written to %s, %d failed\n", done, outputDir.toLocal8Bit().constData(), failed);
            store.Close();
            return failed ? 1 : 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vaccora report: %s\n", e.what());
        return 1;
    }
    store.Close();
    return 0;
}
