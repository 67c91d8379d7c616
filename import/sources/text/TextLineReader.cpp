#include "import/sources/text/TextLineReader.h"

#include "import/sources/text/TextCharset.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

iconv_t asIconv(void* p) { return static_cast<iconv_t>(p); }

const char* utf16Native()
{
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    return "UTF-16LE";
#else
    return "UTF-16BE";
#endif
}

}  // namespace

void vaccoraDecodeUtf8Line(const char* bytes, qsizetype n, QString& out)
{
    out.resize(n);  // never more units than bytes
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    char16_t* const begin = d;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    qsizetype i = 0;
    while (i < n) {
        const unsigned b = s[i];
        if (b < 0x80) {
            *d++ = char16_t(b);
            ++i;
        } else if ((b & 0xE0) == 0xC0) {
            if (i + 1 >= n)
                break;
            *d++ = char16_t(((b & 0x1F) << 6) | (s[i + 1] & 0x3F));
            i += 2;
        } else if ((b & 0xF8) == 0xF0) {
            if (i + 3 >= n)
                break;
            const char32_t cp = ((b & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
            if (cp < 0x10000) {
                *d++ = char16_t(cp);
            } else if (cp <= 0x10FFFF) {
                *d++ = char16_t(0xD800 + ((cp - 0x10000) >> 10));
                *d++ = char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                *d++ = kReplacement;
            }
            i += 4;
        } else {
            if (i + 2 >= n)
                break;
            *d++ = char16_t(((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F));
            i += 3;
        }
    }
    out.resize(d - begin);
}

TTextLineReader::TTextLineReader() = default;

TTextLineReader::~TTextLineReader()
{
    Close();
    if (m_iconv)
        iconv_close(asIconv(m_iconv));
}

bool TTextLineReader::IsOpen() const { return m_open; }

void TTextLineReader::Close()
{
    if (m_fd >= 0) {
        ::close(m_fd);  // releases the shared lock too
        m_fd = -1;
    }
    m_memory.clear();
    m_memoryPos = 0;
    m_fromMemory = false;
    m_open = false;
    m_pos = m_len = 0;
    m_atEnd = false;
    m_swap = 0;
    m_mark = TTextByteOrderMark::None;
    m_pending = -1;
    m_bytes.clear();
}

void TTextLineReader::Open(const QString& fileName)
{
    Close();
    m_fileName = fileName;
    const QByteArray path = QFile::encodeName(fileName);
    int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        throw ETextFileError(QStringLiteral("Cannot open file \"%1\": %2. %3")
                                 .arg(fileName, QString::fromLocal8Bit(std::strerror(err)),
                                      TImportLocale::Text(SFailedToResetFile)));
    }
    // Reads are shared; a program holding the file locked for writing keeps us out.
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        throw ETextFileError(QStringLiteral("Cannot open file \"%1\": the file is locked by another program. %2")
                                 .arg(fileName, TImportLocale::Text(SFailedToResetFile)));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw ETextFileError(QStringLiteral("Cannot open file \"%1\": not a file. %2")
                                 .arg(fileName, TImportLocale::Text(SFailedToResetFile)));
    }
    m_fd = fd;
    m_open = true;
    detectMark();
    if (m_codePage == 0)
        SetCodePage(vaccoraSystemAnsiCodePage());
}

void TTextLineReader::OpenBuffer(const QByteArray& data)
{
    Close();
    m_fileName = QStringLiteral("(memory)");
    m_memory = data;
    m_fromMemory = true;
    m_open = true;
    detectMark();
    if (m_codePage == 0)
        SetCodePage(vaccoraSystemAnsiCodePage());
}

void TTextLineReader::SetCodePage(int codePage)
{
    if (m_iconv) {
        iconv_close(asIconv(m_iconv));
        m_iconv = nullptr;
    }
    m_pending = -1;
    if (codePage == cpUtf8) {
        m_mode = Mode::Utf8;
    } else if (codePage == cpUtf16) {
        m_mode = Mode::Utf16;
    } else if (codePage == cpUtf32) {
        m_mode = Mode::Utf32;
    } else {
        const char* name = vaccoraCodePageIconvName(codePage);
        iconv_t cd = name ? iconv_open(utf16Native(), name) : iconv_t(-1);
        if (cd == iconv_t(-1))
            throw ETextFileError(QStringLiteral("Code page %1 is not supported").arg(codePage));
        // A code page where every byte stands alone decodes through a table.
        bool singleByte = true;
        for (int b = 0; b < 256 && singleByte; ++b) {
            char in = char(b);
            char16_t outUnits[4];
            char* ip = &in;
            size_t il = 1;
            char* op = reinterpret_cast<char*>(outUnits);
            size_t ol = sizeof outUnits;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            const size_t r = iconv(cd, &ip, &il, &op, &ol);
            const size_t produced = (sizeof outUnits - ol) / 2;
            if (r == size_t(-1)) {
                if (errno == EILSEQ)
                    m_table[b] = kReplacement;
                else
                    singleByte = false;  // a lead byte waiting for more
            } else if (produced == 1) {
                m_table[b] = outUnits[0];
            } else {
                singleByte = false;
            }
        }
        if (singleByte) {
            iconv_close(cd);
            m_mode = Mode::Table;
        } else {
            m_iconv = cd;
            m_mode = Mode::Iconv;
        }
    }
    m_codePage = codePage;
}

void TTextLineReader::detectMark()
{
    fill();
    // UTF-32 first: its little-endian mark starts like the UTF-16 one.
    const unsigned char* b = reinterpret_cast<const unsigned char*>(m_buf);
    int markLen = 0;
    if (m_len >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) {
        m_mark = TTextByteOrderMark::Utf32LE, markLen = 4;
    } else if (m_len >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) {
        m_mark = TTextByteOrderMark::Utf32BE, markLen = 4, m_swap = 4;
    } else if (m_len >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        m_mark = TTextByteOrderMark::Utf16LE, markLen = 2;
    } else if (m_len >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        m_mark = TTextByteOrderMark::Utf16BE, markLen = 2, m_swap = 2;
    } else if (m_len >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        m_mark = TTextByteOrderMark::Utf8, markLen = 3;
    }
    if (m_swap) {
        // The first buffer was read before the mark was known; every later
        // buffer is swapped as it is filled.
        for (int i = 0; i + m_swap <= m_len; i += m_swap)
            std::reverse(m_buf + i, m_buf + i + m_swap);
    }
    m_pos = markLen;
}

bool TTextLineReader::fill()
{
    m_pos = 0;
    m_len = 0;
    if (m_atEnd || !m_open)
        return false;
    if (m_fromMemory) {
        const qsizetype n = std::min<qsizetype>(BufferSize, m_memory.size() - m_memoryPos);
        std::memcpy(m_buf, m_memory.constData() + m_memoryPos, size_t(n));
        m_memoryPos += n;
        m_len = int(n);
    } else {
        // Fill the whole buffer so that every buffer but the last starts at a
        // multiple of its size (keeps the byte groups of a swap aligned).
        while (m_len < BufferSize) {
            const ssize_t n = ::read(m_fd, m_buf + m_len, size_t(BufferSize - m_len));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                const int err = errno;
                throw ETextFileError(QStringLiteral("Read error in file \"%1\": %2")
                                         .arg(m_fileName, QString::fromLocal8Bit(std::strerror(err))));
            }
            if (n == 0)
                break;
            m_len += int(n);
        }
    }
    if (m_len < BufferSize)
        m_atEnd = true;
    if (m_len == 0)
        return false;
    if (m_swap) {
        for (int i = 0; i + m_swap <= m_len; i += m_swap)
            std::reverse(m_buf + i, m_buf + i + m_swap);
    }
    return true;
}

