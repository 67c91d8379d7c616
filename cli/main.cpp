// vaccora: the main window without arguments, otherwise the command line.
#include "app/Modules.h"
#include "app/Unit1.h"
#include "cli/Commands.h"
#include "data/DataStore.h"
#include "data/Schema.h"
#include "import/sources/spreadsheet/SpreadsheetSources.h"
#include "import/sources/text/TextSources.h"

#include <QApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* kUsage =
    "Usage: vaccora [--database NAME] [COMMAND [OPTIONS]]\n"
    "\n"
    "Without a command, opens the Vaccora window.\n"
    "\n"
    "Commands:\n"
    "  init-db [--demo]        create a new database (with --demo: a generated data set)\n"
    "  farms                   list the farms that have records, one per line\n"
    "  report ...              write farm reports as PDF or prepared-report JSON (report --help)\n"
    "  import ...              run an import from a template file (import --help)\n"
    "\n"
    "Common option:\n"
    "  --database NAME         a file path (embedded engine) or host[/port]:path (Firebird server);\n"
    "                          default $VACCORA_DATABASE, else PROTOCOL_DATABASE.GDB in the current directory\n"
    "\n"
    "Exit codes: 0 success, 1 runtime error, 2 wrong usage.\n";

bool wantsHelp(const QStringList& args)
{
    return args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"));
}

bool hasDisplay()
{
    auto set = [](const char* v) { const char* e = std::getenv(v); return e && *e; };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

int runWindow(int argc, char** argv, const QString& database)
{
    if (!hasDisplay()) {
        std::fprintf(stderr, "vaccora: no display to open the window on; use the commands instead (vaccora --help).\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vaccora 1.0"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vaccora 1.0"));
    TDataStore store(database);
    try {
        store.Open();
    } catch (const std::exception& e) {
        const QString text = QStringLiteral("Cannot open the database %1:\n%2").arg(database, QString::fromUtf8(e.what()));
        std::fprintf(stderr, "vaccora: %s\n", text.toLocal8Bit().constData());
        TForm1::ShowError(nullptr, text);
        return 1;
    }
    TForm1 form(store, vaccoraReportModule(), vaccoraImportModule());
    form.show();
    const int rc = app.exec();
    try {
        store.Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vaccora: %s\n", e.what());
        return 1;
    }
    return rc;
}

}  // namespace

int cmdInitDb(const TCommandContext& ctx)
{
    if (wantsHelp(ctx.args)) {
        std::printf("Usage: vaccora [--database NAME] init-db [--demo]\n\n"
                    "Creates a new database (SQL dialect 1) with table KU, its statistics views and index.\n"
                    "  --demo   fill it with a generated data set (farms 3, 12 and 147, 14 months)\n");
        return 0;
    }
    bool demo = false;
    for (const QString& a : ctx.args) {
        if (a == QLatin1String("--demo")) demo = true;
        else {
            std::fprintf(stderr, "vaccora init-db: unknown argument '%s'\n", a.toLocal8Bit().constData());
            return 2;
        }
    }
    vaccoraCreateDatabase(ctx.databaseName, demo);
    std::printf("Created %s%s\n", ctx.databaseName.toLocal8Bit().constData(), demo ? " with demo data" : "");
    return 0;
}

int cmdFarms(const TCommandContext& ctx)
{
    if (wantsHelp(ctx.args)) {
        std::printf("Usage: vaccora [--database NAME] farms\n\nLists the rows of the distinct-farms query, one per line.\n");
        return 0;
    }
    if (!ctx.args.isEmpty()) {
        std::fprintf(stderr, "vaccora farms: unknown argument '%s'\n", ctx.args.first().toLocal8Bit().constData());
        return 2;
    }
    TDataStore store(ctx.databaseName);
    store.IBDatabase1.Open();
    store.IBTransaction1.StartTransaction();
    store.IBQuery2.Open();
    for (int i = 0; i < store.IBQuery2.RecordCount(); ++i) {
        const QVariant v = store.IBQuery2.Row(i)[0];
        std::printf("%s\n", v.isValid() ? v.toString().toLocal8Bit().constData() : "");
    }
    store.Close();
    return 0;
}

int main(int argc, char** argv)
{
    vaccoraRegisterTextSources();
    vaccoraRegisterSpreadsheetSources();

    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    QString databaseOption;
    for (int i = 0; i < args.size();) {
        if (args[i] == QLatin1String("--database")) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "vaccora: --database needs a name\n");
                return 2;
            }
            databaseOption = args[i + 1];
            args.remove(i, 2);
        } else if (args[i].startsWith(QLatin1String("--database="))) {
            databaseOption = args[i].mid(11);
            args.remove(i);
        } else {
            ++i;
        }
    }
    TCommandContext ctx;
    ctx.databaseName = vaccoraDatabaseName(databaseOption);
    if (args.isEmpty()) return runWindow(argc, argv, ctx.databaseName);
    const QString command = args.takeFirst();
    ctx.args = args;
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        std::printf("%s", kUsage);
        return 0;
    }
    using Command = int (*)(const TCommandContext&);
    Command run = nullptr;
    bool needsGui = false;
    if (command == QLatin1String("init-db")) run = cmdInitDb;
    else if (command == QLatin1String("farms")) run = cmdFarms;
    else if (command == QLatin1String("report")) { run = cmdReport; needsGui = true; }
    else if (command == QLatin1String("import")) { run = cmdImport; needsGui = true; }
    if (!run) {
        std::fprintf(stderr, "vaccora: unknown command '%s'\n\n%s", command.toLocal8Bit().constData(), kUsage);
        return 2;
    }
    try {
        if (needsGui) {
            // Reports paint charts and fonts through Qt's GUI layer; a
            // terminal run needs no display for that.
            if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
            if (!std::getenv("XDG_RUNTIME_DIR")) {
                // Qt's own fallback, set up quietly
                const QByteArray dir = "/tmp/runtime-" + QByteArray::number(getuid());
                if (mkdir(dir.constData(), 0700) == 0 || errno == EEXIST) setenv("XDG_RUNTIME_DIR", dir.constData(), 1);
            }
            int qargc = 1;
            QApplication app(qargc, argv);
            return run(ctx);
        }
        return run(ctx);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vaccora %s: %s\n", command.toLocal8Bit().constData(), e.what());
        return 1;
    }
}
