#include "data/Schema.h"

#include "data/Database.h"

#include <QDate>

#include <cmath>
#include <random>

// Schema of the milk-recording database (SQL dialect 1).
//
// KU holds one row per cow and test day. The report's monthly statistics come
// from seven views; aggregating KU in each of them and joining the seven
// aggregates is far too slow for a national data set, so the statistics are
// kept per farm and test day in KU_SUM: the record count and, per SB group,
// the group's record count and, per measured column, the count of non-NULL
// values and their sum.
//
// Triggers on KU (insert, update, delete; also for rows written by other
// programs) append the change of every row to KU_DELTA, a temporary table
// private to the transaction (no forced writes, no garbage left on disk); a
// commit trigger (it fires on commit retaining too) folds the committing
// transaction's deltas into KU_SUM, one update per farm and test day. (Updating a KU_SUM row for every KU row instead makes
// Firebird keep a back version per update within the transaction: an import
// of 10,000 rows then runs at a few hundred rows per second.) The statistics
// view KU_STAT adds the not yet folded deltas, so a transaction sees its own
// uncommitted rows in the report at once.
//
// Means are sum / count, NULL for an empty group; SB means are whole numbers
// (the mean cast to INTEGER, as an average over the integer column gives in
// dialect 1), the shares and the other means are doubles.
//
// SB groups, matching the limits the report prints:
//   low group   (views less150, less150_ku): SB < 100
//   less800_ku:                              SB < 1000
//   high group  (views more800, more800_ku): SB > 1000
// A record with NULL SB counts in all_month and all_ku only; records without
// farm or date belong to no test day.
//
// Every group view yields a row for every farm and test day of all_month
// (count 0 and NULL means when the group is empty), so the inner joins of the
// monthly statistics query never drop a test day.

