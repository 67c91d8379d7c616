// The pages of the text kinds: CSV (a grid of the first records, columns
// chosen by clicking) and fixed-width text (a ruler over the first lines).
#include "import/sources/text/TextCharset.h"
#include "import/sources/text/TextLineReader.h"
#include "import/sources/text/TextRecords.h"
#include "import/wizard/TextPages.h"
#include "import/wizard/WizardPages.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString kSkipLines = QStringLiteral("SkipLines");
const QString kEncoding = QStringLiteral("Encoding");

// The preview decodes as the source does: by the chosen encoding only.
void openReader(TTextLineReader& r, const QString& file, int encoding)
{
    const TCharsetType ct = vaccoraIsCharset(encoding) ? TCharsetType(encoding) : ctWinDefined;
    const int cp = vaccoraCharsetCodePage(ct);
    if (cp == 0) throw EImportError(ImportFmt(SEncodingWithoutCodePage, {vaccoraCharsetDisplayText(ct)}));
    r.Open(file);
    r.SetCodePage(cp);
}

QComboBox* encodingBox(QWidget* parent)
{
    auto* c = new QComboBox(parent);
    for (int i = 0; i < vaccoraCharsetCount; ++i) c->addItem(vaccoraCharsetDisplayText(TCharsetType(i)));
    return c;
}

QTableWidget* fieldTable(QWidget* parent, const QString& second)
{
    auto* t = new QTableWidget(parent);
    t->setColumnCount(2);
    t->setHorizontalHeaderLabels({QStringLiteral("Field"), second});
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    t->setColumnWidth(0, 110);
    t->setMinimumWidth(220);
    t->setMaximumWidth(240);
    t->verticalHeader()->setDefaultSectionSize(22);
    return t;
}

// Shows a text kind's skip count, encoding and field map; keeps the field row.
void showTextSetup(const TImportKindSetup& kind, const QStringList& fields, QSpinBox* skip, QComboBox* encoding,
                   QTableWidget* table)
{
    skip->setValue(kind.Options.value(kSkipLines).toInt());
    encoding->setCurrentIndex(kind.Options.value(kEncoding).toInt());
    const int current = table->currentRow();
    table->setRowCount(fields.size());
    for (int i = 0; i < fields.size(); ++i) {
        table->setItem(i, 0, new QTableWidgetItem(fields[i]));
        table->setItem(i, 1, new QTableWidgetItem(kind.Locator(fields[i])));
    }
    table->selectRow(current >= 0 && current < fields.size() ? current : 0);
}

}  // namespace

// ---------------------------------------------------------------- TCSVPage

TCSVPage::TCSVPage(TImportWizardF& wizard) : TWizardKindPage(wizard, aiCSV)
{
    auto* g = new QGridLayout(this);
    Fields = fieldTable(this, QStringLiteral("Column"));
    g->addWidget(Fields, 0, 0, 3, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Skip line(s)"), this));
    Skip = new QSpinBox(this);
    Skip->setRange(0, 1000000);
    top->addWidget(Skip);
    top->addWidget(new QLabel(QStringLiteral("Encoding"), this));
    Encoding = encodingBox(this);
    top->addWidget(Encoding);
    top->addStretch();
    AutoFill = new QPushButton(QStringLiteral("Auto fill"), this);
    Clear = new QPushButton(QStringLiteral("Clear"), this);
    top->addWidget(AutoFill);
    top->addWidget(Clear);
    g->addLayout(top, 0, 1);
    Preview = new QTableWidget(this);
    Preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Preview->setSelectionBehavior(QAbstractItemView::SelectColumns);
    Preview->setSelectionMode(QAbstractItemView::SingleSelection);
    g->addWidget(Preview, 1, 1, 2, 1);
    g->setColumnStretch(1, 1);

    connect(Skip, &QSpinBox::valueChanged, this, [this](int n) {
        if (m_filling) return;
        setup().Kinds[aiCSV].Options.insert(kSkipLines, QString::number(n));
        fillPreview();
    });
    connect(Encoding, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (m_filling || i < 0) return;
        setup().Kinds[aiCSV].Options.insert(kEncoding, QString::number(i));
        try {
            fillPreview();
        } catch (const std::exception& e) {
            TWizardDialogs::Error(this, QString::fromStdString(e.what()));
        }
    });
    connect(Preview, &QTableWidget::cellClicked, this, [this](int, int col) { MapColumn(col); });
    connect(Preview->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int col) { MapColumn(col); });
    connect(AutoFill, &QPushButton::clicked, this, [this] { DoAutoFill(); });
    connect(Clear, &QPushButton::clicked, this, [this] { DoClear(); });
}

