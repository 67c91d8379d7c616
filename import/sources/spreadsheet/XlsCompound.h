// Compact read-only reader of OLE compound files (structured storage):
// enough to list the elements of the root storage and to read one stream
// whole. Every offset taken from the file is checked before use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// True when the bytes start with the compound-file signature.
bool xlsIsCompoundFile(const uint8_t* data, size_t size);

class TxlsCompoundFile {
public:
    // Parses header, allocation tables and directory; throws ExlsError
    // "The compound file %s is damaged" on any inconsistency.
    TxlsCompoundFile(const uint8_t* data, size_t size, const std::string& fileName);

    // Names of the root storage's direct children in directory order
    // (in-order walk of the sibling tree).
    std::vector<std::u16string> rootElementNames() const;

    // Reads the first root element whose name equals `name` exactly and that is
    // a stream. Returns false when there is none.
    bool readRootStream(const std::u16string& name, std::vector<uint8_t>& out) const;

private:
    struct Entry {
        std::u16string name;
        uint8_t type = 0;
        uint32_t left = 0xFFFFFFFF, right = 0xFFFFFFFF, child = 0xFFFFFFFF;
        uint32_t start = 0;
        uint64_t size = 0;
    };

    [[noreturn]] void damaged() const;
    void readChain(uint32_t start, uint64_t size, std::vector<uint8_t>& out) const;
    void readMiniChain(uint32_t start, uint64_t size, std::vector<uint8_t>& out) const;
    std::vector<uint32_t> rootChildren() const;

    const uint8_t* m_data;
    size_t m_size;
    std::string m_fileName;
    uint32_t m_sectorSize = 512;
    uint32_t m_miniCutoff = 4096;
    uint32_t m_sectorCount = 0;
    std::vector<uint32_t> m_fat;
    std::vector<uint32_t> m_miniFat;
    std::vector<Entry> m_entries;
    std::vector<uint8_t> m_miniStream;
};
