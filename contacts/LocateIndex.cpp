#include "contacts/LocateIndex.h"

#include <algorithm>

void LocateIndex::add(uint32_t recno, std::u16string_view folded)
{
    if (m_sealed) {
        m_overflow.emplace(std::u16string(folded), recno);
        return;
    }
    m_entries.push_back({uint32_t(m_keys.size()), uint32_t(folded.size()), recno});
    m_keys.append(folded);
}

void LocateIndex::seal()
{
    std::sort(m_entries.begin(), m_entries.end(), [this](const Entry &a, const Entry &b) {
        const int c = key(a).compare(key(b));
        return c != 0 ? c < 0 : a.recno < b.recno;
    });
    m_sealed = true;
}

std::pair<size_t, size_t> LocateIndex::baseRange(std::u16string_view prefix) const
{
    auto lo = std::lower_bound(m_entries.begin(), m_entries.end(), prefix,
                               [this](const Entry &e, std::u16string_view p) { return key(e) < p; });
    auto hi = std::upper_bound(lo, m_entries.end(), prefix, [this](std::u16string_view p, const Entry &e) {
        return key(e).substr(0, p.size()) > p;
    });
    return {size_t(lo - m_entries.begin()), size_t(hi - m_entries.begin())};
}

size_t LocateIndex::countPrefix(std::u16string_view prefix, size_t limit) const
{
    const auto [b, e] = baseRange(prefix);
    size_t n = e - b;
    for (auto it = m_overflow.lower_bound({std::u16string(prefix), 0}); it != m_overflow.end() && n < limit;
         ++it) {
        if (std::u16string_view(it->first).substr(0, prefix.size()) != prefix)
            break;
        ++n;
    }
    return std::min(n, limit);
}
