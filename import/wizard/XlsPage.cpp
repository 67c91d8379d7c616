#include "import/wizard/XlsPage.h"

#include "import/sources/spreadsheet/ImportXLS.h"
#include "import/wizard/WizardPages.h"
#include "import/wizard/XlsRangeEdit.h"

#include <QEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

// Paints the cells of the selected field's map and their outline.
class TXLSCellDelegate : public QStyledItemDelegate {
public:
    TXLSCellDelegate(TXLSPage* page, int sheet) : QStyledItemDelegate(page), m_page(page), m_sheet(sheet) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QString name = m_page->SheetNames.value(m_sheet);
        const int row = index.row() + 1, col = index.column() + 1;
        const TMapRow& map = m_page->m_map;
        if (map.Contains(name, m_sheet + 1, row, col)) {
            p->fillRect(option.rect, QColor(255, 236, 179));
            QStyledItemDelegate::paint(p, option, index);
            const TMapRow::TOutline o = map.Outline(name, m_sheet + 1, row, col);
            p->save();
            p->setPen(QPen(QColor(200, 60, 0), 2));
            const QRect r = option.rect.adjusted(1, 1, -1, -1);
            if (!o.Left) p->drawLine(r.topLeft(), r.bottomLeft());
            if (!o.Right) p->drawLine(r.topRight(), r.bottomRight());
            if (!o.Top) p->drawLine(r.topLeft(), r.topRight());
            if (!o.Bottom) p->drawLine(r.bottomLeft(), r.bottomRight());
            p->restore();
            return;
        }
        QStyledItemDelegate::paint(p, option, index);
    }

private:
    TXLSPage* m_page;
    int m_sheet;
};

TXLSPage::TXLSPage(TImportWizardF& wizard) : TWizardKindPage(wizard, aiXLS)
{
    auto* g = new QGridLayout(this);
    auto* left = new QVBoxLayout;
    Fields = new QTableWidget(this);
    Fields->setColumnCount(2);
    Fields->setHorizontalHeaderLabels({QStringLiteral("Field"), QStringLiteral("Ranges")});
    Fields->setSelectionBehavior(QAbstractItemView::SelectRows);
    Fields->setSelectionMode(QAbstractItemView::SingleSelection);
    Fields->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Fields->verticalHeader()->hide();
    Fields->horizontalHeader()->setStretchLastSection(true);
    Fields->setColumnWidth(0, 100);
    Fields->verticalHeader()->setDefaultSectionSize(22);
    left->addWidget(Fields, 2);
    Ranges = new QListWidget(this);
    left->addWidget(Ranges, 1);
    auto* rb = new QGridLayout;
    AddRange = new QPushButton(QStringLiteral("Add"), this);
    EditRangeButton = new QPushButton(QStringLiteral("Edit"), this);
    DelRange = new QPushButton(QStringLiteral("Delete"), this);
    Clear = new QPushButton(QStringLiteral("Clear"), this);
    rb->addWidget(AddRange, 0, 0);
    rb->addWidget(EditRangeButton, 0, 1);
    rb->addWidget(DelRange, 1, 0);
    rb->addWidget(Clear, 1, 1);
    left->addLayout(rb);
    auto* skips = new QGridLayout;
    skips->addWidget(new QLabel(QStringLiteral("Skip row(s)"), this), 0, 0);
    SkipRows = new QSpinBox(this);
    SkipRows->setRange(0, 65535);
    skips->addWidget(SkipRows, 0, 1);
    skips->addWidget(new QLabel(QStringLiteral("Skip col(s)"), this), 1, 0);
    SkipCols = new QSpinBox(this);
    SkipCols->setRange(0, 255);
    skips->addWidget(SkipCols, 1, 1);
    left->addLayout(skips);
    auto* leftBox = new QWidget(this);
    leftBox->setLayout(left);
    leftBox->setMaximumWidth(250);
    g->addWidget(leftBox, 0, 0);
    Sheets = new QTabWidget(this);
    Sheets->setTabPosition(QTabWidget::South);
    g->addWidget(Sheets, 0, 1);
    g->setColumnStretch(1, 1);

    RunRangeEditor = [](TfmXLSRangeEdit& d) { return d.exec() == QDialog::Accepted; };
    connect(Fields, &QTableWidget::currentCellChanged, this, [this] { fieldChanged(); });
    connect(AddRange, &QPushButton::clicked, this, [this] { EditRange(-1); });
    connect(EditRangeButton, &QPushButton::clicked, this, [this] { EditRange(Ranges->currentRow()); });
    connect(Ranges, &QListWidget::itemDoubleClicked, this, [this] { EditRange(Ranges->currentRow()); });
    connect(DelRange, &QPushButton::clicked, this, [this] { DeleteRange(Ranges->currentRow()); });
    connect(Clear, &QPushButton::clicked, this, [this] {
        setup().Kinds[aiXLS].Map.clear();
        LoadFromSetup();
    });
    connect(SkipRows, &QSpinBox::valueChanged, this, [this](int n) {
        if (!m_filling) setup().Kinds[aiXLS].Options.insert(QStringLiteral("SkipRows"), QString::number(n));
    });
    connect(SkipCols, &QSpinBox::valueChanged, this, [this](int n) {
        if (!m_filling) setup().Kinds[aiXLS].Options.insert(QStringLiteral("SkipCols"), QString::number(n));
    });
}

