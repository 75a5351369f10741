#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The case-folded values of one text field for every record (trailing
// spaces removed), kept in memory once a search or locate has needed them,
// with an order for prefix lookups. It follows this table's own posts and
// appends, so lookups never need to read the file again.
class FieldColumn {
public:
    uint32_t size() const { return uint32_t(m_offset.size()); }
    void reserve(uint32_t records);
    // The value of record size() + 1.
    void append(std::u16string_view key);
    // A changed value of record recno (1..size()).
    void set(uint32_t recno, std::u16string_view key);
    std::u16string_view key(uint32_t recno) const { return at(m_offset[recno - 1], m_length[recno - 1]); }

    // Records whose value starts with prefix: how many (counting no further
    // than limit), and each of them (in no particular order; visit returns
    // false to stop).
    size_t countPrefix(std::u16string_view prefix, size_t limit);
    // Share of different values among a sample of records (0..1): how
    // selective a lookup on this field is likely to be. Needs no sorting.
    double distinctShare() const;
    template <typename Fn> void forEachPrefix(std::u16string_view prefix, Fn visit);

private:
    void sortIfNeeded();
    std::pair<size_t, size_t> sortedRange(std::u16string_view prefix) const;

    // The texts live in fixed-size blocks that never move, so a column
    // grows without copying what it holds and keeps no growth room. A
    // position is block << kBlockBits | place; a text never spans blocks.
    static constexpr uint32_t kBlockBits = 16;
    static constexpr uint32_t kBlockUnits = 1u << kBlockBits;
    std::u16string_view at(uint32_t pos, uint16_t length) const
    {
        if (length == 0)
            return {};
        return {m_blocks[pos >> kBlockBits].get() + (pos & (kBlockUnits - 1)), length};
    }
    uint32_t store(std::u16string_view key);
    size_t storedUnits() const { return m_blocks.size() * size_t(kBlockUnits); }

    std::vector<std::unique_ptr<char16_t[]>> m_blocks;
    uint32_t m_blockUsed = kBlockUnits; // units used in the last block
    std::vector<uint32_t> m_offset;     // by record number - 1
    std::vector<uint16_t> m_length;     // a field holds at most 255 bytes
    struct Sorted {
        uint64_t head;                  // first four units, so most comparisons stay in the array
        uint32_t offset, length, recno; // the value as it was when sorted
    };
    std::u16string_view sortedKey(const Sorted &s) const { return at(s.offset, uint16_t(s.length)); }
    std::vector<Sorted> m_sorted; // records 1..m_sortedSize by value
    uint32_t m_sortedSize = 0;
    mutable double m_distinctShare = -1;
    bool m_sortedValid = false;
    std::vector<bool> m_moved;                             // sorted records whose value changed since
    std::set<std::pair<std::u16string, uint32_t>> m_extra; // values not in m_sorted
};

template <typename Fn> void FieldColumn::forEachPrefix(std::u16string_view prefix, Fn visit)
{
    sortIfNeeded();
    const auto [b, e] = sortedRange(prefix);
    for (size_t i = b; i < e; ++i)
        if (!m_moved[m_sorted[i].recno - 1] && !visit(m_sorted[i].recno))
            return;
    if (m_extra.empty())
        return;
    for (auto it = m_extra.lower_bound({std::u16string(prefix), 0}); it != m_extra.end(); ++it) {
        if (std::u16string_view(it->first).substr(0, prefix.size()) != prefix)
            break;
        if (!visit(it->second))
            return;
    }
}
