// The progress window of an import run. The wizard talks to it only through
// posted messages (a code and a value, see Message()) followed by processing
// of the pending events, so that it stays responsive during the row loop.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

class QLabel;
class QProgressBar;
class QPushButton;
class TImportEngine;

// Message codes
enum TImportProgressCode : int {
    ipcState = 1, ipcError = 2, ipcRecord = 3, ipcCommit = 4, ipcFinished = 5, ipcTotal = 6, ipcValueError = 7
};
// Values of ipcState
enum TImportProgressState : int {
    ipsPreparing = 0, ipsImporting, ipsAborted, ipsFinished, ipsPaused, ipsResumed
};

class TImportProgressF : public QDialog {
public:
    explicit TImportProgressF(QWidget* parent);

    // Posts the message and lets the pending events run.
    void Post(int code, int value);
    // The engine whose Canceled flag the Cancel button sets.
    TImportEngine* Engine = nullptr;
    bool Confirmed() const { return m_confirmed; }  // closed with OK

    int Inserted = 0, Updated = 0, Deleted = 0, None = 0, Errors = 0, ValueErrors = 0, Committed = 0;
    QLabel* StatusLabel;
    QLabel* ProcessedLabel;
    QLabel* InsertedLabel;
    QLabel* UpdatedLabel;
    QLabel* DeletedLabel;
    QLabel* ErrorsLabel;
    QLabel* CommittedLabel;
    QLabel* TimeLabel;
    QLabel* PercentLabel;
    QProgressBar* Bar;
    QPushButton* Button;
    qint64 ElapsedMs() const;

protected:
    bool event(QEvent* e) override;
    void reject() override;

private:
    void message(int code, int value);
    void setRunning(bool running);
    void step();
    void refresh();
    void buttonClicked();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_elapsed = 0;  // ms of finished running periods
    bool m_running = false;
    bool m_finished = false;
    bool m_confirmed = false;
};
