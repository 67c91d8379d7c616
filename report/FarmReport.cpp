#include "report/FarmReport.h"

#include "data/DataStore.h"
#include "report/ReportRender.h"

#include <algorithm>
#include <cmath>

int TMonthIndex::Insert(const QString& label) {
    auto it = m_pos.constFind(label);
    if (it != m_pos.constEnd()) return *it;
    const int i = (int)m_labels.size();
    m_pos.insert(label, i);
    m_labels.push_back(label);
    return i;
}

int TMonthIndex::IndexOf(const QString& label) const { return m_pos.value(label, -1); }

void TMonthGroup::Sort() {
    std::stable_sort(m_pairs.begin(), m_pairs.end(), [](const TMonthPair& a, const TMonthPair& b) { return a.SB < b.SB; });
}

long long vaccoraPercentilePosition(long long n) {
    // long double is the x87 80-bit extended format on x86-64; the default
    // rounding mode (to nearest, ties to even) applies to every step.
    volatile long double count = (long double)n;
    long double p = count / 100.0L;
    p = p * 90.0L;
    return std::llrintl(p);
}

std::int32_t vaccoraPercentileSB(const TMonthGroup& g) {
    if (g.Count() == 0) return 0;
    long long pos = vaccoraPercentilePosition(g.Count());
    if (pos >= g.Count()) pos = g.Count() - 1;
    return g.At((int)pos).SB;
}

TFarmReport::TFarmReport() : TFarmReport(TReportTemplate::farmReport()) {}

TFarmReport::TFarmReport(const TReportTemplate& tmpl) : frxReport1(tmpl) {
    frxUserDataSet1.RangeEndCount = frxReport1.Settings.value("user_dataset_initial_count").toInt(5);
    frxUserDataSet1.OnGetValue = [this](int record, const QString& name, QVariant& value) { frxUserDataSet1GetValue(record, name, value); };
}

void TFarmReport::PlaceTables() {
    auto place = [this](const QString& pageName, const QString& table, const QStringList& labels) {
        TTemplatePage* page = frxReport1.FindPage(pageName);
        if (!page) throw EReportError(QStringLiteral("Page %1 not found in the report template").arg(pageName));
        TTemplateObject& cross = frxReport1.Object(table);
        const double W = page->Width();
        const double m = frxReport1.Object(labels.front()).Width;
        const double c = cross.Width;
        cross.Left = W / 2 - (c + m);
        for (const QString& l : labels) frxReport1.Object(l).Left = cross.Left - m;
    };
    place(QStringLiteral("Page2"), QStringLiteral("DBCross2"),
          {"Memo6", "Memo7", "Memo8", "Memo9", "Memo10", "Memo11", "Memo12"});
    place(QStringLiteral("Page3"), QStringLiteral("DBCross4"),
          {"Memo13", "Memo14", "Memo15", "Memo16", "Memo17", "Memo18", "Memo19"});
    frxReport1.Object(QStringLiteral("DBCross3")).Left = 0;
}

static std::int32_t toInt32(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return 0;  // NULL read as 0
    return (std::int32_t)v.toLongLong();
}

void TFarmReport::BuildPercentileSeries(TIBQuery& IBQuery3) {
    Release();
    if (!IBQuery3.Active()) throw EDatabaseError(std::string("IBQuery3: Cannot perform this operation on a closed dataset"));
    MonthIndex = std::make_unique<TMonthIndex>();
    for (IBQuery3.First(); !IBQuery3.Eof(); IBQuery3.Next()) MonthIndex->Insert(IBQuery3.Value(0).toString());
    MonthGroups.assign(MonthIndex->Count(), TMonthGroup());
    for (IBQuery3.First(); !IBQuery3.Eof(); IBQuery3.Next()) {
        const QString label = IBQuery3.Value(0).toString();
        const int pos = MonthIndex->IndexOf(label);
        MonthGroups.at(pos).Append(toInt32(IBQuery3.Value(1)), toInt32(IBQuery3.Value(2)));
    }
    IBQuery3.First();
    for (TMonthGroup& g : MonthGroups) g.Sort();
    frxUserDataSet1.RangeEndCount = (int)MonthGroups.size();
}

void TFarmReport::frxUserDataSet1GetValue(int record, const QString& VarName, QVariant& Value) const {
    if (!MonthIndex || record < 0 || record >= (int)MonthGroups.size()) return;
    if (VarName.compare(QLatin1String("mesic"), Qt::CaseInsensitive) == 0) {
        Value = MonthIndex->Label(record);
    } else if (VarName.compare(QLatin1String("SB"), Qt::CaseInsensitive) == 0) {
        Value = (int)vaccoraPercentileSB(MonthGroups[record]);
    } else if (VarName.compare(QLatin1String("mesic_int"), Qt::CaseInsensitive) == 0) {
        Value = MonthGroups[record].Count() > 0 ? (int)MonthGroups[record].At(0).Month : 0;
    }
}

TPreparedReport TFarmReport::Prepare(TDataStore& store) {
    try {
        PlaceTables();
        BuildPercentileSeries(store.IBQuery3);
        TQueryDataset ds1(QStringLiteral("frxDBDataset1"), store.IBQuery1);
        TQueryDataset ds2(QStringLiteral("frxDBDataset2"), store.IBQuery3);
        TReportEngine engine(frxReport1);
        engine.AddDataset(&ds1);
        engine.AddDataset(&ds2);
        engine.AddDataset(&frxUserDataSet1);
        return engine.Prepare();
    } catch (const EReportPrepareError&) {
        throw;  // the containers stay until the caller's Release
    } catch (...) {
        Release();
        throw;
    }
}

void TFarmReport::Release() {
    MonthGroups.clear();
    MonthGroups.shrink_to_fit();
    MonthIndex.reset();
}

void vaccoraWriteFarmReport(TFarmReport& report, TDataStore& store, const QString& output) {
    struct TRelease {
        TFarmReport& r;
        ~TRelease() { r.Release(); }
    } release{report};
    const TPreparedReport prepared = report.Prepare(store);
    if (output.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)) prepared.save(output);
    else vaccoraWritePdf(prepared, output);
}
