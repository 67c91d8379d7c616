// `vaccora import` end to end: a CSV template into a real database, the exit
// codes, and durability of the rows when the process dies right after the
// import.
#include "data/DataStore.h"
#include "data/Schema.h"
#include "import/engine/ImportSetup.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

// The Firebird client keeps some allocations until the process ends.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfbclient.so\nleak:libtommath.so\n"; }

namespace {

QString q(const char* s) { return QString::fromUtf8(s); }

class CliImport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        db = dir.filePath(q("cli.gdb"));
        vaccoraCreateDatabase(db, false);
    }
    QString writeCsvTemplate(int rows, const char* name = "t.imp") {
        QFile csv(dir.filePath(q("data.csv")));
        EXPECT_TRUE(csv.open(QIODevice::WriteOnly));
        csv.write("farm;date;sb;cow\n");
        for (int i = 0; i < rows; ++i)
            csv.write(QStringLiteral("7;%1.1.2013;%2;C%3\n").arg(i % 28 + 1).arg(i == 1 ? q("x") : QString::number(i)).arg(i).toUtf8());
        csv.close();
        TImportSetup s;
        s.Kind = aiCSV;
        s.FileName = q("data.csv");  // relative: the caller's working directory
        s.Current().Options.insert(q("Delimiter"), q(";"));
        s.Current().Options.insert(q("SkipLines"), q("1"));
        s.Current().SetLocator(q("FARMA"), q("1"));
        s.Current().SetLocator(q("DATUM"), q("2"));
        s.Current().SetLocator(q("SB"), q("3"));
        s.Current().SetLocator(q("DOJNICE"), q("4"));
        s.ErrorLog = true;
        s.ErrorLogFileName = dir.filePath(q("err.log"));
        const QString path = dir.filePath(q(name));
        s.SaveTemplate(path);
        return path;
    }
    int run(const QStringList& args, QString* out = nullptr, QString* err = nullptr) {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(q(VACCORA_BINARY), QStringList{q("--database"), db} + args);
        EXPECT_TRUE(p.waitForFinished(120000));
        if (out) *out = QString::fromLocal8Bit(p.readAllStandardOutput());
        if (err) *err = QString::fromLocal8Bit(p.readAllStandardError());
        return p.exitCode();
    }
    long long count() {
        TDataStore s(db);
        s.IBDatabase1.Open();
        s.IBTransaction1.StartTransaction();
        TIBQuery qr(s.IBDatabase1, s.IBTransaction1);
        qr.SQL << q("select count(*) from KU where FARMA = 7");
        qr.Open();
        long long n = qr.Row(0)[0].toLongLong();
        s.Close();
        return n;
    }
    QTemporaryDir dir;
    QString db;
};

