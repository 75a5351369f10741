#include "contacts/FieldColumn.h"

#include <algorithm>

namespace {

uint64_t headOf(std::u16string_view k)
{
    uint64_t head = 0;
    for (size_t i = 0; i < 4; ++i)
        head = (head << 16) | (i < k.size() ? k[i] : 0);
    return head;
}

} // namespace

void FieldColumn::reserve(uint32_t records)
{
    m_offset.reserve(records);
    m_length.reserve(records);
}

uint32_t FieldColumn::store(std::u16string_view key)
{
    const uint32_t n = uint32_t(std::min<size_t>(key.size(), 0xFFFF));
    if (n == 0)
        return 0; // an empty text needs no place
    if (m_blockUsed + n > kBlockUnits) {
        m_blocks.push_back(std::make_unique_for_overwrite<char16_t[]>(kBlockUnits));
        m_blockUsed = 0;
    }
    const uint32_t pos = uint32_t(m_blocks.size() - 1) << kBlockBits | m_blockUsed;
    std::copy_n(key.data(), n, m_blocks.back().get() + m_blockUsed);
    m_blockUsed += n;
    return pos;
}

void FieldColumn::append(std::u16string_view key)
{
    m_offset.push_back(store(key));
    m_length.push_back(uint16_t(std::min<size_t>(key.size(), 0xFFFF)));
    if (m_sortedValid)
        m_extra.emplace(std::u16string(key), size());
}

void FieldColumn::set(uint32_t recno, std::u16string_view key)
{
    if (recno == 0 || recno > size())
        return;
    if (this->key(recno) == key)
        return;
    if (m_sortedValid) {
        if (recno <= m_sortedSize && !m_moved[recno - 1])
            m_moved[recno - 1] = true;
        else
            m_extra.erase({std::u16string(this->key(recno)), recno});
        m_extra.emplace(std::u16string(key), recno);
    }
    // Compact now and then: changed values leave their old text behind.
    if (storedUnits() > (64u << 20) && storedUnits() > 4 * size_t(size()) * 16) {
        FieldColumn packed;
        packed.reserve(size());
        for (uint32_t r = 1; r <= size(); ++r)
            packed.append(r == recno ? key : this->key(r));
        m_blocks.swap(packed.m_blocks);
        m_blockUsed = packed.m_blockUsed;
        m_offset.swap(packed.m_offset);
        m_length.swap(packed.m_length);
        m_sortedValid = false; // the sorted values pointed into the old blocks
        m_extra.clear();
        return;
    }
    m_offset[recno - 1] = store(key);
    m_length[recno - 1] = uint16_t(std::min<size_t>(key.size(), 0xFFFF));
}

void FieldColumn::sortIfNeeded()
{
    if (m_sortedValid)
        return;
    m_sorted.resize(size());
    for (uint32_t r = 1; r <= size(); ++r) {
        m_sorted[r - 1] = {headOf(key(r)), m_offset[r - 1], m_length[r - 1], r};
    }
    std::sort(m_sorted.begin(), m_sorted.end(), [this](const Sorted &a, const Sorted &b) {
        if (a.head != b.head)
            return a.head < b.head;
        const int c = sortedKey(a).compare(sortedKey(b));
        return c != 0 ? c < 0 : a.recno < b.recno;
    });
    m_sortedSize = size();
    m_moved.assign(size(), false);
    m_extra.clear();
    m_sortedValid = true;
}

std::pair<size_t, size_t> FieldColumn::sortedRange(std::u16string_view prefix) const
{
    // Heads padded with zero units order like the texts themselves, so the
    // text is only looked at when the heads tie.
    const uint64_t phead = headOf(prefix);
    const size_t used = std::min<size_t>(prefix.size(), 4);
    const uint64_t mask = used == 0 ? 0 : ~uint64_t(0) << (16 * (4 - used));
    auto lo = std::lower_bound(m_sorted.begin(), m_sorted.end(), prefix,
                               [&](const Sorted &s, std::u16string_view p) {
                                   if (s.head != phead)
                                       return s.head < phead;
                                   return sortedKey(s) < p;
                               });
    auto hi = std::upper_bound(lo, m_sorted.end(), prefix, [&](std::u16string_view p, const Sorted &s) {
        if ((s.head & mask) != phead)
            return (s.head & mask) > phead;
        return prefix.size() > 4 && sortedKey(s).substr(0, p.size()) > p;
    });
    return {size_t(lo - m_sorted.begin()), size_t(hi - m_sorted.begin())};
}

size_t FieldColumn::countPrefix(std::u16string_view prefix, size_t limit)
{
    sortIfNeeded();
    const auto [b, e] = sortedRange(prefix);
    size_t n = e - b; // may include moved records: an upper bound is enough
    if (m_extra.empty())
        return std::min(n, limit);
    for (auto it = m_extra.lower_bound({std::u16string(prefix), 0}); it != m_extra.end() && n < limit; ++it) {
        if (std::u16string_view(it->first).substr(0, prefix.size()) != prefix)
            break;
        ++n;
    }
    return std::min(n, limit);
}

double FieldColumn::distinctShare() const
{
    if (m_distinctShare >= 0)
        return m_distinctShare;
    const uint32_t n = size();
    if (n == 0)
        return m_distinctShare = 0;
    const uint32_t samples = std::min<uint32_t>(n, 2048);
    std::set<std::u16string_view> seen;
    for (uint32_t i = 0; i < samples; ++i)
        seen.insert(key(1 + uint32_t(uint64_t(i) * n / samples)));
    return m_distinctShare = double(seen.size()) / samples;
}
