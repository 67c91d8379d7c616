// INI files of import templates and engine settings, on SimpleIni. Texts are
// single-byte in the file (Latin-1: every code 0-255 stands for itself);
// section and key names are compared ignoring case. Order of sections and
// keys is the order of writing.
#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>

#include <memory>

class TImportIniFile {
public:
    TImportIniFile();                              // empty, in memory
    explicit TImportIniFile(const QString& path);  // loads when the file exists
    ~TImportIniFile();
    TImportIniFile(const TImportIniFile&) = delete;
    TImportIniFile& operator=(const TImportIniFile&) = delete;

    QString FileName() const { return m_path; }
    void Save();                         // writes to FileName(); throws EImportError on failure
    void SaveAs(const QString& path);
    QString ToText() const;
    void FromText(const QString& text);
    void FromBytes(const QByteArray& bytes);  // UTF-8, else the desktop's ANSI code page

    QStringList Sections() const;
    bool SectionExists(const QString& section) const;
    void EraseSection(const QString& section);
    void Clear();                        // every section erased
    QStringList Keys(const QString& section) const;  // in file order
    bool ValueExists(const QString& section, const QString& key) const;
    void DeleteKey(const QString& section, const QString& key);

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    int ReadInteger(const QString& section, const QString& key, int def) const;      // def when not a number
    qint64 ReadInt64(const QString& section, const QString& key, qint64 def) const;
    bool ReadBool(const QString& section, const QString& key, bool def) const;       // "0" false, other numbers true
    // Character rule: empty keeps `current`, one character is itself, "#n" is
    // the code n (0 when not a number), anything else keeps `current`.
    QChar ReadChar(const QString& section, const QString& key, QChar current) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, qint64 value);
    void WriteBool(const QString& section, const QString& key, bool value);
    // Codes 33..127 as the character, others "#n".
    void WriteChar(const QString& section, const QString& key, QChar value);

    static QString EncodeChar(QChar c);
    static QChar DecodeChar(const QString& text, QChar current);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    QString m_path;
};

struct TImportFormats;
// Writes "BASE_FORMATS" and the boolean and null word lists.
void vaccoraWriteBaseFormats(TImportIniFile& ini, const TImportFormats& formats);
