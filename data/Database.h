// Thin layer over the Firebird 3 client API (OO interface): one connection,
// its transaction, buffered queries and the table dataset the import writes
// through. Every statement is prepared and run in SQL dialect 1.
//
// Values travel as QVariant: an invalid (default-constructed) QVariant is
// SQL NULL; integers come back as int (SMALLINT, INTEGER) or qlonglong,
// floats as double, texts as QString, dates (dialect-1 DATE is a timestamp)
// as QDateTime in local-free "wall clock" form (Qt::LocalTime without any
// conversion applied).
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace Firebird {
class IAttachment;
class ITransaction;
class IStatement;
class IMessageMetadata;
}  // namespace Firebird

// Raised for every failure of the client library or of a dataset operation;
// the message is the server's text.
class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const std::string& msg, int sqlCode = 0)
        : std::runtime_error(msg), SqlCode(sqlCode) {}
    explicit EDatabaseError(const QString& msg, int sqlCode = 0)
        : std::runtime_error(msg.toStdString()), SqlCode(sqlCode) {}
    int SqlCode;
};

enum class TFieldType { ftUnknown, ftSmallint, ftInteger, ftLargeint, ftFloat, ftString, ftDateTime, ftDate, ftTime, ftBlob, ftBoolean };

struct TFieldDef {
    QString Name;        // as the server reports it (upper case unless quoted)
    TFieldType DataType = TFieldType::ftUnknown;
    int Size = 0;        // characters for texts
    bool Required = false;
};

class TIBTransaction;

// Connection. DatabaseName: a file path opens the database with the
// embedded engine; "host[/port]:path" goes to a Firebird server.
class TIBDatabase {
public:
    TIBDatabase();
    ~TIBDatabase();  // closes (and so commits)
    TIBDatabase(const TIBDatabase&) = delete;
    TIBDatabase& operator=(const TIBDatabase&) = delete;

    QString DatabaseName = QStringLiteral("PROTOCOL_DATABASE.GDB");
    QStringList Params{QStringLiteral("user_name=sysdba"), QStringLiteral("password=brindlowe")};
    int SQLDialect = 1;
    bool LoginPrompt = false;
    // CreateDatabase: false creates the file with asynchronous writes (quick
    // schema set-up); Open with SetForcedWrites switches them on for good.
    bool ForcedWrites = true;
    bool SetForcedWrites = false;

    void Open();   // connect
    void Close();  // commits every active transaction of this connection, then detaches
    bool Connected() const { return m_att != nullptr; }

    // Creates a new, empty dialect-1 database file (or server database) and
    // leaves this object connected to it.
    void CreateDatabase();

    Firebird::IAttachment* Handle() const { return m_att; }

    // Runs one statement without result rows (DDL, DML) in the transaction.
    void ExecSQL(TIBTransaction& tr, const QString& sql);

private:
    friend class TIBTransaction;
    std::vector<TIBTransaction*> m_transactions;
    Firebird::IAttachment* m_att = nullptr;
    std::string dpb_user() const;
    std::string dpb_password() const;
};

// The one transaction. Default kind: snapshot (concurrency), wait.
class TIBTransaction {
public:
    explicit TIBTransaction(TIBDatabase& db);
    ~TIBTransaction();  // commits when still active
    TIBTransaction(const TIBTransaction&) = delete;
    TIBTransaction& operator=(const TIBTransaction&) = delete;

    void StartTransaction();
    void Commit();
    void CommitRetaining();  // commits; the transaction and open datasets stay usable
    void Rollback();
    bool InTransaction() const { return m_tra != nullptr; }

    TIBDatabase& Database() { return m_db; }
    Firebird::ITransaction* Handle();  // throws when not active

private:
    friend class TIBDatabase;
    TIBDatabase& m_db;
    Firebird::ITransaction* m_tra = nullptr;
};

// A prepared statement with typed parameters and result buffer; the engine
// of the query and table datasets, usable directly for fast paths.
class TIBStatement {
public:
    TIBStatement(TIBTransaction& tr, const QString& sql);
    ~TIBStatement();
    TIBStatement(const TIBStatement&) = delete;
    TIBStatement& operator=(const TIBStatement&) = delete;

    int ParamCount() const;
    void SetParam(int i, const QVariant& v);  // converts to the parameter's type; throws EDatabaseError
    void SetParamNull(int i);
    void SetParamInt(int i, long long v);
    void SetParamDouble(int i, double v);
    void SetParamText(int i, const QString& v);
    void SetParamDateTime(int i, const QDateTime& v);
    void ClearParams();  // all NULL

