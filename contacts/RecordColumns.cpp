#include "contacts/RecordColumns.h"

#include "contacts/DbfFile.h"
#include "platform/codepage/CodePage.h"

#include <algorithm>

namespace {

qint64 dayOf(const char *p)
{
    const auto d = dbf::decodeDate(p);
    return d && d->isValid() ? d->toJulianDay() : 0;
}

} // namespace

uint16_t DateColumn::encode(uint32_t recno, qint64 day)
{
    if (!m_aside.empty())
        m_aside.erase(recno);
    if (day == 0)
        return 0;
    if (day > kBase && day - kBase < kAside)
        return uint16_t(day - kBase);
    m_aside[recno] = day;
    return kAside;
}

std::optional<QDate> DateColumn::at(uint32_t recno) const
{
    if (recno == 0 || recno > m_days.size() || m_days[recno - 1] == 0)
        return std::nullopt;
    const uint16_t v = m_days[recno - 1];
    if (v != kAside)
        return QDate::fromJulianDay(kBase + v);
    const auto it = m_aside.find(recno);
    return it == m_aside.end() ? std::nullopt : std::optional<QDate>(QDate::fromJulianDay(it->second));
}

void RecordColumns::reset(const dbf::Layout *layout, const CodePage *codePage)
{
    clear();
    m_layout = layout;
    m_codePage = codePage;
}

void RecordColumns::clear()
{
    m_text.clear();
    m_date.clear();
}

RecordColumns RecordColumns::emptyCopy() const
{
    RecordColumns c;
    c.reset(m_layout, m_codePage);
    return c;
}

std::optional<QDate> RecordColumns::date(int fi, uint32_t recno) const
{
    return m_date.at(fi).at(recno);
}

void RecordColumns::prepare(const std::vector<int> &fis, uint32_t records)
{
    // A little room beyond the records there are, so that the appends
    // after open do not copy the whole column at once.
    const uint32_t room = records + records / 64 + 256;
    for (int fi : fis) {
        const FieldType type = m_layout->fields[fi].type;
        if (type == FieldType::Character && !hasText(fi))
            m_text[fi].reserve(room);
        else if (type == FieldType::Date && !hasDate(fi))
            m_date[fi].reserve(room);
    }
}

void RecordColumns::appendRecord(const char *rec)
{
    for (auto &[fi, c] : m_text)
        c.append(folded(rec, fi));
    for (auto &[fi, c] : m_date)
        c.push_back(dayOf(rec + m_layout->fields[fi].offset));
}

void RecordColumns::finish(uint32_t records)
{
    for (auto &[fi, c] : m_text)
        while (c.size() < records)
            c.append({});
    for (auto &[fi, c] : m_date)
        c.resize(std::max<size_t>(c.size(), records));
}

void RecordColumns::build(const dbf::File &file, uint32_t records, const std::vector<int> &fis)
{
    RecordColumns fresh;
    fresh.reset(m_layout, m_codePage);
    std::vector<int> missing;
    for (int fi : fis)
        if (!hasText(fi) && !hasDate(fi))
            missing.push_back(fi);
    fresh.prepare(missing, records);
    if (fresh.empty())
        return;
    dbf::scanRecords(file, m_layout->headerSize, m_layout->recordSize, 1, records,
                     [&](uint32_t, const char *rec) {
                         fresh.appendRecord(rec);
                         return true;
                     });
    fresh.finish(records);
    adopt(std::move(fresh));
}

void RecordColumns::adopt(RecordColumns &&other)
{
    for (auto &[fi, c] : other.m_text)
        m_text[fi] = std::move(c);
    for (auto &[fi, c] : other.m_date)
        m_date[fi] = std::move(c);
    other.clear();
}

void RecordColumns::update(uint32_t recno, const char *rec)
{
    for (auto &[fi, c] : m_text) {
        if (recno <= c.size())
            c.set(recno, folded(rec, fi));
        else if (recno == c.size() + 1)
            c.append(folded(rec, fi));
    }
    for (auto &[fi, c] : m_date) {
        const qint64 day = dayOf(rec + m_layout->fields[fi].offset);
        if (recno <= c.size())
            c.set(recno, day);
        else if (recno == c.size() + 1)
            c.push_back(day);
    }
}

const std::u16string &RecordColumns::folded(const char *rec, int fi) const
{
    const FieldDef &f = m_layout->fields[fi];
    m_scratch.clear();
    m_codePage->appendFolded(rec + f.offset, dbf::trimmedLength(rec + f.offset, f.width), m_scratch);
    return m_scratch;
}
