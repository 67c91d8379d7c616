#include "report/PreparedReport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

static QJsonArray rectJson(const QRectF& r) { return QJsonArray{r.left(), r.top(), r.width(), r.height()}; }

static QRectF rectFromJson(const QJsonValue& v) {
    const QJsonArray a = v.toArray();
    return QRectF(a.at(0).toDouble(), a.at(1).toDouble(), a.at(2).toDouble(), a.at(3).toDouble());
}

QJsonObject TPrintedObject::toJson() const {
    QJsonObject o{{"name", Name}, {"kind", Kind}, {"rect", rectJson(Rect)}};
    if (Kind == QLatin1String("text")) {
        o.insert("text", Text);
        o.insert("style", Style.toJson());
    } else if (Kind == QLatin1String("picture")) {
        o.insert("image", Image);
        o.insert("keep_aspect", KeepAspect);
    } else if (Kind == QLatin1String("richtext")) {
        o.insert("html", Html);
        o.insert("style", Style.toJson());
    } else if (Kind == QLatin1String("crosstab")) {
        QJsonArray boxes;
        for (const TPrintedBox& b : Boxes)
            boxes.append(QJsonObject{{"rect", rectJson(b.Rect)}, {"text", b.Text}, {"style", b.Style.toJson()}});
        o.insert("boxes", boxes);
    }
    return o;
}

TPrintedObject TPrintedObject::fromJson(const QJsonObject& o) {
    TPrintedObject p;
    p.Name = o.value("name").toString();
    p.Kind = o.value("kind").toString();
    p.Rect = rectFromJson(o.value("rect"));
    p.Text = o.value("text").toString();
    p.Style = TTextStyle::fromJson(o.value("style").toObject());
    p.Image = o.value("image").toString();
    p.KeepAspect = o.value("keep_aspect").toBool();
    p.Html = o.value("html").toString();
    for (const QJsonValue& bv : o.value("boxes").toArray()) {
        const QJsonObject b = bv.toObject();
        p.Boxes.push_back(TPrintedBox{rectFromJson(b.value("rect")), b.value("text").toString(),
                                      TTextStyle::fromJson(b.value("style").toObject())});
    }
    return p;
}

const TPrintedObject* TPreparedReport::FindObject(int pageIndex, const QString& name) const {
    if (pageIndex < 0 || pageIndex >= Pages.size()) return nullptr;
    for (const auto& o : Pages[pageIndex].Objects)
        if (o.Name == name) return &o;
    return nullptr;
}

QJsonObject TPreparedReport::toJson() const {
    QJsonArray pages;
    for (const TPreparedPage& p : Pages) {
        QJsonArray objects;
        for (const TPrintedObject& o : p.Objects) objects.append(o.toJson());
        pages.append(QJsonObject{{"page", p.Page},
                                 {"template_page", p.TemplatePage},
                                 {"paper_mm", QJsonArray{p.PaperWidthMm, p.PaperHeightMm}},
                                 {"margins_mm", QJsonArray{p.MarginLeftMm, p.MarginTopMm}},
                                 {"objects", objects}});
    }
    QJsonObject images;
    for (auto it = Images.begin(); it != Images.end(); ++it)
        images.insert(it.key(), QString::fromLatin1(it.value().toBase64()));
    return QJsonObject{{"format", "vaccora-prepared-report"}, {"version", 1}, {"pages", pages},
                       {"crosstabs", Crosstabs}, {"charts", Charts}, {"images", images}};
}

TPreparedReport TPreparedReport::fromJson(const QJsonObject& root) {
    TPreparedReport r;
    if (!root.value("pages").isArray()) throw EReportError(QStringLiteral("The file is not a prepared report"));
    for (const QJsonValue& pv : root.value("pages").toArray()) {
        const QJsonObject p = pv.toObject();
        TPreparedPage page;
        page.Page = p.value("page").toInt();
        page.TemplatePage = p.value("template_page").toString();
        const QJsonArray paper = p.value("paper_mm").toArray();
        if (paper.size() == 2) {
            page.PaperWidthMm = paper.at(0).toDouble();
            page.PaperHeightMm = paper.at(1).toDouble();
        }
        const QJsonArray m = p.value("margins_mm").toArray();
        if (m.size() == 2) {
            page.MarginLeftMm = m.at(0).toDouble();
            page.MarginTopMm = m.at(1).toDouble();
        }
        for (const QJsonValue& ov : p.value("objects").toArray()) page.Objects.push_back(TPrintedObject::fromJson(ov.toObject()));
        r.Pages.push_back(page);
    }
    r.Crosstabs = root.value("crosstabs").toObject();
    r.Charts = root.value("charts").toObject();
    const QJsonObject images = root.value("images").toObject();
    for (auto it = images.begin(); it != images.end(); ++it)
        r.Images.insert(it.key(), QByteArray::fromBase64(it.value().toString().toLatin1()));
    return r;
}

void TPreparedReport::save(const QString& fileName) const {
    QSaveFile f(fileName);
    if (!f.open(QIODevice::WriteOnly)) throw EReportError(QStringLiteral("Cannot write %1: %2").arg(fileName, f.errorString()));
    f.write(QJsonDocument(toJson()).toJson(QJsonDocument::Indented));
    if (!f.commit()) throw EReportError(QStringLiteral("Cannot write %1: %2").arg(fileName, f.errorString()));
}

TPreparedReport TPreparedReport::open(const QString& fileName) {
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) throw EReportError(QStringLiteral("Cannot open %1: %2").arg(fileName, f.errorString()));
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
    if (!doc.isObject()) throw EReportError(QStringLiteral("%1 is not a prepared report: %2").arg(fileName, err.errorString()));
    return fromJson(doc.object());
}
