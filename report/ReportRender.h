// Painting of a prepared report: onto any QPainter (preview, printer) and
// into a PDF file. Charts are drawn with Qt Charts and need a QApplication.
#pragma once

#include "report/PreparedReport.h"

class QPainter;
class QPrinter;
class QJsonObject;

// Paints page `index` with the painter's origin at the paper's top-left
// corner and one template unit mapped to `unitScale` device pixels.
void vaccoraRenderPage(QPainter& painter, const TPreparedReport& report, int index, double unitScale);
// Paints a chart entry of TPreparedReport::Charts into `target` (template units).
void vaccoraPaintChart(QPainter& painter, const QRectF& target, const QJsonObject& entry);
// Writes every page into a PDF file (fonts embedded). Throws EReportError.
void vaccoraWritePdf(const TPreparedReport& report, const QString& fileName);
// Prints every page (or the printer's page range) on `printer`.
void vaccoraPrintReport(const TPreparedReport& report, QPrinter& printer);
