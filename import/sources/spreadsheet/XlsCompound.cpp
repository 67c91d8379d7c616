#include "import/sources/spreadsheet/XlsCompound.h"

#include "import/sources/spreadsheet/XlsErrors.h"
#include "import/sources/spreadsheet/XlsMessages.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kFree = 0xFFFFFFFF;      // NOSTREAM / FREESECT
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kMaxRegular = 0xFFFFFFFA;
const uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

inline uint16_t u16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t u32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

} // namespace

bool xlsIsCompoundFile(const uint8_t* data, size_t size)
{
    return size >= 8 && std::memcmp(data, kSignature, 8) == 0;
}

void TxlsCompoundFile::damaged() const
{
    throw ExlsError(xlsFmt(SxlsCompoundDamaged, {QString::fromStdString(m_fileName)}));
}

TxlsCompoundFile::TxlsCompoundFile(const uint8_t* data, size_t size, const std::string& fileName)
    : m_data(data), m_size(size), m_fileName(fileName)
{
    if (size < 512 || !xlsIsCompoundFile(data, size))
        damaged();
    const uint8_t* h = data;
    const uint16_t shift = u16(h + 30);
    const uint16_t miniShift = u16(h + 32);
    if ((shift != 9 && shift != 12) || miniShift != 6)
        damaged();
    m_sectorSize = 1u << shift;
    m_miniCutoff = u32(h + 56);
    const uint64_t body = m_size > m_sectorSize ? m_size - m_sectorSize : 0;
    m_sectorCount = uint32_t(body / m_sectorSize + (body % m_sectorSize ? 1 : 0));
    const uint32_t perSector = m_sectorSize / 4;

    auto readSector = [&](uint32_t id, std::vector<uint8_t>& buf) {
        buf.assign(m_sectorSize, 0);
        const uint64_t off = uint64_t(id + 1) * m_sectorSize;
        if (id >= m_sectorCount || off >= m_size)
            damaged();
        const uint64_t n = std::min<uint64_t>(m_sectorSize, m_size - off);
        std::memcpy(buf.data(), m_data + off, n);
    };

    // FAT sector ids: 109 in the header, the rest in the DIFAT chain.
    const uint32_t fatSectors = u32(h + 44);
    if (fatSectors > m_sectorCount + 1)
        damaged();
    std::vector<uint32_t> fatIds;
    for (uint32_t i = 0; i < 109 && fatIds.size() < fatSectors; ++i)
        fatIds.push_back(u32(h + 76 + 4 * i));
    uint32_t difat = u32(h + 68);
    std::vector<uint8_t> buf;
    uint32_t guard = 0;
    while (fatIds.size() < fatSectors && difat < kMaxRegular) {
        if (++guard > m_sectorCount)
            damaged();
        readSector(difat, buf);
        for (uint32_t i = 0; i + 1 < perSector && fatIds.size() < fatSectors; ++i)
            fatIds.push_back(u32(buf.data() + 4 * i));
        difat = u32(buf.data() + 4 * (perSector - 1));
    }
    if (fatIds.size() < fatSectors)
        damaged();
    m_fat.reserve(size_t(fatSectors) * perSector);
    for (uint32_t id : fatIds) {
        readSector(id, buf);
        for (uint32_t i = 0; i < perSector; ++i)
            m_fat.push_back(u32(buf.data() + 4 * i));
    }

    // Directory.
    std::vector<uint8_t> dir;
    readChain(u32(h + 48), UINT64_MAX, dir);
    const bool v4 = shift == 12;
    for (size_t off = 0; off + 128 <= dir.size(); off += 128) {
        const uint8_t* e = dir.data() + off;
        Entry entry;
        uint16_t nameBytes = u16(e + 64);
        if (nameBytes > 64)
            nameBytes = 64;
        for (uint16_t i = 0; i + 1 < nameBytes; i += 2) {
            const char16_t c = char16_t(u16(e + i));
            if (c == 0)
                break;
            entry.name.push_back(c);
        }
        entry.type = e[66];
        entry.left = u32(e + 68);
        entry.right = u32(e + 72);
        entry.child = u32(e + 76);
        entry.start = u32(e + 116);
        entry.size = u32(e + 120);
        if (v4)
            entry.size |= uint64_t(u32(e + 124)) << 32;
        m_entries.push_back(std::move(entry));
    }
    if (m_entries.empty() || m_entries[0].type != 5)
        damaged();

    // Mini FAT and mini stream (held by the root entry).
    std::vector<uint8_t> miniFatBytes;
    const uint32_t miniFatStart = u32(h + 60);
    if (miniFatStart < kMaxRegular)
        readChain(miniFatStart, uint64_t(u32(h + 64)) * m_sectorSize, miniFatBytes);
    for (size_t off = 0; off + 4 <= miniFatBytes.size(); off += 4)
        m_miniFat.push_back(u32(miniFatBytes.data() + off));
    if (m_entries[0].start < kMaxRegular && m_entries[0].size > 0)
        readChain(m_entries[0].start, m_entries[0].size, m_miniStream);
}

