#include "import/wizard/XlsRangeEdit.h"

#include "import/wizard/ImportWizard.h"
#include "import/wizard/WizardPages.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

bool isLetter(QChar c) { return c >= QLatin1Char('A') && c <= QLatin1Char('Z'); }
bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

QString found(const QString& s, int i) { return QString(s[i]); }

}  // namespace

TfmXLSRangeEdit::TfmXLSRangeEdit(QWidget* parent, const QStringList& sheetNames) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmXLSRangeEdit"));
    setWindowTitle(WizText(SWizRangeCaption));
    auto* v = new QVBoxLayout(this);
    auto* type = new QGroupBox(QStringLiteral("Range Type"), this);
    auto* tl = new QGridLayout(type);
    TypeCol = new QRadioButton(QStringLiteral("Col"), type);
    TypeRow = new QRadioButton(QStringLiteral("Row"), type);
    TypeCell = new QRadioButton(QStringLiteral("Cell"), type);
    TypeEdit = new QLineEdit(type);
    tl->addWidget(TypeCol, 0, 0);
    tl->addWidget(TypeRow, 0, 1);
    tl->addWidget(TypeCell, 0, 2);
    tl->addWidget(TypeEdit, 0, 3);
    v->addWidget(type);
    auto* ends = new QHBoxLayout;
    StartGroup = new QGroupBox(QStringLiteral("Start"), this);
    auto* sl = new QGridLayout(StartGroup);
    StartOpen = new QRadioButton(QStringLiteral("Where data started"), StartGroup);
    StartSet = new QRadioButton(QStringLiteral("Start Row"), StartGroup);
    StartEdit = new QLineEdit(StartGroup);
    sl->addWidget(StartOpen, 0, 0, 1, 2);
    sl->addWidget(StartSet, 1, 0);
    sl->addWidget(StartEdit, 1, 1);
    FinishGroup = new QGroupBox(QStringLiteral("Finish"), this);
    auto* fl = new QGridLayout(FinishGroup);
    FinishOpen = new QRadioButton(QStringLiteral("Where data finished"), FinishGroup);
    FinishSet = new QRadioButton(QStringLiteral("Finish Row"), FinishGroup);
    FinishEdit = new QLineEdit(FinishGroup);
    fl->addWidget(FinishOpen, 0, 0, 1, 2);
    fl->addWidget(FinishSet, 1, 0);
    fl->addWidget(FinishEdit, 1, 1);
    ends->addWidget(StartGroup);
    ends->addWidget(FinishGroup);
    v->addLayout(ends);
    DirectionGroup = new QGroupBox(QStringLiteral("Direction"), this);
    auto* dl = new QHBoxLayout(DirectionGroup);
    Forward = new QRadioButton(QStringLiteral("Down"), DirectionGroup);
    Backward = new QRadioButton(QStringLiteral("Up"), DirectionGroup);
    dl->addWidget(Forward);
    dl->addWidget(Backward);
    v->addWidget(DirectionGroup);
    auto* sheet = new QGroupBox(QStringLiteral("Sheet"), this);
    auto* shl = new QGridLayout(sheet);
    DefaultSheet = new QRadioButton(QStringLiteral("Default Sheet"), sheet);
    CustomSheet = new QRadioButton(QStringLiteral("Custom Sheet"), sheet);
    BySheetNumber = new QRadioButton(QStringLiteral("Sheet Number"), sheet);
    BySheetName = new QRadioButton(QStringLiteral("Sheet Name"), sheet);
    SheetNumber = new QComboBox(sheet);
    SheetNumber->setEditable(true);
    for (int i = 1; i <= sheetNames.size(); ++i) SheetNumber->addItem(QString::number(i));
    SheetName = new QComboBox(sheet);
    SheetName->setEditable(true);
    SheetName->addItems(sheetNames);
    shl->addWidget(DefaultSheet, 0, 0);
    shl->addWidget(CustomSheet, 1, 0);
    shl->addWidget(BySheetNumber, 1, 1);
    shl->addWidget(SheetNumber, 1, 2);
    shl->addWidget(BySheetName, 2, 1);
    shl->addWidget(SheetName, 2, 2);
    v->addWidget(sheet);
    auto* bb = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    v->addWidget(bb);
    connect(bb, &QDialogButtonBox::accepted, this, &TfmXLSRangeEdit::accept);
    connect(bb, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // each pair of choices is its own group
    auto group = [this](std::initializer_list<QRadioButton*> buttons) {
        auto* g = new QButtonGroup(this);
        for (QRadioButton* b : buttons) {
            g->addButton(b);
            connect(b, &QRadioButton::toggled, this, [this] { updateControls(); });
        }
    };
    group({TypeCol, TypeRow, TypeCell});
    group({StartOpen, StartSet});
    group({FinishOpen, FinishSet});
    group({Forward, Backward});
    group({DefaultSheet, CustomSheet});
    group({BySheetNumber, BySheetName});
    TypeCol->setChecked(true);
    StartOpen->setChecked(true);
    FinishOpen->setChecked(true);
    Forward->setChecked(true);
    DefaultSheet->setChecked(true);
    BySheetNumber->setChecked(true);
    updateControls();
}

