// A small in-memory import source for engine tests: rows of cell texts,
// map locators are 1-based cell numbers.
#pragma once

#include "import/engine/ImportEngine.h"

#include <QStringList>

#include <vector>

class TTestSource : public TImportEngine {
public:
    std::vector<QStringList> Rows;
    int SkipBlank = 0;  // rows made only of empty cells are skipped by SkipRow when set
    bool ReadFailsAt = false;
    int FailingRow = -1;  // ReadRow raises on this row index

    void PrepareImport() override {
        TotalCount = (int)Rows.size();
        TImportEngine::PrepareImport();
    }
    void BeginRows() override {
        m_pos = 0;
        LineNumber += SkipFirstRows;
        m_pos = SkipFirstRows;
    }
    bool HasRow() override { return m_pos < (int)Rows.size(); }
    bool SkipRow() override { return SkipBlank && Rows[m_pos].join(QString()).isEmpty(); }
    void ReadRow() override {
        if (m_pos == FailingRow) throw EImportError(QStringLiteral("read failure"));
        TImportRow& row = Row();
        row.ClearValues();
        RowEmpty = true;
        for (int i = 0; i < row.Count(); ++i) {
            TImportCol& c = row[i];
            int map = row.MapIndex(c.Name);
            if (map < 0) continue;
            int cell = MapValue(map).toInt() - 1;
            QString v = cell >= 0 && cell < Rows[m_pos].size() ? Rows[m_pos][cell] : QString();
            if (AutoTrimValue) v = v.trimmed();
            if (!v.isEmpty()) RowEmpty = false;
            c.Value = v;
        }
        for (int i = 0; i < row.Count(); ++i) ApplyFieldFormat(row[i]);
    }
    TImportResult WriteRow() override { return WriteRowPattern(false); }
    void NextRow() override { ++m_pos; }
    void EndRows() override { FinalCommitRequest(); }

private:
    int m_pos = 0;
};
