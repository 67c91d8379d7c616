// The program's data components, owned for the whole run: the connection,
// its one transaction, table KU and the three report/farm queries, with the
// statement texts the program starts with. Shared by the window and the
// command line.
#pragma once

#include "data/Database.h"

// Statement texts as stored (farm 3).
QStringList vaccoraQuery1Text();
QStringList vaccoraQuery2Text();
QStringList vaccoraQuery3Text();

// "where farma=" + farm + the query's ordering tail.
QString vaccoraQuery1LastLine(const QString& farm);
QString vaccoraQuery3LastLine(const QString& farm);

// Database name given by --database, else $VACCORA_DATABASE, else the default.
QString vaccoraDatabaseName(const QString& option = QString());

class TDataStore {
public:
    explicit TDataStore(const QString& databaseName = QStringLiteral("PROTOCOL_DATABASE.GDB"));
    ~TDataStore();  // closes the connection, which commits

    TIBDatabase IBDatabase1;
    TIBTransaction IBTransaction1{IBDatabase1};
    TIBTable IBTable1{IBDatabase1, IBTransaction1};
    TIBQuery IBQuery1{IBDatabase1, IBTransaction1};  // monthly statistics of one farm
    TIBQuery IBQuery2{IBDatabase1, IBTransaction1};  // distinct farms
    TIBQuery IBQuery3{IBDatabase1, IBTransaction1};  // SB of every record of one farm

    // Start-up: connect, start the transaction, open IBTable1 and the three queries.
    void Open();
    // Refresh after an import: post pending row of IBTable1; close Q1, Q2, Q3; open Q1, Q2, Q3.
    void RefreshAfterImport();
    // Re-target the per-farm queries: close Q1, Q3; replace their last lines; open Q1, Q3.
    void RetargetFarm(const QString& farmText);
    // Commit-retaining of the one transaction (the import's commit request).
    void CommitRetaining();
    void Close();
};