void TfmXLSRangeEdit::updateControls()
{
    const bool col = TypeCol->isChecked(), row = TypeRow->isChecked();
    StartGroup->setEnabled(col || row);
    FinishGroup->setEnabled(col || row);
    StartSet->setText(row ? QStringLiteral("Start Col") : QStringLiteral("Start Row"));
    FinishSet->setText(row ? QStringLiteral("Finish Col") : QStringLiteral("Finish Row"));
    Forward->setText(row ? QStringLiteral("Right") : QStringLiteral("Down"));
    Backward->setText(row ? QStringLiteral("Left") : QStringLiteral("Up"));
    DirectionGroup->setEnabled((col || row) && (StartOpen->isChecked() || FinishOpen->isChecked()));
    StartEdit->setEnabled(StartSet->isChecked());
    FinishEdit->setEnabled(FinishSet->isChecked());
    const bool custom = CustomSheet->isChecked();
    BySheetNumber->setEnabled(custom);
    BySheetName->setEnabled(custom);
    SheetNumber->setEnabled(custom && BySheetNumber->isChecked());
    SheetName->setEnabled(custom && BySheetName->isChecked());
}

void TfmXLSRangeEdit::SetRange(const TMapRange& r)
{
    m_range = r;
    const bool rowShape = r.Shape == mshRow;
    const bool cell = r.Shape == mshCell;
    (cell ? TypeCell : rowShape ? TypeRow : TypeCol)->setChecked(true);
    if (cell) {
        TypeEdit->setText(xlsColumnLetters(r.FirstCol) + QString::number(r.FirstRow));
    } else if (rowShape) {
        TypeEdit->setText(r.FirstRow > 0 ? QString::number(r.FirstRow) : QString());
        (r.FirstCol > 0 ? StartSet : StartOpen)->setChecked(true);
        (r.LastCol > 0 ? FinishSet : FinishOpen)->setChecked(true);
        StartEdit->setText(r.FirstCol > 0 ? xlsColumnLetters(r.FirstCol) : QString());
        FinishEdit->setText(r.LastCol > 0 ? xlsColumnLetters(r.LastCol) : QString());
    } else {
        TypeEdit->setText(r.FirstCol > 0 ? xlsColumnLetters(r.FirstCol) : QString());
        (r.FirstRow > 0 ? StartSet : StartOpen)->setChecked(true);
        (r.LastRow > 0 ? FinishSet : FinishOpen)->setChecked(true);
        StartEdit->setText(r.FirstRow > 0 ? QString::number(r.FirstRow) : QString());
        FinishEdit->setText(r.LastRow > 0 ? QString::number(r.LastRow) : QString());
    }
    (r.Direction == mdBackward ? Backward : Forward)->setChecked(true);
    if (r.SheetRef == msrDefault) {
        DefaultSheet->setChecked(true);
    } else {
        CustomSheet->setChecked(true);
        if (r.SheetRef == msrNumber) {
            BySheetNumber->setChecked(true);
            SheetNumber->setCurrentText(QString::number(r.SheetNumber));
        } else {
            BySheetName->setChecked(true);
            // the notation upper-cases names; show the workbook's spelling
            const int i = SheetName->findText(r.SheetName, Qt::MatchFixedString);
            if (i >= 0) SheetName->setCurrentIndex(i);
            else SheetName->setCurrentText(r.SheetName);
        }
    }
    updateControls();
}

bool TfmXLSRangeEdit::fail(QWidget* box, const QString& message)
{
    m_error = message;
    box->setFocus();
    TWizardDialogs::Error(this, message);
    return false;
}

