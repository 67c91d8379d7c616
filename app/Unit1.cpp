#include "app/Unit1.h"

#include "app/Modules.h"
#include "data/DataStore.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>

std::function<void(const QString&)> TForm1::ErrorSink;

// ------------------------------------------------------------ TDBLookupListBox

TDBLookupListBox::TDBLookupListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void TDBLookupListBox::LoadFrom(const TIBQuery& query)
{
    blockSignals(true);
    clear();
    m_active = query.Active();
    if (m_active) {
        for (int i = 0; i < query.RecordCount(); ++i) {
            const QVariant v = query.Row(i).empty() ? QVariant() : query.Row(i)[0];
            addItem(v.isValid() ? v.toString() : QString());
        }
        int row = -1;
        if (!m_chosen.isEmpty())
            for (int i = 0; i < count(); ++i)
                if (item(i)->text() == m_chosen) { row = i; break; }
        if (row >= 0) {
            setCurrentRow(row);
            m_text = m_chosen;
        } else {
            m_chosen.clear();
            if (count() > 0) {
                setCurrentRow(0, QItemSelectionModel::NoUpdate);  // current, not highlighted
                clearSelection();
                m_text = item(0)->text();
            } else {
                m_text.clear();
            }
        }
    }
    blockSignals(false);
}

int TDBLookupListBox::RowAt(int y) const
{
    if (!m_active || count() == 0) return -1;
    const int h = sizeHintForRow(0) > 0 ? sizeHintForRow(0) : 1;
    int top = 0;
    if (QListWidgetItem* first = itemAt(QPoint(1, 1))) top = row(first);
    int r = top + std::max(0, y) / h;
    return std::min(r, count() - 1);
}

void TDBLookupListBox::choose(int r)
{
    if (r < 0) return;
    setCurrentRow(r);
    m_chosen = item(r)->text();
    m_text = m_chosen;
}

void TDBLookupListBox::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && m_active) choose(RowAt(int(e->position().y())));
    setFocus(Qt::MouseFocusReason);
    emit MouseDown(e->button(), false);
}

void TDBLookupListBox::mouseDoubleClickEvent(QMouseEvent* e)
{
    // second press of a double click: the selection stays
    emit MouseDown(e->button(), true);
}

void TDBLookupListBox::mouseMoveEvent(QMouseEvent*)
{
    // dragging does not move the selection
}

void TDBLookupListBox::keyPressEvent(QKeyEvent* e)
{
    QListWidget::keyPressEvent(e);
    if (m_active && currentRow() >= 0) {
        if (selectedItems().isEmpty()) setCurrentRow(currentRow());
        m_chosen = currentItem()->text();
        m_text = m_chosen;
    }
}

// ---------------------------------------------------------------------- TForm1

TForm1::TForm1(TDataStore& store, IReportModule* report, IImportModule* import, QWidget* parent)
    : QWidget(parent), m_store(store), m_report(report), m_import(import)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Vaccora 1.0"));
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(11);  // "MS Sans Serif", 8 points
    setFont(f);
    setFixedSize(361, 425);
    move(406, 265);

    Button2 = new QPushButton(QStringLiteral("Import dat"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(16, 8, 97, 25);
    Button1 = new QPushButton(QStringLiteral("Report"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(248, 8, 97, 25);
    Label4 = new QLabel(QStringLiteral("Farms"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->move(8, 56);
    Label4->adjustSize();
    DBLookupListBox1 = new TDBLookupListBox(this);
    DBLookupListBox1->setObjectName(QStringLiteral("DBLookupListBox1"));
    DBLookupListBox1->setGeometry(8, 72, 345, 342);

    setTabOrder(DBLookupListBox1, Button1);
    setTabOrder(Button1, Button2);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(DBLookupListBox1, &TDBLookupListBox::MouseDown, this, [this] { DBLookupListBox1MouseDown(); });

    DBLookupListBox1->LoadFrom(m_store.IBQuery2);
    DBLookupListBox1->setFocus();
}

void TForm1::ShowError(QWidget* parent, const QString& text)
{
    if (ErrorSink) {
        ErrorSink(text);
        return;
    }
    QMessageBox::critical(parent, QStringLiteral("Vaccora 1.0"), text);
}

template <class F> void TForm1::guarded(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        ShowError(this, QString::fromUtf8(e.what()));
    }
}

void TForm1::Button1Click()
{
    guarded([this] {
        if (!m_report) throw std::runtime_error("The report module is not available in this build.");
        m_report->Button1Click(m_store, this);
    });
}

void TForm1::Button2Click()
{
    guarded([this] {
        if (!m_import) throw std::runtime_error("The import wizard is not available in this build.");
        m_import->Execute(m_store, this, [this] { ImportWizard1AfterImport(); });
    });
}

void TForm1::ImportWizard1AfterImport()
{
    // A failing step stops the refresh; the list shows what the farm query
    // holds afterwards (nothing when it stayed closed).
    guarded([this] { m_store.RefreshAfterImport(); });
    DBLookupListBox1->LoadFrom(m_store.IBQuery2);
}

void TForm1::DBLookupListBox1MouseDown()
{
    const QString s = DBLookupListBox1->SelectedText();
    // Only a farm number goes into the statements; anything else (an empty
    // list) leaves the queries as they are.
    static const QRegularExpression farm(QStringLiteral("^-?[0-9]+$"));
    if (!farm.match(s).hasMatch()) return;
    guarded([this, &s] {
        m_reportDatasetsEnabled = false;
        m_store.RetargetFarm(s);
        m_reportDatasetsEnabled = true;
    });
}

void TForm1::closeEvent(QCloseEvent* e)
{
    try {
        m_store.Close();  // commits
    } catch (const std::exception& ex) {
        ShowError(this, QString::fromUtf8(ex.what()));
    }
    e->accept();
}
