#include "data/DataStore.h"

#include <cstdlib>

QStringList vaccoraQuery1Text()
{
    return {
        QStringLiteral("select"),
        QStringLiteral("EXTRACT(month from all_month.datum)||'-'||EXTRACT(year from all_month.datum) as Mesic,"),
        QStringLiteral("all_month.farma,"),
        QStringLiteral("all_month.pocet as Pocet_KU,"),
        QStringLiteral("less150.pocet as Pocet_150,"),
        QStringLiteral("more800.pocet as Pocet_800,"),
        QStringLiteral("less150.pocet/all_month.pocet*100 as Podil150,"),
        QStringLiteral("more800.pocet/all_month.pocet*100 as Podil800,"),
        QStringLiteral("all_ku.sb as sb_all,"),
        QStringLiteral("less150_ku.sb_l150,"),
        QStringLiteral("less800_ku.sb_l800,"),
        QStringLiteral("more800_ku.sb_m800,"),
        QStringLiteral("all_ku.dojivost as dojivost_all,"),
        QStringLiteral("less150_ku.dojivost_l150,"),
        QStringLiteral("less800_ku.dojivost_l800,"),
        QStringLiteral("more800_ku.dojivost_m800,"),
        QStringLiteral("all_ku.tuk as tuk_all,"),
        QStringLiteral("less150_ku.tuk_l150,"),
        QStringLiteral("less800_ku.tuk_l800,"),
        QStringLiteral("more800_ku.tuk_m800,"),
        QStringLiteral("all_ku.bilkovina as bilkovina_all,"),
        QStringLiteral("less150_ku.bilkovina_l150,"),
        QStringLiteral("less800_ku.bilkovina_l800,"),
        QStringLiteral("more800_ku.bilkovina_m800,"),
        QStringLiteral("all_ku.laktoza as laktoza_all,"),
        QStringLiteral("less150_ku.laktoza_l150,"),
        QStringLiteral("less800_ku.laktoza_l800,"),
        QStringLiteral("more800_ku.laktoza_m800"),
        QStringLiteral("from more800"),
        QStringLiteral("JOIN all_month ON more800.datum=all_month.datum and more800.farma=all_month.farma"),
        QStringLiteral("JOIN less150 ON less150.datum=all_month.datum and less150.farma=all_month.farma"),
        QStringLiteral("JOIN all_ku ON all_ku.datum=all_month.datum and all_ku.farma=all_month.farma"),
        QStringLiteral("JOIN less150_ku on less150_ku.datum=all_month.datum and less150_ku.farma_l150=all_month.farma"),
        QStringLiteral("JOIN more800_ku on more800_ku.datum=all_month.datum and more800_ku.farma_m800=all_month.farma"),
        QStringLiteral("JOIN less800_ku on less800_ku.datum=all_month.datum and less800_ku.farma_l800=all_month.farma"),
        vaccoraQuery1LastLine(QStringLiteral("3")),
    };
}

QStringList vaccoraQuery2Text() { return {QStringLiteral("select distinct FARMA from KU;")}; }

QStringList vaccoraQuery3Text()
{
    return {
        QStringLiteral("select EXTRACT(month from ku.datum)||'-'||EXTRACT(year from ku.datum) as Mesic,"),
        QStringLiteral("EXTRACT(month from ku.datum) as Mesic_Int,"),
        QStringLiteral("ku.SB as SB,"),
        QStringLiteral("dojnice as dojnice"),
        QStringLiteral("from KU"),
        vaccoraQuery3LastLine(QStringLiteral("3")),
    };
}

QString vaccoraQuery1LastLine(const QString& farm)
{
    return QStringLiteral("where farma=") + farm + QStringLiteral(" order by all_month.datum asc, farma;");
}

QString vaccoraQuery3LastLine(const QString& farm)
{
    return QStringLiteral("where farma=") + farm + QStringLiteral(" order by sb asc;");
}

QString vaccoraDatabaseName(const QString& option)
{
    if (!option.isEmpty()) return option;
    if (const char* env = std::getenv("VACCORA_DATABASE"); env && *env) return QString::fromLocal8Bit(env);
    return QStringLiteral("PROTOCOL_DATABASE.GDB");
}

TDataStore::TDataStore(const QString& databaseName)
{
    IBDatabase1.DatabaseName = databaseName;
    IBQuery1.SQL = vaccoraQuery1Text();
    IBQuery2.SQL = vaccoraQuery2Text();
    IBQuery3.SQL = vaccoraQuery3Text();
}

TDataStore::~TDataStore()
{
    try {
        Close();
    } catch (...) {
    }
}

void TDataStore::Open()
{
    IBDatabase1.Open();
    IBTransaction1.StartTransaction();
    IBTable1.Open();
    IBQuery1.Open();
    IBQuery2.Open();
    IBQuery3.Open();
}

void TDataStore::RefreshAfterImport()
{
    IBTable1.ApplyPending();
    IBQuery1.Close();
    IBQuery2.Close();
    IBQuery3.Close();
    IBQuery1.Open();
    IBQuery2.Open();
    IBQuery3.Open();
}

void TDataStore::RetargetFarm(const QString& farmText)
{
    IBQuery1.Close();
    IBQuery3.Close();
    IBQuery1.SQL.removeLast();
    IBQuery1.SQL.append(vaccoraQuery1LastLine(farmText));
    IBQuery3.SQL.removeLast();
    IBQuery3.SQL.append(vaccoraQuery3LastLine(farmText));
    IBQuery1.Open();
    IBQuery3.Open();
}

void TDataStore::CommitRetaining()
{
    IBTable1.ApplyPending();
    IBTransaction1.CommitRetaining();
}

void TDataStore::Close()
{
    IBQuery1.Close();
    IBQuery2.Close();
    IBQuery3.Close();
    IBTable1.Close();
    IBDatabase1.Close();
}
