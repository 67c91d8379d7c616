// The common pages of the wizard window: formats (page 2) and the last page
// (page 3). Both edit the window's import setup directly.
#pragma once

#include "import/wizard/ImportWizard.h"

#include <QDialog>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QRadioButton;
class QTabWidget;

// Wizard texts that the engine's table lacks (numbers from 44000 up).
enum TWizardMessage : int {
    SWizHelp = 44000, SWizBack, SWizNext, SWizCancel, SWizExecute, SWizSourceFileName, SWizTemplateOptions,
    SWizLoadTemplate, SWizSaveTemplate, SWizGoToLastPage, SWizAutoSaveTemplate,
    SWizColIsEmpty, SWizRowIsEmpty, SWizCellIsEmpty, SWizSheetIsEmpty, SWizLongCol, SWizLongRow, SWizLongCell,
    SWizLongSheet, SWizLetterExpected, SWizNumberExpected, SWizRangeCaption
};
void vaccoraRegisterWizardTexts();
QString WizText(int id);

// Separator boxes: one character, or "#" and a code; shown coded.
QString vaccoraSeparatorText(QChar c);
QChar vaccoraDecodeSeparator(const QString& text, QChar current);

class TReplacementEdit : public QDialog {
public:
    explicit TReplacementEdit(QWidget* parent);
    QLineEdit* TextToFind;
    QLineEdit* ReplaceWith;
    QCheckBox* IgnoreCase;
    void accept() override;  // refuses an empty text to find
};

class TWizardFormatsPage : public QWidget {
public:
    explicit TWizardFormatsPage(TImportWizardF& wizard);
    void LoadFromSetup();

    QTabWidget* Tabs;
    QLineEdit* Decimal;
    QLineEdit* Thousand;
    QLineEdit* DateSep;
    QLineEdit* TimeSep;
    QLineEdit* ShortDate;
    QLineEdit* LongDate;
    QLineEdit* ShortTime;
    QLineEdit* LongTime;
    QPlainTextEdit* BooleanTrue;
    QPlainTextEdit* BooleanFalse;
    QPlainTextEdit* NullValues;
    QListWidget* Fields;
    QLineEdit* GeneratorValue;
    QLineEdit* GeneratorStep;
    QLineEdit* ConstantValue;
    QLineEdit* NullValue;
    QLineEdit* DefaultValue;
    QLineEdit* LeftQuote;
    QLineEdit* RightQuote;
    QComboBox* QuoteAction;
    QComboBox* CharCase;
    QComboBox* CharSet;
    QListWidget* Replacements;
    QPlainTextEdit* Script;
    // replacement editing of the selected field (the editor dialog is shown)
    void AddReplacement();
    void EditReplacement();
    void DelReplacement();
    void SeparatorEdited(QLineEdit* box, QChar& target);
    TImportFieldFormat& CurrentFormat();  // entry of the selected field

private:
    void showField();
    void storeField();
    void storeBase();
    void fillReplacements();
    bool execEditor(TReplacementEdit& ed);
    TImportWizardF& m_wizard;
    bool m_filling = false;
};

class TWizardLastPage : public QWidget {
public:
    explicit TWizardLastPage(TImportWizardF& wizard);
    void LoadFromSetup();

    QTabWidget* Tabs;
    QRadioButton* ImportAll;
    QRadioButton* ImportFirst;
    QLineEdit* ImportCount;
    QRadioButton* CommitWhenDone;
    QRadioButton* CommitAfterEach;
    QLineEdit* CommitCount;
    QCheckBox* CloseAfterImport;
    QCheckBox* EnableErrorLog;
    QLineEdit* ErrorLogFileName;
    QPushButton* BrowseLog;
    QCheckBox* RewriteLog;
    QCheckBox* ShowLog;
    QPushButton* SaveTemplateButton;
    QComboBox* ImportMode;
    QComboBox* AddType;
    QCheckBox* ImportEmptyRows;
    QCheckBox* AutoTrimValue;
    QListWidget* Available;
    QListWidget* Keys;
    QPushButton* AddKey;
    QPushButton* AddAllKeys;
    QPushButton* RemoveKey;
    QPushButton* RemoveAllKeys;
    // moves the selected (or all) entries between the two lists
    void MoveKeys(bool toKeys, bool all);
    void SyncKeys();  // model's key columns := the Key Columns list

private:
    void importCountEdited();
    void commitCountEdited();
    TImportWizardF& m_wizard;
    bool m_filling = false;
    int m_lastImportCount = 0;
};

// Built-in kind pages
void vaccoraRegisterBuiltinWizardPages();
