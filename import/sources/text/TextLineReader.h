// Buffered line reader of text import files: byte-order marks, decoding by
// code page, line breaks. Shared by the text source and the wizard's preview
// and ruler, so both see the same lines.
#pragma once

#include "import/engine/ImportEngine.h"

#include <QByteArray>
#include <QString>

#include <string>

// Failure to open or read a text file; the message names the file.
class ETextFileError : public EImportError {
public:
    explicit ETextFileError(const QString& msg) : EImportError(msg) {}
};

enum class TTextByteOrderMark { None, Utf8, Utf16LE, Utf16BE, Utf32LE, Utf32BE };

class TTextLineReader {
public:
    // Size of the read buffer; a line may span any number of refills.
    static constexpr int BufferSize = 2048;

    TTextLineReader();
    ~TTextLineReader();
    TTextLineReader(const TTextLineReader&) = delete;
    TTextLineReader& operator=(const TTextLineReader&) = delete;

    // Opens an existing file read-only and looks for a byte-order mark.
    // Throws ETextFileError ("<file>: ... Failed to reset file.").
    void Open(const QString& fileName);
    // Reads from memory instead of a file (previews, fuzzing); same rules.
    void OpenBuffer(const QByteArray& data);
    void Close();
    bool IsOpen() const;

    TTextByteOrderMark Mark() const { return m_mark; }

    // Sets how bytes become text: 65001 UTF-8, 1200 UTF-16, 12000 UTF-32,
    // any other code page through iconv. The mark does not change this
    // choice. Throws ETextFileError for a code page this system cannot decode.
    void SetCodePage(int codePage);
    int CodePage() const { return m_codePage; }

    // True when every byte has been consumed.
    bool Eof();
    // Next line without its break; false at end of file.
    bool ReadLine(QString& line);

private:
    enum class Mode { Utf8, Utf16, Utf32, Table, Iconv };
    void detectMark();
    bool fill();
    int getByte();
    long readUnit();
    bool readByteLine();
    bool readUnitLine(QString& line);
    void decodeBytes(QString& line);
    void decodeIconv(QString& line);

    int m_fd = -1;
    QByteArray m_memory;
    qsizetype m_memoryPos = 0;
    bool m_fromMemory = false;
    bool m_open = false;
    QString m_fileName;

    char m_buf[BufferSize];
    int m_pos = 0;
    int m_len = 0;
    bool m_atEnd = false;
    int m_swap = 0;  // 0, 2 or 4: reverse byte groups of that size
    TTextByteOrderMark m_mark = TTextByteOrderMark::None;

    int m_codePage = 0;
    Mode m_mode = Mode::Table;
    char16_t m_table[256];
    void* m_iconv = nullptr;  // iconv_t
    std::string m_bytes;      // bytes of the line being read
    long m_pending = -1;      // unit read ahead (Unicode modes)
};

// Decodes the bytes of one whole line as UTF-8: a lead byte 110xxxxx starts
// two bytes, 11110xxx four (giving a surrogate pair beyond U+FFFF), any other
// byte with the top bit set three; continuation bytes are not checked and a
// sequence cut short by the end is dropped.
void vaccoraDecodeUtf8Line(const char* bytes, qsizetype n, QString& out);
