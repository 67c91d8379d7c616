// The report engine: reads the template's datasets, lays out bands and
// objects on output pages, builds the cross-tables (with the print-cell
// script) and the chart series, and yields a TPreparedReport. No widgets.
#pragma once

#include "report/PreparedReport.h"
#include "report/ReportTemplate.h"

#include <QStringList>
#include <QVariant>

#include <functional>
#include <map>
#include <memory>

class TIBQuery;
class QJSEngine;

// Raised when preparing a report fails; what() is the message the user sees:
// "The following error(s) have occured:" followed by the error's text.
class EReportPrepareError : public EReportError {
public:
    explicit EReportPrepareError(const QString& errorText);
    QString ErrorText;
};

// A report dataset: records addressed by number, fields by name.
class TReportDataset {
public:
    explicit TReportDataset(const QString& name) : Name(name) {}
    virtual ~TReportDataset() = default;
    QString Name;
    bool Enabled = true;
    virtual int RecordCount() const = 0;
    // index of a field for ValueAt; -1 when the dataset has no such field
    virtual int FieldIndex(const QString& field) = 0;
    virtual QVariant ValueAt(int record, int field) = 0;
};

// A dataset over a buffered query ("frxDBDataset1", "frxDBDataset2"). A
// closed query yields no records.
class TQueryDataset : public TReportDataset {
public:
    TQueryDataset(const QString& name, TIBQuery& query) : TReportDataset(name), Query(query) {}
    TIBQuery& Query;
    int RecordCount() const override;
    int FieldIndex(const QString& field) override;
    QVariant ValueAt(int record, int field) override;
};

// The program-filled dataset ("frxUserDataSet1"): a record count and a
// value callback asked for (record number, field name as the template
// spells it). The callback leaves the value untouched for unknown fields.
class TUserDataset : public TReportDataset {
public:
    using GetValue = std::function<void(int record, const QString& field, QVariant& value)>;
    explicit TUserDataset(const QString& name) : TReportDataset(name) {}
    int RangeEndCount = 0;
    GetValue OnGetValue;
    int RecordCount() const override { return RangeEndCount; }
    int FieldIndex(const QString& field) override;
    QVariant ValueAt(int record, int field) override;

private:
    QStringList m_fields;
};

class TReportEngine {
public:
    explicit TReportEngine(TReportTemplate& tmpl);
    ~TReportEngine();

    TReportTemplate& Template;
    void AddDataset(TReportDataset* ds);  // not owned
    TReportDataset* Dataset(const QString& name) const;

    // Prepares the report from the template and the datasets' current
    // records. Throws EReportPrepareError on any failure.
    TPreparedReport Prepare();

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

// printf-style number format ("%2.0f", "%2.2f") with the system's decimal
// separator; a number without format prints in its plain text form.
QString vaccoraFormatValue(const QVariant& value, const QString& format);
QString vaccoraPlainText(const QVariant& value);
