// A prepared report: the output pages with every printed object, the
// cross-table and chart data, and the pictures. Saved and opened as UTF-8
// JSON; the renderer paints only from this structure, so a saved report
// prints exactly like the one just prepared.
#pragma once

#include "report/ReportTemplate.h"

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QRectF>
#include <QString>
#include <QVector>

// One framed or filled text box (a part of a cross-table).
struct TPrintedBox {
    QRectF Rect;  // page printable-area coordinates
    QString Text;
    TTextStyle Style;
};

struct TPrintedObject {
    QString Name;
    QString Kind;  // text, picture, richtext, crosstab, chart
    QRectF Rect;   // printable-area coordinates, template units
    QString Text;  // texts
    TTextStyle Style;
    QString Image;        // picture: key into TPreparedReport::Images
    bool KeepAspect = false;
    QString Html;         // rich text
    QVector<TPrintedBox> Boxes;  // cross-table parts printed on this page
    QJsonObject toJson() const;
    static TPrintedObject fromJson(const QJsonObject& o);
};

struct TPreparedPage {
    int Page = 0;  // 1-based across the report
    QString TemplatePage;
    double PaperWidthMm = 210, PaperHeightMm = 297;
    double MarginLeftMm = 10, MarginTopMm = 10;
    QVector<TPrintedObject> Objects;
};

struct TPreparedReport {
    QVector<TPreparedPage> Pages;
    QJsonObject Crosstabs;  // by object name
    QJsonObject Charts;     // by object name: {"definition", "series"}
    QMap<QString, QByteArray> Images;  // picture name -> PNG bytes

    const TPrintedObject* FindObject(int pageIndex, const QString& name) const;

    QJsonObject toJson() const;
    static TPreparedReport fromJson(const QJsonObject& root);
    void save(const QString& fileName) const;          // throws EReportError
    static TPreparedReport open(const QString& fileName);  // throws EReportError
};
