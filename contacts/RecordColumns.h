#pragma once

#include "contacts/DbfFormat.h"
#include "contacts/FieldColumn.h"

#include <QDate>

#include <map>
#include <optional>
#include <string>
#include <vector>

class CodePage;
namespace dbf {
class File;
}

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
    std::map<int, std::vector<int32_t>> m_date; // Julian day, 0 for no date
    mutable std::u16string m_scratch;
};
