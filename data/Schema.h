// Database creation: table KU, the summary table and its triggers, the
// statistics views, the index; and a generated demo data set.
#pragma once

#include <QString>
#include <QStringList>

class TIBDatabase;
class TIBTransaction;

// DDL statements in execution order.
QStringList vaccoraSchemaStatements();

// Creates the database named `name` (file path or host[/port]:path) with the schema.
void vaccoraCreateDatabase(const QString& name, bool demo);

// Fills KU with the demo data set (three farms incl. farm 3, 14 months, a few hundred cows).
// Returns the number of records inserted.
int vaccoraFillDemoData(TIBDatabase& db, TIBTransaction& tr, unsigned seed = 20131);
