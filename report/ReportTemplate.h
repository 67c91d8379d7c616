// Report template: pages, bands and positioned objects, loaded from a JSON
// data file. Units are 1/96 inch ("template units"); object positions are
// relative to their band, band-less objects relative to the printable area.
#pragma once

#include <QFont>
#include <QJsonObject>
#include <QString>
#include <QVector>

#include <stdexcept>

class EReportError : public std::runtime_error {
public:
    explicit EReportError(const QString& msg) : std::runtime_error(msg.toStdString()) {}
};

constexpr double kUnitsPerMm = 3.77953;

struct TFontDef {
    QString Name = QStringLiteral("Arial");
    double Px = 11;  // pixel height at 96 dpi
    bool Bold = false;
    QJsonObject toJson() const;
    static TFontDef fromJson(const QJsonObject& o, const TFontDef& base);
    static TFontDef fromJson(const QJsonObject& o);
};

// Look of a text box (text objects and cross-table parts).
struct TTextStyle {
    TFontDef Font;
    QString Color = QStringLiteral("#000000");
    QString Background;  // empty: transparent
    QString HAlign = QStringLiteral("left");   // left, center, right, justify
    QString VAlign = QStringLiteral("top");    // top, center, bottom
    bool Frame = false;
    QString FrameColor = QStringLiteral("#000000");
    double GapX = 2, GapY = 1;
    bool WordWrap = true;
    QJsonObject toJson() const;
    static TTextStyle fromJson(const QJsonObject& o, const TTextStyle& base);
    static TTextStyle fromJson(const QJsonObject& o);
};

struct TTemplateObject {
    QString Name;
    QString Kind;  // text, picture, richtext, crosstab, chart
    double Left = 0, Top = 0, Width = 0, Height = 0;
    QString Text;        // text objects (with [expressions])
    QString DateFormat;  // for [Date]
    TTextStyle Style;
    QString Image;       // picture: resource file name
    bool KeepAspect = false;
    QJsonObject Def;     // crosstab / chart / richtext definition
};

struct TTemplateBand {
    QString Name;
    QString Type;    // page_header, child, report_summary, page_footer
    QString Parent;  // child band: the band it follows
    double Height = 0;
    bool Stretch = false;
    QVector<TTemplateObject> Objects;
};

struct TTemplatePage {
    QString Name;
    double PaperWidthMm = 210, PaperHeightMm = 297;
    double MarginLeftMm = 10, MarginTopMm = 10, MarginRightMm = 10, MarginBottomMm = 10;
    QVector<TTemplateBand> Bands;
    QVector<TTemplateObject> Objects;  // band-less

    // page width in template units, rounded to a whole unit (794 for A4)
    double Width() const;
    double PrintableWidth() const { return (PaperWidthMm - MarginLeftMm - MarginRightMm) * kUnitsPerMm; }
    double PrintableHeight() const { return (PaperHeightMm - MarginTopMm - MarginBottomMm) * kUnitsPerMm; }
};

struct TReportTemplate {
    QJsonObject Settings;  // version, printer, preview, ...
    QString PrintCellScript;  // JavaScript function (text, value, part) -> {text, background}
    QVector<TTemplatePage> Pages;

    TTemplatePage* FindPage(const QString& name);
    TTemplateObject* FindObject(const QString& name);  // any page, band or band-less
    TTemplateObject& Object(const QString& name);      // throws when absent

    static TReportTemplate fromJson(const QJsonObject& root);
    static TReportTemplate load(const QString& fileName);
    // The farm report template embedded in the program.
    static TReportTemplate farmReport();
};

// "Arial" -> Liberation Sans, "Arial Narrow" -> Liberation Sans Narrow (or a
// condensed Liberation Sans when the narrow face is missing).
QFont vaccoraReportFont(const TFontDef& f);
// Bytes of an image of the embedded template resources (":/report/<name>").
QByteArray vaccoraReportResource(const QString& name);
