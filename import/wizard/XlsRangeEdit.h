// The range editor of the XLS page: one cell range of a field, edited on a
// copy and handed back on OK after every box has been checked.
#pragma once

#include "import/sources/spreadsheet/XlsMap.h"

#include <QDialog>
#include <QStringList>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;

class TfmXLSRangeEdit : public QDialog {
public:
    TfmXLSRangeEdit(QWidget* parent, const QStringList& sheetNames);
    void SetRange(const TMapRange& range);
    const TMapRange& Range() const { return m_range; }
    // Checks the boxes in turn and builds the range; on an error the box gets
    // the focus and the message is shown. False on error.
    bool Validate();
    QString LastError() const { return m_error; }
    void accept() override;

    QRadioButton* TypeCol;
    QRadioButton* TypeRow;
    QRadioButton* TypeCell;
    QLineEdit* TypeEdit;
    QGroupBox* StartGroup;
    QRadioButton* StartOpen;
    QRadioButton* StartSet;
    QLineEdit* StartEdit;
    QGroupBox* FinishGroup;
    QRadioButton* FinishOpen;
    QRadioButton* FinishSet;
    QLineEdit* FinishEdit;
    QGroupBox* DirectionGroup;
    QRadioButton* Forward;
    QRadioButton* Backward;
    QRadioButton* DefaultSheet;
    QRadioButton* CustomSheet;
    QRadioButton* BySheetNumber;
    QRadioButton* BySheetName;
    QComboBox* SheetNumber;
    QComboBox* SheetName;

private:
    void updateControls();
    bool fail(QWidget* box, const QString& message);
    TMapRange m_range;
    QString m_error;
};