void TxlsCompoundFile::readChain(uint32_t start, uint64_t size, std::vector<uint8_t>& out) const
{
    out.clear();
    if (size != UINT64_MAX && size > m_size)
        damaged();
    if (size != UINT64_MAX)
        out.reserve(size + m_sectorSize);
    uint32_t id = start;
    uint64_t steps = 0;
    while (id != kEndOfChain && (size == UINT64_MAX || out.size() < size)) {
        if (id >= m_sectorCount || id >= m_fat.size() || ++steps > m_sectorCount)
            damaged();
        const uint64_t off = uint64_t(id + 1) * m_sectorSize;
        const uint64_t avail = off < m_size ? std::min<uint64_t>(m_sectorSize, m_size - off) : 0;
        const size_t old = out.size();
        out.resize(old + m_sectorSize, 0);
        if (avail)
            std::memcpy(out.data() + old, m_data + off, avail);
        id = m_fat[id];
    }
    if (size != UINT64_MAX) {
        if (out.size() < size)
            damaged();
        out.resize(size);
    }
}

void TxlsCompoundFile::readMiniChain(uint32_t start, uint64_t size, std::vector<uint8_t>& out) const
{
    out.clear();
    out.reserve(size);
    uint32_t id = start;
    uint64_t steps = 0;
    while (out.size() < size) {
        if (id >= m_miniFat.size() || ++steps > m_miniFat.size())
            damaged();
        const uint64_t off = uint64_t(id) * 64;
        if (off + 64 > m_miniStream.size())
            damaged();
        const uint64_t n = std::min<uint64_t>(64, size - out.size());
        out.insert(out.end(), m_miniStream.begin() + off, m_miniStream.begin() + off + n);
        id = m_miniFat[id];
    }
}

std::vector<uint32_t> TxlsCompoundFile::rootChildren() const
{
    // In-order walk of the red-black sibling tree below the root, iterative
    // and guarded against cycles.
    std::vector<uint32_t> order, stack;
    std::vector<bool> seen(m_entries.size(), false);
    uint32_t cur = m_entries[0].child;
    while (cur < m_entries.size() || !stack.empty()) {
        while (cur < m_entries.size()) {
            if (seen[cur])
                damaged();
            seen[cur] = true;
            stack.push_back(cur);
            cur = m_entries[cur].left;
        }
        cur = stack.back();
        stack.pop_back();
        order.push_back(cur);
        cur = m_entries[cur].right;
    }
    return order;
}

std::vector<std::u16string> TxlsCompoundFile::rootElementNames() const
{
    std::vector<std::u16string> names;
    for (uint32_t i : rootChildren())
        names.push_back(m_entries[i].name);
    return names;
}

bool TxlsCompoundFile::readRootStream(const std::u16string& name, std::vector<uint8_t>& out) const
{
    for (uint32_t i : rootChildren()) {
        const Entry& e = m_entries[i];
        if (e.name != name)
            continue;
        if (e.type != 2)
            return false;
        if (e.size < m_miniCutoff)
            readMiniChain(e.start, e.size, out);
        else
            readChain(e.start, e.size, out);
        return true;
    }
    return false;
}
