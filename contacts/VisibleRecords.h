#pragma once

#include "contacts/RecordColumns.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace dbf {
class File;
}

// The records a table shows, in file order: the live ones (not deleted) and,
// while filtering is on, those that pass the filter. A large table's live
// list is completed by a background pass after open, which also reads the
// fields kept in memory, so that the first screen comes at once and the
// first search finds its column ready.
class VisibleRecords {
public:
    ~VisibleRecords();

    // Reads the first records' flags now and the rest in the background,
    // with the columns of keepFields; they join columns when complete()
    // runs (every reader of the lists calls it first).
    // atStart runs on the pass's thread before it reads (tests hold it there).
    void load(const dbf::File &file, const dbf::Layout &layout, uint32_t recordCount,
              const std::vector<int> &keepFields, RecordColumns &columns, std::function<void()> atStart = {});
    // Waits for the background pass and takes over what it read.
    void complete();
    bool loading() const { return m_loading; }
    // While the pass runs: the records listed so far (the head, then what
    // the pass has delivered), readable without waiting for it. The list
    // walked is then always the live one. Once the pass has finished,
    // known() takes it over and counts the whole list.
    size_t known();
    uint32_t knownAt(size_t index) const
    {
        return index < m_live.size() ? m_live[index] : m_tailData[index - m_live.size()];
    }
    // The filter lets every record through: the live list serves as it
    // grows, with no need to wait for the pass.
    void setAllPass();
    // A record posted while the pass runs: its columns are read again
    // when the pass is taken over, since the pass may have read it before.
    void notePosted(uint32_t recno, const QByteArray &rec);
    void clear();

    bool filtered() const { return m_filtered; }
    void setFiltered(bool on) { m_filtered = on; }
    // The list the table walks. Complete only after complete(), except for
    // its first records.
    const std::vector<uint32_t> &list() const { return m_filtered && !m_allPass ? m_passing : m_live; }
    const std::vector<uint32_t> &live() const { return m_live; }
    // The records that passed the filter, a subsequence of live(). When
    // every one did (the view "All"), the live list serves for both.
    void setPassing(std::vector<uint32_t> &&passing);

    qint64 indexOf(uint32_t recno);
    void appendLive(uint32_t recno, bool passes);
    void remove(uint32_t recno);
    // Re-reads the live list from the file (records other programs wrote).
    void reload(const dbf::File &file, const dbf::Layout &layout, uint32_t recordCount);

private:
    std::vector<uint32_t> m_live, m_passing;
    bool m_filtered = false;
    bool m_allPass = false; // m_passing stands for all of m_live

    std::thread m_pass;
    bool m_loading = false;
    std::vector<uint32_t> m_tail; // filled by the pass, never reallocated while it runs
    const uint32_t *m_tailData = nullptr;
    std::atomic<size_t> m_published{0}; // records of m_tail the pass has handed over
    std::atomic<bool> m_passDone{false};
    RecordColumns m_staged; // filled by the pass
    RecordColumns *m_columns = nullptr;
    std::vector<std::pair<uint32_t, QByteArray>> m_posted;
};