    void Execute();       // runs a statement without cursor (or singleton select)
    void OpenCursor();    // runs a select
    bool Fetch();         // next row of the cursor; false at the end (cursor closed)
    void CloseCursor();

    int ColumnCount() const;
    QString ColumnName(int i) const;  // alias as the server reports it
    TFieldType ColumnType(int i) const;
    QVariant Column(int i) const;     // value of the fetched row
    long long RowsAffected() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Buffered query: statement text as a list of lines, joined by line breaks;
// a trailing semicolon is stripped before preparing. Open runs the statement
// and buffers every row.
class TIBQuery {
public:
    TIBQuery(TIBDatabase& db, TIBTransaction& tr) : m_db(db), m_tr(tr) {}
    QStringList SQL;

    void Open();
    void Close();
    bool Active() const { return m_active; }

    // navigation over the buffered rows
    void First() { m_pos = 0; }
    void Next() { if (m_pos < (int)m_rows.size()) ++m_pos; }
    bool Eof() const { return m_pos >= (int)m_rows.size(); }
    int RecNo() const { return m_pos; }
    int RecordCount() const { return (int)m_rows.size(); }

    int FieldCount() const { return (int)m_names.size(); }
    const QStringList& FieldNames() const { return m_names; }
    int FieldIndex(const QString& name) const;   // case-insensitive, -1 if absent
    QVariant Value(int field) const;              // current row; throws when closed/eof
    QVariant FieldByName(const QString& name) const;  // throws when the field is unknown
    const std::vector<QVariant>& Row(int i) const { return m_rows.at(i); }

    QString StatementText() const;  // lines joined by '\n'

private:
    TIBDatabase& m_db;
    TIBTransaction& m_tr;
    bool m_active = false;
    QStringList m_names;
    std::vector<std::vector<QVariant>> m_rows;
    int m_pos = 0;
};

enum class TDataSetState { dsInactive, dsBrowse, dsInsert, dsEdit };

// Table dataset (IBTable1 on KU). New rows start all NULL; Post runs one
// prepared INSERT (all columns) or UPDATE (by record key). The current row is
// the row last posted or located.
class TIBTable {
public:
    TIBTable(TIBDatabase& db, TIBTransaction& tr);
    ~TIBTable();
    QString TableName = QStringLiteral("KU");

    void Open();   // reads the field definitions
    void Close();
    bool Active() const { return m_state != TDataSetState::dsInactive; }
    TDataSetState State() const { return m_state; }

    const std::vector<TFieldDef>& FieldDefs() const { return m_fields; }
    int FieldIndex(const QString& name) const;  // case-insensitive, -1 if absent

    void Insert();   // new row at the current position
    void Append();   // new row at the end (same thing for a server table)
    void Edit();     // edit the current row (after Locate)
    void Post();     // writes the row; throws EDatabaseError and stays in insert/edit
    void Cancel();
    void Delete();   // deletes the current row
    // applies a pending insert or edit (post); nothing else is cached
    void ApplyPending() { if (m_state == TDataSetState::dsInsert || m_state == TDataSetState::dsEdit) Post(); }

    // Field access on the row being edited/inserted (or the current row).
    // SetField converts to the column type and throws EDatabaseError when the
    // value does not convert.
    void SetField(int index, const QVariant& value);
    void SetField(const QString& name, const QVariant& value);
    QVariant Field(int index) const;
    QVariant Field(const QString& name) const;

    // Finds the first row whose key fields equal the values (texts compared
    // ignoring case); makes it current. Returns false when none matches.
    bool Locate(const QStringList& keyFields, const QVariantList& values, bool caseInsensitive = true);

    long long PostedCount() const { return m_posted; }

private:
    int requireField(const QString& name) const;
    QVariant convert(int index, const QVariant& v) const;
    TIBDatabase& m_db;
    TIBTransaction& m_tr;
    TDataSetState m_state = TDataSetState::dsInactive;
    std::vector<TFieldDef> m_fields;
    std::vector<QVariant> m_row;       // row being edited / current row
    QByteArray m_dbKey;                // record key of the current row (empty: none)
    std::unique_ptr<TIBStatement> m_insert, m_update, m_delete;
    std::map<QString, std::unique_ptr<TIBStatement>> m_locators;
    long long m_posted = 0;
};

// Points the embedded engine at the program's private configuration folder
// (SuperClassic server mode) unless FIREBIRD is already set. Called before
// the client library is first used.
void vaccoraPrepareFirebirdEnvironment();
