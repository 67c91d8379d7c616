// The farm report: its template and the preparation the program performs
// before every run (table placement, the monthly 90th-percentile series and
// the program-filled dataset). Shared by the "Report" button and the
// command line; no widgets.
#pragma once

#include "report/PreparedReport.h"
#include "report/ReportEngine.h"
#include "report/ReportTemplate.h"

#include <QHash>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

class TDataStore;
class TIBQuery;

// Insertion-ordered index of month labels; keys compare as exact texts.
class TMonthIndex {
public:
    int Insert(const QString& label);  // position of the label (new labels get the next one)
    int IndexOf(const QString& label) const;  // -1 when absent
    const QString& Label(int i) const { return m_labels.at(i); }
    int Count() const { return (int)m_labels.size(); }

private:
    QHash<QString, int> m_pos;
    QStringList m_labels;
};

struct TMonthPair {
    std::int32_t Month;
    std::int32_t SB;
};

class TMonthGroup {
public:
    void Append(std::int32_t month, std::int32_t sb) { m_pairs.push_back(TMonthPair{month, sb}); }
    void Sort();  // ascending by SB
    const TMonthPair& At(int i) const { return m_pairs.at(i); }
    int Count() const { return (int)m_pairs.size(); }

private:
    std::vector<TMonthPair> m_pairs;
};

// 0-based position of the 90th percentile in a sorted group of n values:
// n / 100 * 90 in extended precision, rounded half to even.
long long vaccoraPercentilePosition(long long n);
// SB reported for a sorted group; groups of 1 to 4 values (whose position
// lies one past the end) report their largest SB.
std::int32_t vaccoraPercentileSB(const TMonthGroup& g);

class TFarmReport {
public:
    TFarmReport();  // the embedded template
    explicit TFarmReport(const TReportTemplate& tmpl);

    TReportTemplate frxReport1;
    TUserDataset frxUserDataSet1{QStringLiteral("frxUserDataSet1")};
    std::unique_ptr<TMonthIndex> MonthIndex;
    std::vector<TMonthGroup> MonthGroups;

    // Moves the monthly tables with their labels and the matrix.
    void PlaceTables();
    // Month index, month groups (two passes over the per-record query) and
    // the record count of frxUserDataSet1. Throws EDatabaseError when the
    // query is closed.
    void BuildPercentileSeries(TIBQuery& IBQuery3);
    // Value callback of frxUserDataSet1 (record = month group).
    void frxUserDataSet1GetValue(int record, const QString& VarName, QVariant& Value) const;
    // The whole preparation of a run: placement, series, report. Leaves the
    // month index and groups alive for the preview; call Release() after it.
    // Throws EDatabaseError (closed per-record query) or EReportPrepareError.
    TPreparedReport Prepare(TDataStore& store);
    void Release();
};

// Prepares and writes the report of the farm the per-farm queries select:
// the same preparation as the "Report" button. `output` ending in .json gets
// the prepared report, anything else the PDF.
void vaccoraWriteFarmReport(TFarmReport& report, TDataStore& store, const QString& output);