bool TfmXLSRangeEdit::Validate()
{
    m_error.clear();
    // letters of a column box; 0 after a failure
    auto letters = [this](QLineEdit* box, int emptyMsg, int longMsg, int& col) {
        const QString s = box->text().trimmed().toUpper();
        if (s.isEmpty()) return fail(box, WizText(emptyMsg));
        int i = 0;
        while (i < s.size() && isLetter(s[i])) ++i;
        if (i == 0) return fail(box, ImportFmt(WizText(SWizLetterExpected), {found(s, 0), QStringLiteral("1")}));
        if (i < s.size()) return fail(box, WizText(longMsg));
        try {
            xlsParseMap(s + QStringLiteral("1"));  // the notation's column limit
        } catch (const std::exception& e) {
            return fail(box, QString::fromStdString(e.what()));
        }
        col = xlsColumnNumber(s);
        return true;
    };
    auto number = [this](QLineEdit* box, int emptyMsg, int longMsg, int& row, bool isRow) {
        const QString s = box->text().trimmed();
        if (s.isEmpty()) return fail(box, WizText(emptyMsg));
        int i = 0;
        while (i < s.size() && isDigit(s[i])) ++i;
        if (i == 0) return fail(box, ImportFmt(WizText(SWizNumberExpected), {found(s, 0), QStringLiteral("1")}));
        if (i < s.size()) return fail(box, WizText(longMsg));
        try {
            if (isRow) xlsParseMap(QStringLiteral("A") + s);  // the notation's row limits
            row = s.toInt();
        } catch (const std::exception& e) {
            return fail(box, QString::fromStdString(e.what()));
        }
        return true;
    };

    TMapRange r;
    if (TypeCell->isChecked()) {
        const QString s = TypeEdit->text().trimmed().toUpper();
        if (s.isEmpty()) return fail(TypeEdit, WizText(SWizCellIsEmpty));
        int i = 0;
        while (i < s.size() && isLetter(s[i])) ++i;
        if (i == 0) return fail(TypeEdit, ImportFmt(WizText(SWizLetterExpected), {found(s, 0), QStringLiteral("1")}));
        const int digits = i;
        while (i < s.size() && isDigit(s[i])) ++i;
        if (i == digits) {
            if (digits >= s.size()) return fail(TypeEdit, ImportFmt(WizText(SWizNumberExpected), {QStringLiteral("end of range"), QString::number(digits + 1)}));
            return fail(TypeEdit, ImportFmt(WizText(SWizNumberExpected), {found(s, digits), QString::number(digits + 1)}));
        }
        if (i < s.size()) return fail(TypeEdit, WizText(SWizLongCell));
        try {
            std::vector<TMapRange> p = xlsParseMap(s);
            r = p.at(0);
        } catch (const std::exception& e) {
            return fail(TypeEdit, QString::fromStdString(e.what()));
        }
    } else {
        const bool col = TypeCol->isChecked();
        int line = 0, a = 0, b = 0;
        if (col) {
            if (!letters(TypeEdit, SWizColIsEmpty, SWizLongCol, line)) return false;
        } else {
            if (!number(TypeEdit, SWizRowIsEmpty, SWizLongRow, line, true)) return false;
        }
        // the ends are rows of a column, columns of a row
        auto end = [&](QRadioButton* set, QLineEdit* box, int& v) {
            if (!set->isChecked()) return true;
            return col ? number(box, SWizRowIsEmpty, SWizLongRow, v, true) : letters(box, SWizColIsEmpty, SWizLongCol, v);
        };
        if (!end(StartSet, StartEdit, a) || !end(FinishSet, FinishEdit, b)) return false;
        if (col) {
            r.FirstCol = r.LastCol = line;
            r.FirstRow = a;
            r.LastRow = b;
        } else {
            r.FirstRow = r.LastRow = line;
            r.FirstCol = a;
            r.LastCol = b;
        }
        if (a > 0 && b > 0) {
            if (a == b) {
                // equal ends: a single cell
                r.Direction = mdNone;
            } else {
                r.Direction = b > a ? mdForward : mdBackward;
            }
        } else {
            r.Direction = Forward->isChecked() ? mdForward : mdBackward;
        }
    }
    if (CustomSheet->isChecked()) {
        if (BySheetNumber->isChecked()) {
            const QString s = SheetNumber->currentText().trimmed();
            int n = 0;
            if (s.isEmpty()) return fail(SheetNumber, WizText(SWizSheetIsEmpty));
            int i = 0;
            while (i < s.size() && isDigit(s[i])) ++i;
            if (i == 0) return fail(SheetNumber, ImportFmt(WizText(SWizNumberExpected), {found(s, 0), QStringLiteral("1")}));
            if (i < s.size()) return fail(SheetNumber, WizText(SWizLongSheet));
            n = s.toInt();
            r.SheetRef = msrNumber;
            r.SheetNumber = n;
        } else {
            const QString s = SheetName->currentText();
            if (s.trimmed().isEmpty()) return fail(SheetName, WizText(SWizSheetIsEmpty));
            try {
                xlsParseMap(QLatin1Char('[') + s + QStringLiteral("]A1"));
            } catch (const std::exception& e) {
                return fail(SheetName, QString::fromStdString(e.what()));
            }
            r.SheetRef = msrName;
            r.SheetName = s;
        }
    }
    r.UpdateShape();
    // the range as the notation reads it back
    try {
        std::vector<TMapRange> p = xlsParseMap(r.Text());
        if (p.size() != 1) return fail(TypeEdit, WizText(SWizLongCell));
        m_range = p[0];
    } catch (const std::exception& e) {
        return fail(TypeEdit, QString::fromStdString(e.what()));
    }
    return true;
}

void TfmXLSRangeEdit::accept()
{
    if (Validate()) QDialog::accept();
}