void TCSVPage::Prepare()
{
    const TImportOptions& o = setup().Kinds[aiCSV].Options;
    const QString d = o.value(QStringLiteral("Delimiter"));
    const QString q = o.value(QStringLiteral("Quote"));
    const char comma = d.isEmpty() ? ',' : char(d[0].toLatin1());
    const char quote = q.isEmpty() ? 0 : char(q[0].toLatin1());
    m_records.clear();
    TTextLineReader reader;
    openReader(reader, setup().FileName, o.value(kEncoding).toInt());
    TTextRecordReader records(reader, comma, quote);
    QString rec;
    // the preview holds the skipped lines and the viewer's rows after them
    const int want = m_wizard.Component().CSVViewerRows + o.value(kSkipLines).toInt();
    while ((int)m_records.size() < want && records.ReadRecord(rec))
        m_records.push_back(vaccoraSplitTextRecord(rec, comma, quote));
    fillPreview();
}

void TCSVPage::fillPreview()
{
    const int skip = setup().Kinds[aiCSV].Options.value(kSkipLines).toInt();
    const int rows = m_wizard.Component().CSVViewerRows;
    int cols = 0;
    for (const QStringList& r : m_records) cols = qMax(cols, (int)r.size());
    Preview->clear();
    Preview->setColumnCount(cols);
    QStringList headers;
    for (int c = 1; c <= cols; ++c) headers << QString::number(c);
    Preview->setHorizontalHeaderLabels(headers);
    const int from = qMin<int>(skip, (int)m_records.size());
    const int n = qMin<int>(rows, (int)m_records.size() - from);
    Preview->setRowCount(n);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < (int)m_records[from + r].size(); ++c)
            Preview->setItem(r, c, new QTableWidgetItem(m_records[from + r][c]));
    Preview->resizeColumnsToContents();
}

int TCSVPage::PreviewColumns() const { return Preview->columnCount(); }

void TCSVPage::LoadFromSetup()
{
    m_filling = true;
    showTextSetup(setup().Kinds[aiCSV], m_wizard.DestinationFields(), Skip, Encoding, Fields);
    m_filling = false;
    fillPreview();
    changed();
}

void TCSVPage::MapColumn(int col)
{
    const int row = Fields->currentRow();
    if (row < 0 || col < 0) return;
    const QString field = Fields->item(row, 0)->text();
    setup().Kinds[aiCSV].SetLocator(field, QString::number(col + 1));
    Fields->item(row, 1)->setText(QString::number(col + 1));
    if (row + 1 < Fields->rowCount()) Fields->selectRow(row + 1);
    changed();
}

void TCSVPage::DoAutoFill()
{
    const QStringList fields = m_wizard.DestinationFields();
    TImportKindSetup& k = setup().Kinds[aiCSV];
    for (int i = 0; i < fields.size(); ++i) k.SetLocator(fields[i], i < PreviewColumns() ? QString::number(i + 1) : QString());
    LoadFromSetup();
}

void TCSVPage::DoClear()
{
    setup().Kinds[aiCSV].Map.clear();
    LoadFromSetup();
}

// -------------------------------------------------------------- TTextRuler

TTextRuler::TTextRuler(QWidget* parent) : QWidget(parent)
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPixelSize(13);
    setFont(f);
    setMouseTracking(false);
}

int TTextRuler::charWidth() const { return qMax(1, fontMetrics().horizontalAdvance(QLatin1Char('0'))); }
int TTextRuler::lineHeight() const { return fontMetrics().height() + 2; }
int TTextRuler::rulerHeight() const { return fontMetrics().height() + 8; }

int TTextRuler::PositionAt(int x) const { return qMax(1, x / charWidth() + 1); }

QSize TTextRuler::sizeHint() const
{
    int w = 80;
    for (const QString& l : Lines) w = qMax(w, (int)l.size() + 2);
    return QSize(w * charWidth() + 4, rulerHeight() + lineHeight() * qMax(1, (int)Lines.size()) + 4);
}

void TTextRuler::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const int cw = charWidth();
    const int rh = rulerHeight();
    // mapped fields
    for (const TSpan& s : Spans) {
        QRect r((s.Start - 1) * cw, rh, s.Length * cw, height() - rh);
        p.fillRect(r, s.Current ? QColor(255, 220, 150) : QColor(200, 225, 255));
        p.setPen(s.Current ? QColor(200, 120, 0) : QColor(70, 110, 200));
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
    if (m_dragging) {
        const int a = qMin(m_from, m_to), b = qMax(m_from, m_to);
        p.fillRect(QRect((a - 1) * cw, 0, (b - a + 1) * cw, height()), QColor(255, 200, 120, 120));
    }
    // ruler
    p.fillRect(QRect(0, 0, width(), rh - 2), QColor(236, 236, 236));
    p.setPen(Qt::black);
    const int cols = width() / cw + 1;
    for (int i = 1; i <= cols; ++i) {
        const int x = (i - 1) * cw;
        const int tick = i % 10 == 0 ? 8 : (i % 5 == 0 ? 5 : 3);
        p.drawLine(x, rh - 2 - tick, x, rh - 2);
        if (i % 10 == 0) p.drawText(QRect(x - 3 * cw, 0, 3 * cw, rh - 8), Qt::AlignRight | Qt::AlignTop, QString::number(i));
    }
    p.setPen(Qt::black);
    for (int i = 0; i < Lines.size(); ++i)
        p.drawText(QRect(0, rh + i * lineHeight(), width(), lineHeight()), Qt::AlignLeft | Qt::AlignVCenter, Lines[i]);
}