TXLSPage::~TXLSPage() = default;

void TXLSPage::Prepare()
{
    auto file = std::make_unique<TxlsFile>(setup().FileName);
    file->open();
    m_file = std::move(file);
    buildGrids();
}

void TXLSPage::buildGrids()
{
    Sheets->clear();
    for (QTableWidget* t : Grids) delete t;
    Grids.clear();
    SheetNames.clear();
    const TxlsFormatSettings fs = xlsFormatSettings(setup().Formats);
    const int maxRows = m_wizard.Component().ExcelViewerRows;
    const int maxWidth = m_wizard.Component().ExcelMaxColWidth;
    for (int s = 0; s < m_file->worksheetCount(); ++s) {
        TxlsWorkSheet* ws = m_file->worksheet(s);
        SheetNames << m_file->worksheetName(s);
        auto* t = new QTableWidget(Sheets);
        const int rows = qMax(1, qMin(ws->rowCount(), maxRows));
        const int cols = qMax(1, qMin(ws->colCount(), 256));
        t->setRowCount(rows);
        t->setColumnCount(cols);
        QStringList letters;
        for (int c = 1; c <= cols; ++c) letters << xlsColumnLetters(c);
        t->setHorizontalHeaderLabels(letters);
        t->setEditTriggers(QAbstractItemView::NoEditTriggers);
        t->setSelectionMode(QAbstractItemView::NoSelection);
        t->setItemDelegate(new TXLSCellDelegate(this, s));
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c)
                if (TbiffCell* cell = ws->cell(r, c)) t->setItem(r, c, new QTableWidgetItem(cell->text(fs)));
        t->resizeColumnsToContents();
        for (int c = 0; c < cols; ++c)
            t->setColumnWidth(c, qBound(40, t->columnWidth(c), maxWidth));
        t->viewport()->installEventFilter(this);
        Sheets->addTab(t, SheetNames.last());
        Grids.push_back(t);
    }
}

bool TXLSPage::eventFilter(QObject* o, QEvent* e)
{
    if (e->type() == QEvent::MouseButtonPress) {
        for (int s = 0; s < (int)Grids.size(); ++s) {
            if (Grids[s]->viewport() != o) continue;
            auto* me = static_cast<QMouseEvent*>(e);
            const QModelIndex idx = Grids[s]->indexAt(me->position().toPoint());
            if (idx.isValid() && me->button() == Qt::LeftButton) CellClicked(s, idx.row(), idx.column(), me->modifiers());
        }
    }
    return TWizardKindPage::eventFilter(o, e);
}

QString TXLSPage::CurrentField() const
{
    const int r = Fields->currentRow();
    return r >= 0 && Fields->item(r, 0) ? Fields->item(r, 0)->text() : QString();
}

TMapRange TXLSPage::cellRange(int sheet, int row1, int col1, int row2, int col2) const
{
    TMapRange r;
    r.SheetRef = msrName;
    r.SheetName = SheetNames.value(sheet);
    r.FirstRow = row1;
    r.FirstCol = col1;
    r.LastRow = row2;
    r.LastCol = col2;
    r.Direction = (row1 == row2 && col1 == col2) ? mdNone : ((row2 > row1 || col2 > col1) ? mdForward : mdBackward);
    r.UpdateShape();
    return r;
}

