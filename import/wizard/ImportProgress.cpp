#include "import/wizard/ImportProgress.h"

#include "import/engine/ImportEngine.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QEvent::Type kProgressEvent = QEvent::Type(QEvent::User + 0x1e5);

class TProgressEvent : public QEvent {
public:
    TProgressEvent(int code, int value) : QEvent(kProgressEvent), Code(code), Value(value) {}
    int Code, Value;
};

QLabel* valueLabel(QWidget* parent)
{
    auto* l = new QLabel(QStringLiteral("0"), parent);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setMinimumWidth(80);
    return l;
}

}  // namespace

TImportProgressF::TImportProgressF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ImportProgressF"));
    setWindowTitle(TImportLocale::Text(SStateImporting));
    setWindowModality(Qt::ApplicationModal);
    auto* v = new QVBoxLayout(this);
    StatusLabel = new QLabel(TImportLocale::Text(SStatePreparing), this);
    QFont bold = StatusLabel->font();
    bold.setBold(true);
    StatusLabel->setFont(bold);
    v->addWidget(StatusLabel);
    auto* g = new QGridLayout;
    int r = 0;
    auto row = [&](const char* caption, QLabel*& label) {
        g->addWidget(new QLabel(QString::fromLatin1(caption), this), r, 0);
        label = valueLabel(this);
        g->addWidget(label, r++, 1);
    };
    row("Processed", ProcessedLabel);
    row("Inserted", InsertedLabel);
    row("Updated", UpdatedLabel);
    row("Deleted", DeletedLabel);
    row("Errors", ErrorsLabel);
    row("Committed", CommittedLabel);
    row("Time", TimeLabel);
    TimeLabel->setText(QStringLiteral("0:00:00"));
    v->addLayout(g);
    auto* barRow = new QHBoxLayout;
    Bar = new QProgressBar(this);
    Bar->setTextVisible(false);
    Bar->setMinimum(0);
    Bar->setMaximum(0);
    Bar->setValue(0);
    PercentLabel = new QLabel(QStringLiteral("0%"), this);
    PercentLabel->setMinimumWidth(40);
    barRow->addWidget(Bar, 1);
    barRow->addWidget(PercentLabel);
    v->addLayout(barRow);
    Bar->hide();
    PercentLabel->hide();
    Button = new QPushButton(QStringLiteral("Cancel"), this);
    Button->setObjectName(QStringLiteral("ProgressButton"));
    auto* b = new QHBoxLayout;
    b->addStretch();
    b->addWidget(Button);
    b->addStretch();
    v->addLayout(b);
    resize(320, 250);
    connect(Button, &QPushButton::clicked, this, [this] { buttonClicked(); });
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, [this] { refresh(); });
}

void TImportProgressF::Post(int code, int value)
{
    QCoreApplication::postEvent(this, new TProgressEvent(code, value));
    QCoreApplication::processEvents();
}

bool TImportProgressF::event(QEvent* e)
{
    if (e->type() == kProgressEvent) {
        auto* p = static_cast<TProgressEvent*>(e);
        message(p->Code, p->Value);
        return true;
    }
    return QDialog::event(e);
}

qint64 TImportProgressF::ElapsedMs() const
{
    return m_elapsed + (m_running ? m_clock.elapsed() : 0);
}

void TImportProgressF::setRunning(bool running)
{
    if (running == m_running) return;
    if (running) {
        m_clock.start();
        m_timer.start();
    } else {
        m_elapsed += m_clock.elapsed();
        m_timer.stop();
    }
    m_running = running;
}

void TImportProgressF::step()
{
    if (Bar->maximum() > 0 && Bar->value() < Bar->maximum()) Bar->setValue(Bar->value() + 1);
}

void TImportProgressF::message(int code, int value)
{
    switch (code) {
    case ipcState: {
        static const TImportMessage texts[] = {SStatePreparing, SStateImporting, SStateAborted,
                                               SStateFinished, SStatePaused, SStateImporting};
        if (value < 0 || value > ipsResumed) break;
        StatusLabel->setText(TImportLocale::Text(texts[value]));
        setRunning(value != ipsAborted && value != ipsFinished && value != ipsPaused);
        if (value == ipsPreparing || value == ipsImporting) {
            Button->setText(QStringLiteral("Cancel"));
            setWindowTitle(TImportLocale::Text(SStateImporting));
            m_finished = false;
        }
        break;
    }
    case ipcError: ++Errors; step(); break;
    case ipcRecord:
        switch (value) {
        case ilaInserted: ++Inserted; break;
        case ilaEdited: ++Updated; break;
        case ilaDeleted: ++Deleted; break;
        default: ++None; break;
        }
        step();
        break;
    case ipcCommit: Committed = Inserted + Updated + Deleted; break;
    case ipcFinished:
        Button->setText(QStringLiteral("OK"));
        setWindowTitle(TImportLocale::Text(SImportFinishedCaption));
        m_finished = true;
        setRunning(false);
        break;
    case ipcTotal:
        Bar->setMaximum(value > 0 ? value : 0);
        Bar->setValue(0);
        Bar->setVisible(value != 0);
        PercentLabel->setVisible(value != 0);
        break;
    case ipcValueError: ++ValueErrors; break;
    default: break;
    }
    refresh();
}

void TImportProgressF::refresh()
{
    ProcessedLabel->setText(QString::number(Inserted + Updated + Deleted + None + Errors));
    InsertedLabel->setText(QString::number(Inserted));
    UpdatedLabel->setText(QString::number(Updated));
    DeletedLabel->setText(QString::number(Deleted));
    ErrorsLabel->setText(QString::number(Errors + ValueErrors));
    CommittedLabel->setText(QString::number(Committed));
    const qint64 s = ElapsedMs() / 1000;
    TimeLabel->setText(QStringLiteral("%1:%2:%3")
                           .arg(s / 3600)
                           .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
                           .arg(s % 60, 2, 10, QLatin1Char('0')));
    if (Bar->maximum() > 0)
        PercentLabel->setText(QString::number(qRound(Bar->value() * 100.0 / Bar->maximum())) + QLatin1Char('%'));
}

void TImportProgressF::buttonClicked()
{
    if (m_finished) {
        m_confirmed = true;
        accept();
        return;
    }
    if (Engine) Engine->Canceled = true;
}

void TImportProgressF::reject()
{
    // closing the window by its frame acts like the button
    buttonClicked();
}