int TTextLineReader::getByte()
{
    if (m_pos == m_len && !fill())
        return -1;
    return static_cast<unsigned char>(m_buf[m_pos++]);
}

bool TTextLineReader::Eof()
{
    if (!m_open)
        return true;
    if (m_mode == Mode::Utf16 || m_mode == Mode::Utf32) {
        if (m_pending < 0)
            m_pending = readUnit();  // a trailing partial unit is dropped here
        return m_pending < 0;
    }
    if (m_pos < m_len)
        return false;
    return !fill();
}

long TTextLineReader::readUnit()
{
    if (m_pending >= 0) {
        const long u = m_pending;
        m_pending = -1;
        return u;
    }
    const int size = m_mode == Mode::Utf32 ? 4 : 2;
    unsigned long v = 0;
    for (int i = 0; i < size; ++i) {
        const int b = getByte();
        if (b < 0)
            return -1;
        v |= static_cast<unsigned long>(b) << (8 * i);
    }
    return static_cast<long>(v & 0x7FFFFFFF);
}

bool TTextLineReader::ReadLine(QString& line)
{
    if (Eof())
        return false;
    if (m_mode == Mode::Utf16 || m_mode == Mode::Utf32)
        return readUnitLine(line);
    readByteLine();
    decodeBytes(line);
    return true;
}

