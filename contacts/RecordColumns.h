#pragma once

#include "contacts/DbfFormat.h"
#include "contacts/FieldColumn.h"

#include <QDate>

#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class CodePage;
namespace dbf {
class File;
}

// The dates of one field for every record in two bytes each: the days of
// 1900 to 2079 counted from 1899-12-31, the rare others kept aside.
class DateColumn {
public:
    size_t size() const { return m_days.size(); }
    void reserve(size_t records) { m_days.reserve(records); }
    void resize(size_t records) { m_days.resize(records, 0); }
    // Julian day numbers; 0 is no date.
    void push_back(qint64 day) { m_days.push_back(encode(uint32_t(m_days.size() + 1), day)); }
    void set(uint32_t recno, qint64 day) { m_days[recno - 1] = encode(recno, day); }
    std::optional<QDate> at(uint32_t recno) const;

private:
    static constexpr qint64 kBase = 2415020; // 1899-12-31
    static constexpr uint16_t kAside = 0xFFFF;
    uint16_t encode(uint32_t recno, qint64 day);

    std::vector<uint16_t> m_days; // by record number - 1; 0: no date
    std::unordered_map<uint32_t, qint64> m_aside;
};

// Fields of every record held in memory, so that searches, locates and the
// record filter need not read the file: text fields case-folded (for the
// search and locate rules), date fields as day numbers. They follow this
// table's own posts and appends.
class RecordColumns {
public:
    void reset(const dbf::Layout *layout, const CodePage *codePage);
    void clear();
    // No columns, the same layout and code page.
    RecordColumns emptyCopy() const;

    bool hasText(int fi) const { return m_text.count(fi) != 0; }
    FieldColumn &text(int fi) { return m_text[fi]; }
    bool hasDate(int fi) const { return m_date.count(fi) != 0; }
    std::optional<QDate> date(int fi, uint32_t recno) const;
    bool empty() const { return m_text.empty() && m_date.empty(); }

    // Empty columns for the text and date fields among fis, to be filled
    // with appendRecord; the others are skipped.
    void prepare(const std::vector<int> &fis, uint32_t records);
    void appendRecord(const char *rec);
    // Pads the columns to records (records the file no longer holds read
    // as empty).
    void finish(uint32_t records);
    // The missing columns among fis, built in one pass over the file.
    void build(const dbf::File &file, uint32_t records, const std::vector<int> &fis);
    // Takes over the columns other built (a background pass).
    void adopt(RecordColumns &&other);
    // A posted or appended record.
    void update(uint32_t recno, const char *rec);

    // The case-folded text of field fi of rec (trailing spaces removed).
    const std::u16string &folded(const char *rec, int fi) const;

private:
    const dbf::Layout *m_layout = nullptr;
    const CodePage *m_codePage = nullptr;
    std::map<int, FieldColumn> m_text;
    std::map<int, DateColumn> m_date;
    mutable std::u16string m_scratch;
};