TEST_F(CliImport, RunsTheTemplateAndReports) {
    const QString t = writeCsvTemplate(5);
    QString out, err;
    ASSERT_EQ(run({q("import"), q("--template"), t}, &out, &err), 0) << err.toStdString();
    EXPECT_TRUE(out.contains(q("Finished: inserted 5, updated 0, deleted 0, skipped 0, failed 0 rows; 1 value errors")))
        << out.toStdString();
    EXPECT_TRUE(out.contains(q("Error log: ") + dir.filePath(q("err.log"))));
    EXPECT_EQ(count(), 5);

    EXPECT_EQ(run({q("import"), q("--template"), dir.filePath(q("none.imp"))}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(q("File ") + dir.filePath(q("none.imp")) + q(" does not exist"))) << err.toStdString();
    EXPECT_EQ(run({q("import")}), 2);
    EXPECT_EQ(run({q("import"), q("--bogus")}), 2);

    TImportSetup access;
    access.Kind = aiAccess;
    access.FileName = t;
    access.Current().SetLocator(q("FARMA"), q("F"));
    access.SaveTemplate(dir.filePath(q("access.imp")));
    EXPECT_EQ(run({q("import"), q("--template"), dir.filePath(q("access.imp"))}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(q("Import from MS Access is not available in this build"))) << err.toStdString();

    // a settings error of the engine: exit 1 with its message, nothing written
    QFile::remove(dir.filePath(q("data.csv")));
    EXPECT_EQ(run({q("import"), q("--template"), t}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(q("File data.csv does not exist"))) << err.toStdString();
    EXPECT_EQ(count(), 5);
}

// The process is killed after the import has ended but before it closes the
// database: the rows must be committed already.
TEST_F(CliImport, RowsSurviveAKillRightAfterTheImport) {
    const QString t = writeCsvTemplate(300);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    // fill the pipe, so the first write of the summary blocks the process
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    char block[4096] = {};
    while (write(fds[1], block, sizeof block) > 0) {
    }
    fcntl(fds[1], F_SETFL, 0);
    const QByteArray binary = QByteArray(VACCORA_BINARY);
    const QByteArray dbArg = db.toLocal8Bit(), tArg = t.toLocal8Bit(), wd = dir.path().toLocal8Bit();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        if (chdir(wd.constData()) != 0) _exit(99);
        execl(binary.constData(), binary.constData(), "--database", dbArg.constData(), "import", "--template",
              tArg.constData(), "--no-progress", (char*)nullptr);
        _exit(98);
    }
    ASSERT_GT(pid, 0);
    close(fds[1]);
    QElapsedTimer clock;
    clock.start();
    long long seen = 0;
    while (clock.elapsed() < 90000 && (seen = count()) < 300) {
        int status;
        ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the import process ended early";
        QThread::msleep(100);
    }
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "still inside the run, before closing the database";
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    close(fds[0]);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(seen, 300);
    EXPECT_EQ(count(), 300);
}

}  // namespace

namespace {

// A CSV template keeps the file's code page: a cp1250 file reloaded from its
// template is decoded in cp1250.
TEST_F(CliImport, CsvTemplateKeepsItsEncoding) {
    QFile csv(dir.filePath(q("cz.csv")));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("7;1.2.2013;100;\x8e\x6c\x75\x9d\x6f\x75\xe8\x6b\xfd\n");  // "Žluťoučký" in cp1250
    csv.close();
    TImportSetup s;
    s.Kind = aiCSV;
    s.FileName = dir.filePath(q("cz.csv"));
    s.Current().Options.insert(q("Delimiter"), q(";"));
    s.Current().Options.insert(q("Encoding"), q("7"));  // ctCp1250
    s.Current().SetLocator(q("FARMA"), q("1"));
    s.Current().SetLocator(q("DOJNICE"), q("4"));
    s.SaveTemplate(dir.filePath(q("cz.imp")));
    QString err;
    ASSERT_EQ(run({q("import"), q("--template"), dir.filePath(q("cz.imp")), q("--no-progress")}, nullptr, &err), 0)
        << err.toStdString();
    TDataStore st(db);
    st.IBDatabase1.Open();
    st.IBTransaction1.StartTransaction();
    TIBQuery qr(st.IBDatabase1, st.IBTransaction1);
    qr.SQL << q("select DOJNICE from KU where FARMA = 7");
    qr.Open();
    ASSERT_EQ(qr.RecordCount(), 1);
    EXPECT_EQ(qr.Row(0)[0].toString(), q("Žluťoučký"));
    st.Close();
}

}  // namespace

namespace {

// How far process `pid` has read into `file` (-1 while it has not opened it).
long long readPosition(qint64 pid, const QString& file) {
    const QString fdDir = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fdDir).entryList(QDir::Files | QDir::System)) {
        if (QFile::symLinkTarget(fdDir + QLatin1Char('/') + fd) != file) continue;
        QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid).arg(fd));
        if (!info.open(QIODevice::ReadOnly)) continue;
        const QByteArray text = info.readAll();
        const int at = int(text.indexOf("pos:"));
        if (at >= 0) return text.mid(at + 4, text.indexOf('\n', at) - at - 4).trimmed().toLongLong();
    }
    return -1;
}

// Ctrl-C cancels after the current row: the summary says so, the rows
// written so far are kept (committed when the database closes).
TEST_F(CliImport, InterruptCancelsAndKeepsTheRowsWritten) {
    const QString t = writeCsvTemplate(150000);
    const QString csv = QFileInfo(dir.filePath(q("data.csv"))).canonicalFilePath();
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(q(VACCORA_BINARY), {q("--database"), db, q("import"), q("--template"), t});
    ASSERT_TRUE(p.waitForStarted());
    // interrupt once the import is reading its file (the handler is in place
    // then), well before the end of it, however fast the machine is
    QElapsedTimer waited;
    waited.start();
    while (readPosition(p.processId(), csv) < 20000 && p.state() == QProcess::Running && waited.elapsed() < 60000)
        QThread::msleep(5);
    ASSERT_EQ(p.state(), QProcess::Running) << "the import ended before it could be interrupted";
    kill((pid_t)p.processId(), SIGINT);
    ASSERT_TRUE(p.waitForFinished(120000));
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    ASSERT_TRUE(out.startsWith(q("Aborted: inserted "))) << out.toStdString();
    const long long inserted = out.section(q("inserted "), 1).section(q(","), 0, 0).toLongLong();
    EXPECT_GT(inserted, 0);
    EXPECT_LT(inserted, 150000);
    EXPECT_EQ(count(), inserted);
}

}  // namespace