namespace {

struct Group {
    const char* prefix;  // column prefix in KU_SUM
    const char* cond;    // condition on SB selecting the group
};
const Group kGroups[] = {{"A", nullptr}, {"L", "%1.SB < 100"}, {"E", "%1.SB < 1000"}, {"M", "%1.SB > 1000"}};
const char* const kMeasures[] = {"SB", "DOJIVOST", "TUK", "BILKOVINA", "LAKTOZA"};

// The counter columns of KU_SUM / KU_DELTA after FARMA and DATUM.
QStringList counterNames()
{
    QStringList names{QStringLiteral("N")};
    for (const Group& g : kGroups) {
        if (g.cond) names << QStringLiteral("%1_N").arg(QLatin1String(g.prefix));
        for (const char* m : kMeasures) {
            names << QStringLiteral("%1_%2_N").arg(QLatin1String(g.prefix), QLatin1String(m));
            names << QStringLiteral("%1_%2_S").arg(QLatin1String(g.prefix), QLatin1String(m));
        }
    }
    return names;
}

QString counterColumns()
{
    QStringList cols;
    for (const QString& n : counterNames())
        cols << n + (n.endsWith(QLatin1String("_S")) ? QStringLiteral(" DOUBLE PRECISION DEFAULT 0 NOT NULL")
                                                     : QStringLiteral(" INTEGER DEFAULT 0 NOT NULL"));
    return cols.join(QStringLiteral(",\n  "));
}

// Values of the counters for record `rec` with weight K (an expression: +1/-1).
QStringList counterValues(const QString& r, const QString& K)
{
    QStringList v{K};
    for (const Group& g : kGroups) {
        const QString w = g.cond ? QStringLiteral("IIF(%1, %2, 0)").arg(QString::fromLatin1(g.cond).arg(r), K) : K;
        if (g.cond) v << w;
        for (const char* m : kMeasures) {
            const QString col = QStringLiteral("%1.%2").arg(r, QLatin1String(m));
            v << QStringLiteral("IIF(%1 IS NULL, 0, %2)").arg(col, w);
            v << QStringLiteral("COALESCE(%1, 0) * %2").arg(col, w);
        }
    }
    return v;
}

// A delta row carries the record's measured values and its weight; the
// counters are worked out when deltas are read.
QString deltaInsert(const char* rec, int k)
{
    return QStringLiteral("IF (%1.FARMA IS NOT NULL AND %1.DATUM IS NOT NULL) THEN\n"
                          "    INSERT INTO KU_DELTA (FARMA, DATUM, K, SB, DOJIVOST, TUK, BILKOVINA, LAKTOZA)\n"
                          "    VALUES (%1.FARMA, %1.DATUM, %2, %1.SB, %1.DOJIVOST, %1.TUK, %1.BILKOVINA, %1.LAKTOZA);")
        .arg(QLatin1String(rec)).arg(k);
}

QStringList deltaCounters() { return counterValues(QStringLiteral("KU_DELTA"), QStringLiteral("KU_DELTA.K")); }

// Folds the deltas this transaction can see into KU_SUM.
QString foldProcedure()
{
    const QStringList names = counterNames();
    const QStringList values = deltaCounters();
    QStringList decl, sums, into, sets, vars;
    for (int i = 0; i < names.size(); ++i) {
        decl << QStringLiteral("DECLARE VARIABLE V%1 DOUBLE PRECISION;").arg(i);
        sums << QStringLiteral("SUM(%1)").arg(values[i]);
        into << QStringLiteral(":V%1").arg(i);
        sets << QStringLiteral("%1 = %1 + :V%2").arg(names[i]).arg(i);
        vars << QStringLiteral(":V%1").arg(i);
    }
    return QStringLiteral(
               "CREATE PROCEDURE KU_SUM_FOLD\nAS\nDECLARE VARIABLE F SMALLINT;\nDECLARE VARIABLE D DATE;\n%1\n"
               "BEGIN\n"
               "  FOR SELECT FARMA, DATUM, %2 FROM KU_DELTA GROUP BY FARMA, DATUM\n"
               "      INTO :F, :D, %3 DO\n"
               "  BEGIN\n"
               "    UPDATE KU_SUM SET %4 WHERE FARMA = :F AND DATUM = :D;\n"
               "    IF (ROW_COUNT = 0) THEN\n"
               "      INSERT INTO KU_SUM (FARMA, DATUM, %5) VALUES (:F, :D, %6);\n"
               "  END\n"
               "  DELETE FROM KU_DELTA;\n"
               "  DELETE FROM KU_SUM WHERE N <= 0;\n"
               "END")
        .arg(decl.join(QLatin1Char('\n')), sums.join(QStringLiteral(", ")), into.join(QStringLiteral(", ")),
             sets.join(QStringLiteral(",\n      ")), names.join(QStringLiteral(", ")), vars.join(QStringLiteral(", ")));
}

QString statView()
{
    const QStringList names = counterNames();
    QStringList sums;
    for (const QString& n : names) sums << QStringLiteral("SUM(%1)").arg(n);
    const QString cols = names.join(QStringLiteral(", "));
    return QStringLiteral("CREATE VIEW KU_STAT (FARMA, DATUM, %1) AS\n"
                          "SELECT FARMA, DATUM, %2 FROM (\n"
                          "  SELECT FARMA, DATUM, %1 FROM KU_SUM\n"
                          "  UNION ALL\n"
                          "  SELECT FARMA, DATUM, %3 FROM KU_DELTA) U (FARMA, DATUM, %1)\n"
                          "GROUP BY FARMA, DATUM HAVING SUM(N) > 0")
        .arg(cols, sums.join(QStringLiteral(", ")), deltaCounters().join(QStringLiteral(", ")));
}

QString mean(const QString& base, bool integer)
{
    const QString m = QStringLiteral("%1_S / %1_N").arg(base);
    return QStringLiteral("IIF(%1_N = 0, NULL, %2)").arg(base, integer ? QStringLiteral("CAST(%1 AS INTEGER)").arg(m) : m);
}

QString groupView(const char* name, const char* prefix, const char* suffix)
{
    QStringList cols{QStringLiteral("DATUM"), suffix ? QStringLiteral("FARMA_%1").arg(QLatin1String(suffix)) : QStringLiteral("FARMA")};
    QStringList exprs{QStringLiteral("DATUM"), QStringLiteral("FARMA")};
    const char* lower[] = {"SB", "DOJIVOST", "TUK", "BILKOVINA", "LAKTOZA"};
    for (int i = 0; i < 5; ++i) {
        cols << (suffix ? QStringLiteral("%1_%2").arg(QLatin1String(lower[i]), QLatin1String(suffix)) : QLatin1String(lower[i]));
        exprs << mean(QStringLiteral("%1_%2").arg(QLatin1String(prefix), QLatin1String(kMeasures[i])), i == 0);
    }
    return QStringLiteral("CREATE VIEW %1 (%2) AS SELECT %3 FROM KU_STAT")
        .arg(QLatin1String(name), cols.join(QStringLiteral(", ")), exprs.join(QStringLiteral(", ")));
}

}  // namespace

