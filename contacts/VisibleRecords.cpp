#include "contacts/VisibleRecords.h"

#include "contacts/DbfFile.h"

#include <algorithm>

namespace {

// Records whose flags are read before open returns.
constexpr uint32_t kHeadRecords = 2048;

void scanLive(const dbf::File &file, const dbf::Layout &layout, uint32_t first, uint32_t last,
              std::vector<uint32_t> &out)
{
    dbf::scanRecords(file, layout.headerSize, layout.recordSize, first, last,
                     [&](uint32_t recno, const char *rec) {
                         if (rec[0] != dbf::kDeletedFlag)
                             out.push_back(recno);
                         return true;
                     });
}

} // namespace

VisibleRecords::~VisibleRecords()
{
    if (m_pass.joinable())
        m_pass.join();
}

void VisibleRecords::load(const dbf::File &file, const dbf::Layout &layout, uint32_t recordCount,
                          const std::vector<int> &keepFields, RecordColumns &columns,
                          std::function<void()> atStart)
{
    complete();
    m_live.clear();
    m_passing.clear();
    m_allPass = false;
    const uint32_t head = std::min(recordCount, kHeadRecords);
    scanLive(file, layout, 1, head, m_live);
    if (head == recordCount) {
        columns.build(file, recordCount, keepFields);
        return;
    }
    m_columns = &columns;
    m_staged = columns.emptyCopy();
    m_staged.prepare(keepFields, recordCount);
    m_posted.clear();
    m_tail.clear();
    m_tail.reserve(recordCount + recordCount / 64 + 256); // the head joins it, appends follow
    m_tailData = m_tail.data();
    m_published.store(0);
    m_passDone.store(false);
    m_loading = true;
    m_pass = std::thread([this, &file, &layout, head, recordCount, atStart = std::move(atStart)] {
        if (atStart)
            atStart();
        const bool withColumns = !m_staged.empty();
        dbf::scanRecords(file, layout.headerSize, layout.recordSize, withColumns ? 1 : head + 1, recordCount,
                         [&](uint32_t recno, const char *rec) {
                             if (recno > head && rec[0] != dbf::kDeletedFlag) {
                                 m_tail.push_back(recno);
                                 // Handed over in batches: one release store per few thousand.
                                 if ((m_tail.size() & 4095) == 0)
                                     m_published.store(m_tail.size(), std::memory_order_release);
                             }
                             if (withColumns)
                                 m_staged.appendRecord(rec);
                             return true;
                         });
        m_published.store(m_tail.size(), std::memory_order_release);
        if (withColumns)
            m_staged.finish(recordCount);
        m_passDone.store(true, std::memory_order_release);
    });
}

void VisibleRecords::complete()
{
    if (!m_loading)
        return;
    m_pass.join();
    m_loading = false;
    m_tailData = nullptr;
    // The head goes in front of the tail: one copy of the few, not the many.
    m_tail.insert(m_tail.begin(), m_live.begin(), m_live.end());
    m_live.swap(m_tail);
    std::vector<uint32_t>().swap(m_tail);
    m_columns->adopt(std::move(m_staged));
    for (const auto &[recno, rec] : m_posted)
        m_columns->update(recno, rec.constData());
    m_posted.clear();
    m_posted.shrink_to_fit();
}

size_t VisibleRecords::known()
{
    if (m_loading && m_passDone.load(std::memory_order_acquire))
        complete();
    if (!m_loading)
        return list().size();
    return m_live.size() + m_published.load(std::memory_order_acquire);
}

void VisibleRecords::setAllPass()
{
    m_allPass = true;
    std::vector<uint32_t>().swap(m_passing);
}

void VisibleRecords::notePosted(uint32_t recno, const QByteArray &rec)
{
    if (m_loading)
        m_posted.emplace_back(recno, rec);
}

void VisibleRecords::clear()
{
    complete();
    m_live.clear();
    m_live.shrink_to_fit();
    setPassing({});
}

void VisibleRecords::setPassing(std::vector<uint32_t> &&passing)
{
    m_allPass = !m_live.empty() && passing.size() == m_live.size();
    if (m_allPass)
        std::vector<uint32_t>().swap(m_passing);
    else
        m_passing = std::move(passing);
}

qint64 VisibleRecords::indexOf(uint32_t recno)
{
    if (m_loading) {
        // A record the pass has already passed is found without waiting.
        const size_t n = known();
        if (m_loading && n > 0 && recno <= knownAt(n - 1)) {
            auto head = std::lower_bound(m_live.begin(), m_live.end(), recno);
            if (head != m_live.end())
                return *head == recno ? head - m_live.begin() : -1;
            const uint32_t *tailEnd = m_tailData + (n - m_live.size());
            const uint32_t *it = std::lower_bound(m_tailData, tailEnd, recno);
            return it != tailEnd && *it == recno ? qint64(m_live.size() + (it - m_tailData)) : -1;
        }
    }
    complete();
    const std::vector<uint32_t> &v = list();
    auto it = std::lower_bound(v.begin(), v.end(), recno);
    if (it == v.end() || *it != recno)
        return -1;
    return it - v.begin();
}

void VisibleRecords::appendLive(uint32_t recno, bool passes)
{
    if (m_filtered && m_allPass && !passes) {
        m_passing = m_live;
        m_allPass = false;
    }
    m_live.push_back(recno);
    if (m_filtered && !m_allPass && passes)
        m_passing.push_back(recno);
}

void VisibleRecords::remove(uint32_t recno)
{
    complete();
    for (std::vector<uint32_t> *v : {&m_live, &m_passing}) {
        auto it = std::lower_bound(v->begin(), v->end(), recno);
        if (it != v->end() && *it == recno)
            v->erase(it);
    }
}

void VisibleRecords::reload(const dbf::File &file, const dbf::Layout &layout, uint32_t recordCount)
{
    complete();
    m_live.clear();
    scanLive(file, layout, 1, recordCount, m_live);
}
