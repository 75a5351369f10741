#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// Case-folded prefix index over one text field of the table, for locating
// contacts by partial key without scanning every record. It may hold stale
// entries (records since changed or deleted): every hit is checked against
// the record itself, so the index only narrows the search.
class LocateIndex {
public:
    // Adds the folded value of record recno; call add() for every record in
    // any order, then seal() before lookups. Later add() calls (records
    // posted or appended afterwards) go to a small sorted overflow.
    void add(uint32_t recno, std::u16string_view folded);
    void seal();
    bool sealed() const { return m_sealed; }

    // Number of entries whose key starts with prefix, counting no further
    // than limit.
    size_t countPrefix(std::u16string_view prefix, size_t limit) const;
    // Calls visit(recno) for the entries whose key starts with prefix, in no
    // particular order; stops when visit returns false.
    template <typename Fn> void forEachPrefix(std::u16string_view prefix, Fn visit) const;

private:
    struct Entry {
        uint32_t offset;
        uint32_t length;
        uint32_t recno;
    };
    std::u16string_view key(const Entry &e) const { return {m_keys.data() + e.offset, e.length}; }
    std::pair<size_t, size_t> baseRange(std::u16string_view prefix) const;

    std::u16string m_keys;
    std::vector<Entry> m_entries;
    std::set<std::pair<std::u16string, uint32_t>> m_overflow;
    bool m_sealed = false;
};

template <typename Fn> void LocateIndex::forEachPrefix(std::u16string_view prefix, Fn visit) const
{
    const auto [b, e] = baseRange(prefix);
    for (size_t i = b; i < e; ++i)
        if (!visit(m_entries[i].recno))
            return;
    for (auto it = m_overflow.lower_bound({std::u16string(prefix), 0}); it != m_overflow.end(); ++it) {
        if (std::u16string_view(it->first).substr(0, prefix.size()) != prefix)
            break;
        if (!visit(it->second))
            return;
    }
}