QStringList vaccoraSchemaStatements()
{
    QStringList s;
    s << QStringLiteral(
        "CREATE TABLE KU (\n"
        "  FARMA SMALLINT,\n  DATUM DATE,\n  LAKTACE SMALLINT,\n  LAKTACE_DEN INTEGER,\n"
        "  DOJIVOST DOUBLE PRECISION,\n  TUK DOUBLE PRECISION,\n  BILKOVINA DOUBLE PRECISION,\n"
        "  SB INTEGER,\n  MOCOVINA DOUBLE PRECISION,\n  DOJNICE VARCHAR(12) CHARACTER SET UTF8,\n"
        "  LAKTOZA DOUBLE PRECISION)");
    s << QStringLiteral("CREATE INDEX KU_FARMA_DATUM ON KU (FARMA, DATUM)");
    s << QStringLiteral("CREATE TABLE KU_SUM (\n  FARMA SMALLINT NOT NULL,\n  DATUM DATE NOT NULL,\n  %1,\n"
                        "  PRIMARY KEY (FARMA, DATUM))").arg(counterColumns());
    s << QStringLiteral("CREATE GLOBAL TEMPORARY TABLE KU_DELTA (\n  FARMA SMALLINT NOT NULL,\n  DATUM DATE NOT NULL,\n"
                        "  K INTEGER NOT NULL,\n  SB INTEGER,\n  DOJIVOST DOUBLE PRECISION,\n  TUK DOUBLE PRECISION,\n"
                        "  BILKOVINA DOUBLE PRECISION,\n  LAKTOZA DOUBLE PRECISION)\nON COMMIT DELETE ROWS");
    s << QStringLiteral("CREATE INDEX KU_DELTA_FARMA_DATUM ON KU_DELTA (FARMA, DATUM)");
    s << QStringLiteral("CREATE TRIGGER KU_SUM_AI FOR KU AFTER INSERT AS\nBEGIN\n  %1\nEND").arg(deltaInsert("NEW", 1));
    s << QStringLiteral("CREATE TRIGGER KU_SUM_AD FOR KU AFTER DELETE AS\nBEGIN\n  %1\nEND").arg(deltaInsert("OLD", -1));
    s << QStringLiteral("CREATE TRIGGER KU_SUM_AU FOR KU AFTER UPDATE AS\nBEGIN\n  %1\n  %2\nEND").arg(deltaInsert("OLD", -1), deltaInsert("NEW", 1));
    s << foldProcedure();
    s << QStringLiteral("CREATE TRIGGER KU_SUM_COMMIT ON TRANSACTION COMMIT AS\nBEGIN\n"
                        "  IF (EXISTS (SELECT 1 FROM KU_DELTA)) THEN EXECUTE PROCEDURE KU_SUM_FOLD;\nEND");
    s << statView();
    s << QStringLiteral("CREATE VIEW ALL_MONTH (DATUM, FARMA, POCET) AS SELECT DATUM, FARMA, N FROM KU_STAT");
    s << QStringLiteral("CREATE VIEW LESS150 (DATUM, FARMA, POCET) AS SELECT DATUM, FARMA, L_N FROM KU_STAT");
    s << QStringLiteral("CREATE VIEW MORE800 (DATUM, FARMA, POCET) AS SELECT DATUM, FARMA, M_N FROM KU_STAT");
    s << groupView("ALL_KU", "A", nullptr);
    s << groupView("LESS150_KU", "L", "L150");
    s << groupView("LESS800_KU", "E", "L800");
    s << groupView("MORE800_KU", "M", "M800");
    return s;
}

