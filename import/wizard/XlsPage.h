// The page of the Excel 97-2003 kind: one grid per worksheet, the fields'
// cell-range maps built by Shift/Ctrl clicks and by the range editor.
#pragma once

#include "import/sources/spreadsheet/XlsMap.h"
#include "import/wizard/ImportWizard.h"

#include <memory>
#include <vector>

class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;
class TfmXLSRangeEdit;

class TXLSPage : public TWizardKindPage {
public:
    explicit TXLSPage(TImportWizardF& wizard);
    ~TXLSPage() override;
    void Prepare() override;
    void LoadFromSetup() override;

    // A click on a cell (0-based grid row and column) of sheet tab `sheet`:
    // Ctrl adds or removes the cell, Shift adds the run from the last plain
    // click to this cell; a plain click only sets that anchor.
    void CellClicked(int sheet, int row, int col, Qt::KeyboardModifiers modifiers);
    // range editor on the selected field (index -1: a new range)
    void EditRange(int index);
    void DeleteRange(int index);
    QString CurrentField() const;
    const TMapRow& CurrentMap() const { return m_map; }
    // The dialog that EditRange shows; tests fill it before it is shown.
    std::function<bool(TfmXLSRangeEdit&)> RunRangeEditor;

    QTableWidget* Fields;
    QListWidget* Ranges;
    QPushButton* AddRange;
    QPushButton* EditRangeButton;
    QPushButton* DelRange;
    QPushButton* Clear;
    QSpinBox* SkipRows;
    QSpinBox* SkipCols;
    QTabWidget* Sheets;
    std::vector<QTableWidget*> Grids;
    QStringList SheetNames;

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void buildGrids();
    void fieldChanged();
    void storeMap();  // the model's locator := m_map's text
    void refreshFields();
    TMapRange cellRange(int sheet, int row1, int col1, int row2, int col2) const;
    std::unique_ptr<TxlsFile> m_file;
    TMapRow m_map;  // of the selected field
    int m_anchorSheet = -1, m_anchorRow = -1, m_anchorCol = -1;
    bool m_filling = false;
    friend class TXLSCellDelegate;
};
