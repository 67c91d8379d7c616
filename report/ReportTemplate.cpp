#include "report/ReportTemplate.h"

#include <QFile>
#include <QFontDatabase>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

static void initReportResources() {
    static bool done = false;
    if (!done) {
        done = true;
        Q_INIT_RESOURCE(report);
    }
}

QJsonObject TFontDef::toJson() const {
    return QJsonObject{{"name", Name}, {"px", Px}, {"bold", Bold}};
}

TFontDef TFontDef::fromJson(const QJsonObject& o, const TFontDef& base) {
    TFontDef f = base;
    if (o.contains("name")) f.Name = o.value("name").toString();
    if (o.contains("px")) f.Px = o.value("px").toDouble();
    if (o.contains("bold")) f.Bold = o.value("bold").toBool();
    return f;
}

TFontDef TFontDef::fromJson(const QJsonObject& o) { return fromJson(o, TFontDef()); }
TTextStyle TTextStyle::fromJson(const QJsonObject& o) { return fromJson(o, TTextStyle()); }

QJsonObject TTextStyle::toJson() const {
    QJsonObject o{{"font", Font.toJson()}, {"color", Color}, {"halign", HAlign}, {"valign", VAlign},
                  {"frame", Frame}, {"frame_color", FrameColor}, {"gap_x", GapX}, {"gap_y", GapY},
                  {"word_wrap", WordWrap}};
    if (!Background.isEmpty()) o.insert("background", Background);
    return o;
}

TTextStyle TTextStyle::fromJson(const QJsonObject& o, const TTextStyle& base) {
    TTextStyle s = base;
    if (o.contains("font")) s.Font = TFontDef::fromJson(o.value("font").toObject(), base.Font);
    if (o.contains("color")) s.Color = o.value("color").toString();
    if (o.contains("background")) s.Background = o.value("background").toString();
    if (o.contains("halign")) s.HAlign = o.value("halign").toString();
    if (o.contains("valign")) s.VAlign = o.value("valign").toString();
    if (o.contains("frame")) s.Frame = o.value("frame").toBool();
    if (o.contains("frame_color")) s.FrameColor = o.value("frame_color").toString();
    if (o.contains("gap_x")) s.GapX = o.value("gap_x").toDouble();
    if (o.contains("gap_y")) s.GapY = o.value("gap_y").toDouble();
    if (o.contains("gap")) s.GapX = s.GapY = o.value("gap").toDouble();
    if (o.contains("word_wrap")) s.WordWrap = o.value("word_wrap").toBool();
    return s;
}

double TTemplatePage::Width() const { return std::round(PaperWidthMm * kUnitsPerMm); }

static TTemplateObject objectFromJson(const QJsonObject& o, const QJsonObject& styles) {
    TTemplateObject t;
    t.Name = o.value("name").toString();
    t.Kind = o.value("kind").toString();
    const QJsonArray r = o.value("rect").toArray();
    t.Left = r.at(0).toDouble();
    t.Top = r.at(1).toDouble();
    t.Width = r.at(2).toDouble();
    t.Height = r.at(3).toDouble();
    t.Text = o.value("text").toString();
    t.DateFormat = o.value("date_format").toString();
    TTextStyle base;
    if (o.contains("style_ref")) base = TTextStyle::fromJson(styles.value(o.value("style_ref").toString()).toObject());
    t.Style = TTextStyle::fromJson(o.value("style").toObject(), base);
    t.Image = o.value("image").toString();
    t.KeepAspect = o.value("keep_aspect").toBool();
    t.Def = o.value("definition").toObject();
    return t;
}

TReportTemplate TReportTemplate::fromJson(const QJsonObject& root) {
    TReportTemplate t;
    t.Settings = root.value("settings").toObject();
    t.PrintCellScript = root.value("print_cell_script").toString();
    const QJsonObject styles = root.value("styles").toObject();
    for (const QJsonValue& pv : root.value("pages").toArray()) {
        const QJsonObject p = pv.toObject();
        TTemplatePage page;
        page.Name = p.value("name").toString();
        const QJsonArray paper = p.value("paper_mm").toArray();
        if (paper.size() == 2) {
            page.PaperWidthMm = paper.at(0).toDouble();
            page.PaperHeightMm = paper.at(1).toDouble();
        }
        const QJsonArray m = p.value("margins_mm").toArray();
        if (m.size() == 4) {
            page.MarginLeftMm = m.at(0).toDouble();
            page.MarginTopMm = m.at(1).toDouble();
            page.MarginRightMm = m.at(2).toDouble();
            page.MarginBottomMm = m.at(3).toDouble();
        }
        for (const QJsonValue& bv : p.value("bands").toArray()) {
            const QJsonObject b = bv.toObject();
            TTemplateBand band;
            band.Name = b.value("name").toString();
            band.Type = b.value("type").toString();
            band.Parent = b.value("parent").toString();
            band.Height = b.value("height").toDouble();
            band.Stretch = b.value("stretch").toBool();
            for (const QJsonValue& ov : b.value("objects").toArray()) band.Objects.push_back(objectFromJson(ov.toObject(), styles));
            page.Bands.push_back(band);
        }
        for (const QJsonValue& ov : p.value("objects").toArray()) page.Objects.push_back(objectFromJson(ov.toObject(), styles));
        t.Pages.push_back(page);
    }
    return t;
}

TReportTemplate TReportTemplate::load(const QString& fileName) {
    initReportResources();
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) throw EReportError(QStringLiteral("Cannot open the report template %1").arg(fileName));
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
    if (doc.isNull() || !doc.isObject())
        throw EReportError(QStringLiteral("The report template %1 is not valid JSON: %2").arg(fileName, err.errorString()));
    return fromJson(doc.object());
}

TReportTemplate TReportTemplate::farmReport() { return load(QStringLiteral(":/report/farm_report.json")); }

TTemplatePage* TReportTemplate::FindPage(const QString& name) {
    for (auto& p : Pages)
        if (p.Name == name) return &p;
    return nullptr;
}

TTemplateObject* TReportTemplate::FindObject(const QString& name) {
    for (auto& p : Pages) {
        for (auto& o : p.Objects)
            if (o.Name == name) return &o;
        for (auto& b : p.Bands)
            for (auto& o : b.Objects)
                if (o.Name == name) return &o;
    }
    return nullptr;
}

TTemplateObject& TReportTemplate::Object(const QString& name) {
    TTemplateObject* o = FindObject(name);
    if (!o) throw EReportError(QStringLiteral("Object %1 not found in the report template").arg(name));
    return *o;
}

QFont vaccoraReportFont(const TFontDef& f) {
    static const bool haveNarrow = QFontDatabase::families().contains(QStringLiteral("Liberation Sans Narrow"));
    QFont font;
    const QString name = f.Name.trimmed().toLower();
    if (name == QLatin1String("arial narrow")) {
        if (haveNarrow) {
            font.setFamily(QStringLiteral("Liberation Sans Narrow"));
        } else {
            font.setFamily(QStringLiteral("Liberation Sans"));
            font.setStretch(82);
        }
    } else if (name == QLatin1String("arial") || name.isEmpty()) {
        font.setFamily(QStringLiteral("Liberation Sans"));
    } else {
        font.setFamily(f.Name);
    }
    font.setPixelSize(std::max(1, (int)std::lround(f.Px)));
    font.setBold(f.Bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    return font;
}

QByteArray vaccoraReportResource(const QString& name) {
    initReportResources();
    QFile f(QStringLiteral(":/report/") + name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}