void TTextRuler::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) return;
    m_dragging = true;
    m_from = m_to = PositionAt(int(e->position().x()));
    update();
}

void TTextRuler::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_dragging) return;
    m_to = PositionAt(int(e->position().x()));
    update();
}

void TTextRuler::mouseReleaseEvent(QMouseEvent* e)
{
    if (!m_dragging || e->button() != Qt::LeftButton) return;
    m_dragging = false;
    m_to = PositionAt(int(e->position().x()));
    const int a = qMin(m_from, m_to), b = qMax(m_from, m_to);
    update();
    if (OnSelect) OnSelect(a, b - a + 1);
}

// ---------------------------------------------------------------- TTXTPage

TTXTPage::TTXTPage(TImportWizardF& wizard) : TWizardKindPage(wizard, aiTXT)
{
    auto* g = new QGridLayout(this);
    Fields = fieldTable(this, QStringLiteral("Start;Length"));
    g->addWidget(Fields, 0, 0, 3, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Skip line(s)"), this));
    Skip = new QSpinBox(this);
    Skip->setRange(0, 1000000);
    top->addWidget(Skip);
    top->addWidget(new QLabel(QStringLiteral("Encoding"), this));
    Encoding = encodingBox(this);
    top->addWidget(Encoding);
    top->addStretch();
    Clear = new QPushButton(QStringLiteral("Clear"), this);
    top->addWidget(Clear);
    g->addLayout(top, 0, 1);
    Ruler = new TTextRuler(this);
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(Ruler);
    scroll->setWidgetResizable(false);
    scroll->setBackgroundRole(QPalette::Base);
    g->addWidget(scroll, 1, 1, 2, 1);
    g->setColumnStretch(1, 1);

    // the locator's start counts characters from 0
    Ruler->OnSelect = [this](int position, int length) { MapSpan(position - 1, length); };
    connect(Skip, &QSpinBox::valueChanged, this, [this](int n) {
        if (m_filling) return;
        setup().Kinds[aiTXT].Options.insert(kSkipLines, QString::number(n));
        fillRuler();
    });
    connect(Encoding, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (m_filling || i < 0) return;
        setup().Kinds[aiTXT].Options.insert(kEncoding, QString::number(i));
        try {
            Prepare();
        } catch (const std::exception& e) {
            TWizardDialogs::Error(this, QString::fromStdString(e.what()));
        }
    });
    connect(Fields, &QTableWidget::currentCellChanged, this, [this] { showSpans(); });
    connect(Clear, &QPushButton::clicked, this, [this] {
        setup().Kinds[aiTXT].Map.clear();
        LoadFromSetup();
    });
}

void TTXTPage::Prepare()
{
    const TImportOptions& o = setup().Kinds[aiTXT].Options;
    m_lines.clear();
    TTextLineReader reader;
    openReader(reader, setup().FileName, o.value(kEncoding).toInt());
    QString line;
    const int want = m_wizard.Component().TextViewerRows + o.value(kSkipLines).toInt();
    while ((int)m_lines.size() < want && reader.ReadLine(line)) m_lines << vaccoraExpandTabs(line);
    fillRuler();
}

void TTXTPage::fillRuler()
{
    const int skip = setup().Kinds[aiTXT].Options.value(kSkipLines).toInt();
    Ruler->Lines = m_lines.mid(skip, m_wizard.Component().TextViewerRows);
    Ruler->resize(Ruler->sizeHint());
    showSpans();
}

void TTXTPage::showSpans()
{
    Ruler->Spans.clear();
    const int current = Fields->currentRow();
    for (int i = 0; i < Fields->rowCount(); ++i) {
        qint64 start = 0, length = 0;
        const QString loc = setup().Kinds[aiTXT].Locator(Fields->item(i, 0)->text());
        if (TImportASCII::ParseStartLength(loc, start, length) && length > 0 && start >= 0)
            Ruler->Spans.push_back({int(start) + 1, int(length), i == current});
    }
    Ruler->update();
}

void TTXTPage::LoadFromSetup()
{
    m_filling = true;
    showTextSetup(setup().Kinds[aiTXT], m_wizard.DestinationFields(), Skip, Encoding, Fields);
    m_filling = false;
    fillRuler();
    changed();
}

void TTXTPage::MapSpan(int start, int length)
{
    const int row = Fields->currentRow();
    if (row < 0 || length <= 0 || start < 0) return;
    const QString loc = QStringLiteral("%1;%2").arg(start).arg(length);
    setup().Kinds[aiTXT].SetLocator(Fields->item(row, 0)->text(), loc);
    Fields->item(row, 1)->setText(loc);
    if (row + 1 < Fields->rowCount()) Fields->selectRow(row + 1);
    showSpans();
    changed();
}