void vaccoraCreateDatabase(const QString& name, bool demo)
{
    {
        // Set up with asynchronous writes, then switch forced writes on:
        // every later change reaches the disk before a commit returns.
        TIBDatabase db;
        db.DatabaseName = name;
        db.ForcedWrites = false;
        db.CreateDatabase();
        TIBTransaction tr(db);
        tr.StartTransaction();
        for (const QString& stmt : vaccoraSchemaStatements()) {
            db.ExecSQL(tr, stmt);
            tr.CommitRetaining();
        }
        if (demo) vaccoraFillDemoData(db, tr);
        tr.Commit();
        db.Close();
    }
    TIBDatabase db;
    db.DatabaseName = name;
    db.SetForcedWrites = true;
    db.Open();
    db.Close();
}

int vaccoraFillDemoData(TIBDatabase& db, TIBTransaction& tr, unsigned seed)
{
    (void)db;
    std::mt19937 rng(seed);
    std::normal_distribution<double> unit(0.0, 1.0);
    std::uniform_real_distribution<double> uni(0.0, 1.0);

    TIBStatement ins(tr, QStringLiteral(
        "insert into KU (FARMA, DATUM, LAKTACE, LAKTACE_DEN, DOJIVOST, TUK, BILKOVINA, SB, MOCOVINA, DOJNICE, LAKTOZA) "
        "values (?,?,?,?,?,?,?,?,?,?,?)"));

    struct Farm { int number; int cows; double sbLevel; int testDay; };
    const Farm farms[] = {{3, 140, 4.9, 12}, {12, 95, 5.3, 6}, {147, 110, 4.6, 20}};
    int count = 0;
    int cowSerial = 100000;
    for (const Farm& f : farms) {
        struct Cow { QString id; int lactation; int calvingOffset; double sbBase; double yieldBase; };
        std::vector<Cow> cows;
        for (int c = 0; c < f.cows; ++c) {
            Cow cow;
            cow.id = QStringLiteral("CZ%1").arg(++cowSerial * 1000 + int(uni(rng) * 999), 9, 10, QLatin1Char('0'));
            cow.lactation = 1 + int(uni(rng) * 5);
            cow.calvingOffset = int(uni(rng) * 300);
            cow.sbBase = f.sbLevel + 0.9 * unit(rng);
            cow.yieldBase = 27.0 + 6.0 * unit(rng) - 1.5 * (cow.lactation == 1);
            cows.push_back(cow);
        }
        // 14 months: January 2013 to February 2014 (January and February in both years).
        for (int m = 0; m < 14; ++m) {
            const QDate month(2013 + m / 12, 1 + m % 12, 1);
            std::vector<QDate> days{month.addDays(f.testDay - 1)};
            if (f.number == 12 && m == 4) days.push_back(month.addDays(24));  // two test days in May 2013
            for (const QDate& day : days) {
                for (const Cow& cow : cows) {
                    if (uni(rng) < 0.08) continue;  // dry or absent on this test day
                    const int dim = 5 + (cow.calvingOffset + m * 30) % 330;
                    double sb = std::exp(cow.sbBase + 0.6 * unit(rng));
                    if (uni(rng) < 0.03) sb *= 8.0;  // acute mastitis
                    const double yield = std::max(4.0, cow.yieldBase * (1.0 - dim / 700.0) + 2.5 * unit(rng));
                    ins.ClearParams();
                    ins.SetParamInt(0, f.number);
                    ins.SetParamDateTime(1, QDateTime(day, QTime(0, 0)));
                    ins.SetParamInt(2, cow.lactation);
                    ins.SetParamInt(3, dim);
                    ins.SetParamDouble(4, std::round(yield * 10) / 10);
                    ins.SetParamDouble(5, std::round((3.9 + 0.45 * unit(rng) + dim / 1000.0) * 100) / 100);
                    ins.SetParamDouble(6, std::round((3.35 + 0.25 * unit(rng) + dim / 1500.0) * 100) / 100);
                    ins.SetParamInt(7, std::min(20000, std::max(5, int(sb))));
                    ins.SetParamDouble(8, std::round((24 + 6 * unit(rng)) * 10) / 10);
                    ins.SetParamText(9, cow.id);
                    ins.SetParamDouble(10, std::round((4.85 - 0.15 * unit(rng) - (sb > 400 ? 0.2 : 0.0)) * 100) / 100);
                    ins.Execute();
                    ++count;
                }
            }
        }
    }
    return count;
}