bool TTextLineReader::readByteLine()
{
    m_bytes.clear();
    for (;;) {
        if (m_pos == m_len && !fill())
            return true;  // last line without a break
        const char* p = m_buf + m_pos;
        const char* e = m_buf + m_len;
        const char* q = p;
        while (q < e && (static_cast<unsigned char>(*q) > '\r' || (*q != '\r' && *q != '\n')))
            ++q;
        m_bytes.append(p, size_t(q - p));
        if (q == e) {
            m_pos = m_len;
            continue;
        }
        const char brk = *q;
        m_pos = int(q - m_buf) + 1;
        // CR LF and LF CR are one break each.
        const char partner = brk == '\r' ? '\n' : '\r';
        if (m_pos == m_len)
            fill();
        if (m_pos < m_len && m_buf[m_pos] == partner)
            ++m_pos;
        return true;
    }
}

bool TTextLineReader::readUnitLine(QString& line)
{
    line.resize(0);
    for (;;) {
        long u = readUnit();
        if (u < 0)
            return true;
        if (u == 0x2028)
            return true;
        if (u == 0x0D) {
            const long next = readUnit();
            if (next == 0x0A)
                return true;
            m_pending = next;  // CR alone is text
        }
        if (m_mode == Mode::Utf32 && u > 0xFFFF) {
            if (u <= 0x10FFFF) {
                line.append(QChar(char16_t(0xD800 + ((u - 0x10000) >> 10))));
                line.append(QChar(char16_t(0xDC00 + ((u - 0x10000) & 0x3FF))));
            } else {
                line.append(QChar(kReplacement));
            }
        } else {
            line.append(QChar(char16_t(u)));
        }
    }
}

void TTextLineReader::decodeBytes(QString& line)
{
    const qsizetype n = qsizetype(m_bytes.size());
    switch (m_mode) {
    case Mode::Utf8:
        vaccoraDecodeUtf8Line(m_bytes.data(), n, line);
        return;
    case Mode::Table: {
        line.resize(n);
        char16_t* d = reinterpret_cast<char16_t*>(line.data());
        const unsigned char* s = reinterpret_cast<const unsigned char*>(m_bytes.data());
        for (qsizetype i = 0; i < n; ++i)
            d[i] = m_table[s[i]];
        return;
    }
    case Mode::Iconv:
        decodeIconv(line);
        return;
    default:
        line.resize(0);
        return;
    }
}

void TTextLineReader::decodeIconv(QString& line)
{
    iconv_t cd = asIconv(m_iconv);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const qsizetype n = qsizetype(m_bytes.size());
    line.resize(n + 4);
    char* in = m_bytes.data();
    size_t inLeft = size_t(n);
    qsizetype produced = 0;
    while (inLeft > 0) {
        char* out = reinterpret_cast<char*>(line.data() + produced);
        size_t outLeft = size_t(line.size() - produced) * 2;
        const size_t r = iconv(cd, &in, &inLeft, &out, &outLeft);
        produced = line.size() - qsizetype(outLeft / 2);
        if (r != size_t(-1))
            break;
        if (errno == E2BIG) {
            line.resize(line.size() * 2 + 8);
        } else if (errno == EILSEQ) {
            if (produced >= line.size())
                line.resize(line.size() * 2 + 8);
            line[produced++] = QChar(kReplacement);
            ++in;
            --inLeft;
        } else {
            break;  // a character cut short by the end of the line is dropped
        }
    }
    line.resize(produced);
}
