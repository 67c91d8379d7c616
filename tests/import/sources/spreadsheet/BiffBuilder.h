// Builds small BIFF8 record streams by hand, for the cases no spreadsheet
// program writes (wrong versions, broken records, odd string splits).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

class TBiffBuilder {
public:
    using Bytes = std::vector<uint8_t>;

    static void put16(Bytes& b, unsigned v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); }
    static void put32(Bytes& b, uint32_t v) { put16(b, v & 0xFFFF); put16(b, v >> 16); }
    static void putDouble(Bytes& b, double d)
    {
        uint64_t u;
        static_assert(sizeof u == sizeof d);
        __builtin_memcpy(&u, &d, 8);
        put32(b, uint32_t(u));
        put32(b, uint32_t(u >> 32));
    }
    // 8-bit BIFF8 string with a 16-bit count.
    static Bytes str16(const std::string& s)
    {
        Bytes b;
        put16(b, unsigned(s.size()));
        b.push_back(0);
        b.insert(b.end(), s.begin(), s.end());
        return b;
    }

    TBiffBuilder& rec(uint16_t id, const Bytes& body)
    {
        put16(data, id);
        put16(data, unsigned(body.size()));
        data.insert(data.end(), body.begin(), body.end());
        return *this;
    }
    TBiffBuilder& bof(uint16_t type, uint16_t version = 0x0600)
    {
        Bytes b;
        put16(b, version);
        put16(b, type);
        put32(b, 0);
        put32(b, 0);
        put32(b, 0);
        return rec(0x0809, b);
    }
    TBiffBuilder& eof() { return rec(0x000A, {}); }
    TBiffBuilder& boundSheet(const std::string& name)
    {
        Bytes b;
        put32(b, 0);
        put16(b, 0);
        b.push_back(uint8_t(name.size()));
        b.push_back(0);
        b.insert(b.end(), name.begin(), name.end());
        return rec(0x0085, b);
    }
    TBiffBuilder& xf(unsigned format)
    {
        Bytes b;
        put16(b, 0);
        put16(b, format);
        b.resize(20, 0);
        return rec(0x00E0, b);
    }
    TBiffBuilder& format(unsigned number, const std::string& s)
    {
        Bytes b;
        put16(b, number);
        Bytes t = str16(s);
        b.insert(b.end(), t.begin(), t.end());
        return rec(0x041E, b);
    }
    static Bytes cell(unsigned row, unsigned col, unsigned xf)
    {
        Bytes b;
        put16(b, row);
        put16(b, col);
        put16(b, xf);
        return b;
    }
    TBiffBuilder& number(unsigned row, unsigned col, double v, unsigned xf = 0)
    {
        Bytes b = cell(row, col, xf);
        putDouble(b, v);
        return rec(0x0203, b);
    }
    TBiffBuilder& rk(unsigned row, unsigned col, uint32_t v, unsigned xf = 0)
    {
        Bytes b = cell(row, col, xf);
        put32(b, v);
        return rec(0x027E, b);
    }
    TBiffBuilder& label(unsigned row, unsigned col, const std::string& s)
    {
        Bytes b = cell(row, col, 0);
        Bytes t = str16(s);
        b.insert(b.end(), t.begin(), t.end());
        return rec(0x0204, b);
    }
    // Globals with one XF per given format number, and the sheet names.
    TBiffBuilder& globals(std::initializer_list<std::string> sheets, std::initializer_list<unsigned> xfs = {0})
    {
        bof(0x0005);
        for (unsigned f : xfs)
            xf(f);
        for (const std::string& s : sheets)
            boundSheet(s);
        return eof();
    }

    Bytes data;
};