void TXLSPage::CellClicked(int sheet, int row, int col, Qt::KeyboardModifiers mods)
{
    if (CurrentField().isEmpty()) return;
    const int r = row + 1, c = col + 1;
    const QString name = SheetNames.value(sheet);
    try {
        if (mods & Qt::ControlModifier) {
            if (m_map.Contains(name, sheet + 1, r, c)) {
                m_map.RemoveCell(name, sheet + 1, r, c);
            } else {
                m_map.Ranges.push_back(cellRange(sheet, r, c, r, c));
                m_map.JoinAdjacent();
            }
        } else if ((mods & Qt::ShiftModifier) && m_anchorSheet == sheet) {
            if (m_anchorRow != r && m_anchorCol != c) {
                // the notation's own message for a block
                xlsParseMap(xlsColumnLetters(m_anchorCol) + QString::number(m_anchorRow) + QLatin1Char('-') +
                            xlsColumnLetters(c) + QString::number(r));
            }
            // the run without the cells at its ends that the map holds already
            int r1 = m_anchorRow, c1 = m_anchorCol, r2 = r, c2 = c;
            const int dr = r2 > r1 ? 1 : (r2 < r1 ? -1 : 0), dc = c2 > c1 ? 1 : (c2 < c1 ? -1 : 0);
            auto held = [&](int rr, int cc) { return m_map.Contains(name, sheet + 1, rr, cc); };
            bool empty = false;
            while (held(r1, c1) && !(empty = (r1 == r2 && c1 == c2))) r1 += dr, c1 += dc;
            if (!empty || !held(r1, c1)) {
                while (held(r2, c2) && !(r1 == r2 && c1 == c2)) r2 -= dr, c2 -= dc;
                m_map.Ranges.push_back(cellRange(sheet, r1, c1, r2, c2));
                m_map.JoinAdjacent();
            }
        } else {
            m_anchorSheet = sheet;
            m_anchorRow = r;
            m_anchorCol = c;
            return;
        }
    } catch (const std::exception& e) {
        TWizardDialogs::Error(this, QString::fromStdString(e.what()));
        return;
    }
    m_anchorSheet = sheet;
    m_anchorRow = r;
    m_anchorCol = c;
    storeMap();
}

void TXLSPage::storeMap()
{
    // rebuilt from the canonical texts
    const QString text = m_map.Text();
    setup().Kinds[aiXLS].SetLocator(CurrentField(), text);
    try {
        m_map.Parse(text);
    } catch (const std::exception&) {
    }
    refreshFields();
    changed();
}

void TXLSPage::refreshFields()
{
    const int row = Fields->currentRow();
    if (row >= 0 && Fields->item(row, 1)) Fields->item(row, 1)->setText(setup().Kinds[aiXLS].Locator(CurrentField()));
    Ranges->clear();
    for (const TMapRange& r : m_map.Ranges) Ranges->addItem(r.Text());
    for (QTableWidget* t : Grids) t->viewport()->update();
}

void TXLSPage::fieldChanged()
{
    if (m_filling) return;
    m_map.Ranges.clear();
    try {
        m_map.Parse(setup().Kinds[aiXLS].Locator(CurrentField()));
    } catch (const std::exception&) {
        m_map.Ranges.clear();
    }
    m_anchorSheet = -1;
    refreshFields();
}

void TXLSPage::EditRange(int index)
{
    if (CurrentField().isEmpty()) return;
    if (index >= (int)m_map.Ranges.size()) return;
    TfmXLSRangeEdit d(this, SheetNames);
    if (index >= 0) d.SetRange(m_map.Ranges[size_t(index)]);
    if (!RunRangeEditor(d)) return;
    if (index >= 0) m_map.Ranges[size_t(index)] = d.Range();
    else m_map.Ranges.push_back(d.Range());
    storeMap();
}

void TXLSPage::DeleteRange(int index)
{
    if (index < 0 || index >= (int)m_map.Ranges.size()) return;
    m_map.Ranges.erase(m_map.Ranges.begin() + index);
    storeMap();
}

void TXLSPage::LoadFromSetup()
{
    m_filling = true;
    const TImportOptions& o = setup().Kinds[aiXLS].Options;
    SkipRows->setValue(o.value(QStringLiteral("SkipRows")).toInt());
    SkipCols->setValue(o.value(QStringLiteral("SkipCols")).toInt());
    const QStringList fields = m_wizard.DestinationFields();
    const int current = Fields->currentRow();
    Fields->setRowCount(fields.size());
    for (int i = 0; i < fields.size(); ++i) {
        Fields->setItem(i, 0, new QTableWidgetItem(fields[i]));
        Fields->setItem(i, 1, new QTableWidgetItem(setup().Kinds[aiXLS].Locator(fields[i])));
    }
    Fields->selectRow(current >= 0 && current < fields.size() ? current : 0);
    m_filling = false;
    fieldChanged();
    changed();
}

// ------------------------------------------------------------ registration

#include "import/wizard/TextPages.h"

void vaccoraRegisterBuiltinWizardPages()
{
    static bool done = false;
    if (done) return;
    done = true;
    vaccoraRegisterWizardPage(aiXLS, [](TImportWizardF& w, TAllowedImport) { return new TXLSPage(w); });
    vaccoraRegisterWizardPage(aiCSV, [](TImportWizardF& w, TAllowedImport) { return new TCSVPage(w); });
    vaccoraRegisterWizardPage(aiTXT, [](TImportWizardF& w, TAllowedImport) { return new TTXTPage(w); });
}
