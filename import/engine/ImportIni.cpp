#include "import/engine/ImportIni.h"

#include "import/engine/ImportCharset.h"
#include "import/engine/ImportEngine.h"

#include <QFile>
#include <QStringDecoder>

#define SI_NO_CONVERSION 1
#define SI_IMPLEMENTATION 1
#include <SimpleIni.h>

#include <algorithm>

struct TImportIniFile::Impl {
    CSimpleIniA ini{true, false, false};  // UTF-8, single keys, no multi-line values
    Impl() { ini.SetSpaces(false); }
};

namespace {

std::string enc(const QString& s) { return s.toUtf8().toStdString(); }
QString dec(const char* s) { return s ? QString::fromUtf8(s) : QString(); }

}  // namespace

TImportIniFile::TImportIniFile() : d(std::make_unique<Impl>()) {}

TImportIniFile::TImportIniFile(const QString& path) : d(std::make_unique<Impl>()), m_path(path) {
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) FromBytes(f.readAll());
}

void TImportIniFile::FromBytes(const QByteArray& bytes) {
    // Templates are UTF-8; a single-byte file of a Windows desktop is read
    // in its ANSI code page.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) text = vaccoraDecodeSingleByte(bytes, vaccoraDesktopCodePages().Ansi);
    FromText(text);
}

TImportIniFile::~TImportIniFile() = default;

void TImportIniFile::FromText(const QString& text) {
    d->ini.Reset();
    QByteArray utf8 = text.toUtf8();
    if (utf8.startsWith("\xEF\xBB\xBF")) utf8.remove(0, 3);
    d->ini.LoadData(utf8.constData(), (size_t)utf8.size());
}

QString TImportIniFile::ToText() const {
    std::string out;
    d->ini.Save(out, false);
    return QString::fromUtf8(out.data(), (qsizetype)out.size());
}

void TImportIniFile::SaveAs(const QString& path) {
    m_path = path;
    Save();
}

void TImportIniFile::Save() {
    std::string out;
    d->ini.Save(out, false);
    QFile f(m_path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(out.data(), (qint64)out.size()) != (qint64)out.size())
        throw EImportError(QStringLiteral("Cannot write file \"%1\". %2").arg(m_path, f.errorString()));
}

QStringList TImportIniFile::Sections() const {
    CSimpleIniA::TNamesDepend names;
    d->ini.GetAllSections(names);
    names.sort(CSimpleIniA::Entry::LoadOrder());
    QStringList out;
    for (const auto& e : names) out << dec(e.pItem);
    return out;
}

bool TImportIniFile::SectionExists(const QString& section) const {
    return d->ini.GetSection(enc(section).c_str()) != nullptr;
}

void TImportIniFile::EraseSection(const QString& section) { d->ini.Delete(enc(section).c_str(), nullptr); }

void TImportIniFile::Clear() { d->ini.Reset(); }

QStringList TImportIniFile::Keys(const QString& section) const {
    CSimpleIniA::TNamesDepend keys;
    d->ini.GetAllKeys(enc(section).c_str(), keys);
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    QStringList out;
    for (const auto& e : keys) out << dec(e.pItem);
    return out;
}

bool TImportIniFile::ValueExists(const QString& section, const QString& key) const {
    return d->ini.GetValue(enc(section).c_str(), enc(key).c_str(), nullptr) != nullptr;
}

void TImportIniFile::DeleteKey(const QString& section, const QString& key) {
    d->ini.Delete(enc(section).c_str(), enc(key).c_str());
}

// Values with blanks at either end are written in double quotes (the file
// format trims them otherwise); reading takes one pair of enclosing quotes off.
static bool needsQuotes(const QString& v) {
    if (v.isEmpty()) return false;
    return v.front().isSpace() || v.back().isSpace() ||
           (v.size() >= 2 && v.front() == QLatin1Char('"') && v.back() == QLatin1Char('"'));
}

QString TImportIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    const char* v = d->ini.GetValue(enc(section).c_str(), enc(key).c_str(), nullptr);
    if (!v) return def;
    QString s = dec(v);
    if (s.size() >= 2 && s.front() == QLatin1Char('"') && s.back() == QLatin1Char('"')) s = s.mid(1, s.size() - 2);
    return s;
}

qint64 TImportIniFile::ReadInt64(const QString& section, const QString& key, qint64 def) const {
    const char* v = d->ini.GetValue(enc(section).c_str(), enc(key).c_str(), nullptr);
    if (!v) return def;
    bool ok;
    qint64 r = QString::fromUtf8(v).trimmed().toLongLong(&ok);
    if (ok) return r;
    QString t = QString::fromUtf8(v).trimmed();
    if (t.startsWith(QLatin1Char('$'))) {  // hexadecimal in the "$FF" form
        r = t.mid(1).toLongLong(&ok, 16);
        if (ok) return r;
    }
    return def;
}

int TImportIniFile::ReadInteger(const QString& section, const QString& key, int def) const {
    qint64 v = ReadInt64(section, key, def);
    return v < INT_MIN || v > INT_MAX ? def : (int)v;
}

bool TImportIniFile::ReadBool(const QString& section, const QString& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

QChar TImportIniFile::ReadChar(const QString& section, const QString& key, QChar current) const {
    const char* v = d->ini.GetValue(enc(section).c_str(), enc(key).c_str(), nullptr);
    if (!v) return current;
    return DecodeChar(dec(v), current);
}

void TImportIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QString stored = needsQuotes(value) ? QLatin1Char('"') + value + QLatin1Char('"') : value;
    d->ini.SetValue(enc(section).c_str(), enc(key).c_str(), enc(stored).c_str(), nullptr, true);
}

void TImportIniFile::WriteInteger(const QString& section, const QString& key, qint64 value) {
    WriteString(section, key, QString::number(value));
}

void TImportIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TImportIniFile::WriteChar(const QString& section, const QString& key, QChar value) {
    WriteString(section, key, EncodeChar(value));
}

QString TImportIniFile::EncodeChar(QChar c) {
    ushort u = c.unicode();
    if (u >= 33 && u <= 127) return QString(c);
    return QStringLiteral("#%1").arg(u);
}

QChar TImportIniFile::DecodeChar(const QString& text, QChar current) {
    if (text.isEmpty()) return current;
    if (text.size() == 1) return text[0];
    if (text[0] == QLatin1Char('#')) {
        bool ok;
        int code = text.mid(1).toInt(&ok);
        return ok && code >= 0 && code <= 0xFFFF ? QChar((ushort)code) : QChar(0);
    }
    return current;
}
