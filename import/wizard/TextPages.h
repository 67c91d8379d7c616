// Pages of the CSV and fixed-width text kinds.
#pragma once

#include "import/sources/text/ImportASCII.h"
#include "import/wizard/ImportWizard.h"

#include <functional>
#include <vector>

class QComboBox;
class QPushButton;
class QSpinBox;
class QTableWidget;

class TCSVPage : public TWizardKindPage {
public:
    explicit TCSVPage(TImportWizardF& wizard);
    void Prepare() override;
    void LoadFromSetup() override;
    // maps the selected field to preview column col (0-based); the next field is selected
    void MapColumn(int col);
    void DoAutoFill();
    void DoClear();
    int PreviewColumns() const;

    QTableWidget* Fields;
    QTableWidget* Preview;
    QSpinBox* Skip;
    QComboBox* Encoding;
    QPushButton* AutoFill;
    QPushButton* Clear;

private:
    void fillPreview();
    std::vector<QStringList> m_records;  // the preview's records as read
    bool m_filling = false;
};

// The fixed-width ruler: the first lines of the file, tab-expanded as the
// source expands them, under a ruler of 1-based positions. Dragging across
// positions chooses a field's start and length.
class TTextRuler : public QWidget {
public:
    explicit TTextRuler(QWidget* parent);
    struct TSpan {
        int Start, Length;  // 1-based position
        bool Current;
    };
    QStringList Lines;
    std::vector<TSpan> Spans;
    std::function<void(int start, int length)> OnSelect;
    int PositionAt(int x) const;  // 1-based position under x
    int charWidth() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    int lineHeight() const;
    int rulerHeight() const;
    bool m_dragging = false;
    int m_from = 0, m_to = 0;
};

class TTXTPage : public TWizardKindPage {
public:
    explicit TTXTPage(TImportWizardF& wizard);
    void Prepare() override;
    void LoadFromSetup() override;
    // the selected field takes `length` characters from `start` (counted from 0)
    void MapSpan(int start, int length);

    QTableWidget* Fields;
    QSpinBox* Skip;
    QComboBox* Encoding;
    QPushButton* Clear;
    TTextRuler* Ruler;

private:
    void fillRuler();
    void showSpans();
    QStringList m_lines;  // tab-expanded
    bool m_filling = false;
};
