#include "contacts/DbfTable.h"

#include "contacts/DbfFile.h"
#include "contacts/DbfFormat.h"
#include "contacts/FieldColumn.h"
#include "contacts/MemoFile.h"
#include "contacts/RecordColumns.h"
#include "contacts/RecordWriter.h"
#include "contacts/SearchExpression.h"
#include "contacts/VisibleRecords.h"
#include "platform/codepage/CodePage.h"
#include "platform/environment/Clock.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

// Records read for display or as the current record, bounded so that a
// long scroll or a large import does not keep the table in memory. Each
// record has one slot, shared with every 256th record: a screenful of
// neighbours stays, and a new record replaces one old one, so memory is
// neither dropped nor regrown in bulk.
class RecordCache {
public:
    const QByteArray *find(uint32_t recno) const
    {
        const Slot &s = m_slots[recno % kSlots];
        return s.recno == recno ? &s.rec : nullptr;
    }
    void put(uint32_t recno, const QByteArray &rec) { m_slots[recno % kSlots] = {recno, rec}; }
    void remove(uint32_t recno)
    {
        Slot &s = m_slots[recno % kSlots];
        if (s.recno == recno)
            s = Slot();
    }
    void clear() { m_slots.fill(Slot()); }

private:
    static constexpr uint32_t kSlots = 256;
    struct Slot {
        uint32_t recno = 0;
        QByteArray rec;
    };
    std::array<Slot, kSlots> m_slots;
};

// The record in edit or insert state, as Edit read it and as changed since.
struct EditBuffer {
    QByteArray rec;
    QByteArray orig;    // the record as Edit read it from the file
    bool whole = false; // the file held all of it
    QHash<int, QString> memos;
    bool modified = false;
    qint64 insertReturn = -1; // current index before Append
};

// The record the filter callback is asked about: its fields are served
// from the columns kept in memory where they can be, else read once from
// the file.
struct TestedRecord {
    uint32_t recno = 0;
    const char *rec = nullptr;
    QByteArray read;
    bool fromFile = false; // the callback needed a field not in memory
};

} // namespace

struct TDbfTable::Impl {
    QString name;
    QString folder;
    QString tableName;
    QStringList keepInMemory;

    dbf::File file;
    MemoFile memo;
    RecordWriter writer{file, memo};
    dbf::Layout layout;
    const ::CodePage *codePage = &::CodePage::windows1252();
    QHash<QString, int> fieldIndex;
    uint32_t recordCount = 0;
    QByteArray blank;

    DatasetState state = DatasetState::Inactive;
    VisibleRecords visible;
    RecordColumns columns;
    qint64 cur = -1; // index into visible.list()
    bool bof = true, eof = true;
    RecordCache cache;
    mutable QByteArray curBuf;
    mutable bool curLoaded = false; // read on first use: a move followed by Edit reads once
    EditBuffer edit;
    mutable TestedRecord tested;

    QString filterText;
    int filterField = -1; // -1: no expression
    SearchPattern filterPattern;

    // Names callers pass again and again (the filter callback's, per
    // record): found by identity before the hash. Each holds its string,
    // so an identical pointer means identical text.
    mutable std::array<std::pair<QString, int>, 8> recentFields;
    mutable unsigned nextRecent = 0;

    [[noreturn]] void fail(const QString &text) const { throw EDbfError(name + QStringLiteral(": ") + text); }
    const std::vector<uint32_t> &vis() const { return visible.list(); }
    void checkActive() const
    {
        if (state == DatasetState::Inactive)
            fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
    }
    int fieldOrThrow(const QString &field) const
    {
        for (const auto &[s, fi] : recentFields)
            if (s.constData() == field.constData() && s.size() == field.size() && !s.isNull())
                return fi;
        auto it = fieldIndex.constFind(field);
        if (it == fieldIndex.constEnd())
            it = fieldIndex.constFind(field.toUpper());
        if (it == fieldIndex.constEnd())
            fail(QStringLiteral("Field '%1' not found").arg(field));
        recentFields[nextRecent++ % recentFields.size()] = {field, it.value()};
        return it.value();
    }
    qint64 offsetOf(uint32_t recno) const
    {
        return qint64(layout.headerSize) + qint64(recno - 1) * layout.recordSize;
    }
    bool editing() const { return state == DatasetState::Edit || state == DatasetState::Insert; }

    QByteArray readRecord(uint32_t recno)
    {
        if (const QByteArray *r = cache.find(recno))
            return *r;
        QByteArray r = file.readAt(offsetOf(recno), layout.recordSize);
        if (r.size() < layout.recordSize)
            r = blank;
        cache.put(recno, r);
        return r;
    }

    const char *record() const
    {
        if (tested.recno) {
            if (!tested.rec) {
                tested.read = file.readAt(offsetOf(tested.recno), layout.recordSize);
                if (tested.read.size() < layout.recordSize)
                    tested.read = blank;
                tested.rec = tested.read.constData();
                tested.fromFile = true;
            }
            return tested.rec;
        }
        if (editing())
            return edit.rec.constData();
        if (cur >= 0) {
            if (!curLoaded) {
                curBuf = const_cast<Impl *>(this)->readRecord(vis()[size_t(cur)]);
                curLoaded = true;
            }
            return curBuf.constData();
        }
        return blank.constData();
    }
    bool usingEditBuffer() const { return !tested.recno && editing(); }

    QString memoText(const char *rec, int fi, bool pending) const
    {
        if (pending) {
            auto it = edit.memos.constFind(fi);
            if (it != edit.memos.constEnd())
                return it.value();
        }
        const FieldDef &f = layout.fields[fi];
        const QByteArray bytes = memo.read(dbf::decodeMemoBlock(rec + f.offset, f.width));
        return codePage->decode(bytes.constData(), bytes.size());
    }

    QString text(const char *rec, int fi, bool pending) const
    {
        const FieldDef &f = layout.fields[fi];
        const char *p = rec + f.offset;
        switch (f.type) {
        case FieldType::Character:
            return codePage->decode(p, dbf::trimmedLength(p, f.width));
        case FieldType::Number: {
            int b = 0, e = f.width;
            while (b < e && p[b] == ' ')
                ++b;
            while (e > b && p[e - 1] == ' ')
                --e;
            return QString::fromLatin1(p + b, e - b);
        }
        case FieldType::Logical:
            if (*p == ' ')
                return {};
            return dbf::decodeLogical(*p) ? QStringLiteral("True") : QStringLiteral("False");
        case FieldType::Date: {
            const auto d = dbf::decodeDate(p);
            return d ? QLocale().toString(*d, QLocale::ShortFormat) : QString();
        }
        case FieldType::Memo:
            return memoText(rec, fi, pending);
        }
        return {};
    }

    int controlsDisabled = 0;
    bool heldScroll = false, heldState = false;
    void scrolled(TDbfTable &t)
    {
        if (controlsDisabled)
            heldScroll = true;
        else if (t.AfterScroll)
            t.AfterScroll(t);
    }
    void setState(TDbfTable &t, DatasetState s)
    {
        if (state == s)
            return;
        state = s;
        if (controlsDisabled)
            heldState = true;
        else if (t.OnStateChange)
            t.OnStateChange(t);
    }
    void moveTo(TDbfTable &t, qint64 index)
    {
        if (index >= qint64(vis().size()) - 1)
            visible.complete();
        const uint32_t before = cur >= 0 && cur < qint64(vis().size()) ? vis()[size_t(cur)] : 0;
        cur = vis().empty() ? -1 : std::clamp<qint64>(index, 0, qint64(vis().size()) - 1);
        curLoaded = false;
        const uint32_t after = cur >= 0 ? vis()[size_t(cur)] : 0;
        if (before != after)
            scrolled(t);
    }
    void checkBrowse(TDbfTable &t)
    {
        checkActive();
        if (editing()) {
            if (edit.modified)
                t.Post();
            else
                t.Cancel();
        }
    }
    void needEdit() const
    {
        if (!editing())
            fail(QStringLiteral("Dataset not in edit or insert mode"));
    }
    void put(int fi, const QByteArray &bytes)
    {
        const FieldDef &f = layout.fields[fi];
        QByteArray v = bytes.left(f.width);
        v.append(QByteArray(f.width - v.size(), ' '));
        memcpy(edit.rec.data() + f.offset, v.constData(), size_t(f.width));
        edit.modified = true;
    }

    bool callbackPasses(TDbfTable &t, uint32_t recno, const char *rec)
    {
        if (!t.OnFilterRecord)
            return true;
        tested = TestedRecord{recno, rec, {}, false};
        struct Reset {
            TestedRecord &r;
            ~Reset() { r = TestedRecord(); }
        } reset{tested};
        const bool pass = t.OnFilterRecord(t);
        lastTestFromFile = tested.fromFile;
        return pass;
    }
    bool lastTestFromFile = false;
    // For a record not yet in the lists (appended by another program).
    bool passes(TDbfTable &t, uint32_t recno, const char *rec)
    {
        if (filterField >= 0 && !filterPattern.matchesFolded(columns.folded(rec, filterField)))
            return false;
        return callbackPasses(t, recno, rec);
    }

    // The callback over candidates[from..], reading each record from the
    // file: one by one when they are few, else in one pass.
    void filterFromFile(TDbfTable &t, const std::vector<uint32_t> &cand, size_t from,
                        std::vector<uint32_t> &out)
    {
        if (from >= cand.size())
            return;
        if (cand.size() - from <= visible.live().size() / 8) {
            QByteArray buf;
            for (size_t i = from; i < cand.size(); ++i) {
                buf = file.readAt(offsetOf(cand[i]), layout.recordSize);
                if (buf.size() == layout.recordSize && callbackPasses(t, cand[i], buf.constData()))
                    out.push_back(cand[i]);
            }
            return;
        }
        size_t j = from;
        dbf::scanRecords(file, layout.headerSize, layout.recordSize, cand[from], cand.back(),
                         [&](uint32_t recno, const char *rec) {
                             if (recno != cand[j])
                                 return true;
                             ++j;
                             if (callbackPasses(t, recno, rec))
                                 out.push_back(recno);
                             return j < cand.size();
                         });
    }

    void applyFilter(TDbfTable &t)
    {
        // Nothing to test: the live list serves as it is, even while the
        // pass after open is still completing it.
        if (!visible.filtered()) {
            visible.setPassing({});
            return;
        }
        if (filterField < 0 && (!t.OnFilterRecord || (t.OnFilterPassesAll && t.OnFilterPassesAll()))) {
            visible.setAllPass();
            return;
        }
        visible.complete();
        std::vector<uint32_t> out;
        try {
            // The expression is matched against the field's column; the
            // callback then sees only the records that passed it.
            const std::vector<uint32_t> &live = visible.live();
            std::vector<uint32_t> matched;
            if (filterField >= 0) {
                columns.build(file, recordCount, {filterField});
                const FieldColumn &c = columns.text(filterField);
                for (uint32_t r : live)
                    if (r <= c.size() && filterPattern.matchesFolded(c.key(r)))
                        matched.push_back(r);
            }
            const std::vector<uint32_t> &cand = filterField >= 0 ? matched : live;
            if (!t.OnFilterRecord) {
                out = filterField >= 0 ? std::move(matched) : live;
            } else {
                // A callback that reads only fields kept in memory needs no
                // file reads; once it asks for another field, the rest of
                // the records are read from the file.
                size_t i = 0;
                for (; i < cand.size(); ++i) {
                    if (callbackPasses(t, cand[i], nullptr))
                        out.push_back(cand[i]);
                    if (lastTestFromFile) {
                        ++i;
                        break;
                    }
                }
                filterFromFile(t, cand, i, out);
            }
            visible.setPassing(std::move(out));
        } catch (...) {
            // A filter that fails must not hide contacts: show them all.
            visible.setFiltered(false);
            visible.setPassing({});
            cur = -1;
            moveTo(t, 0);
            throw;
        }
    }

    void resolveFilter()
    {
        filterField = -1;
        if (filterText.trimmed().isEmpty())
            return;
        const SearchExpression e = ParseSearchExpression(filterText);
        const int fi = fieldOrThrow(e.field);
        if (layout.fields[fi].type != FieldType::Character)
            throw EDbfError(QStringLiteral("Only text fields can be searched: '%1' is not a text field.")
                                .arg(layout.fields[fi].name));
        filterPattern = SearchPattern(e.text);
        filterField = fi;
    }

    // Re-applies the filter with the current record still known by its
    // number, so the move to the first record that follows sees whether
    // the current contact really changed.
    void refilter(TDbfTable &t, const std::function<void()> &change = {})
    {
        const uint32_t current = cur >= 0 && cur < qint64(vis().size()) ? vis()[size_t(cur)] : 0;
        if (change)
            change();
        applyFilter(t);
        cur = current ? visible.indexOf(current) : -1;
    }

    std::vector<int> fieldsKeptInMemory() const
    {
        std::vector<int> fis;
        for (const QString &n : keepInMemory) {
            const auto it = fieldIndex.constFind(n.toUpper());
            if (it != fieldIndex.constEnd())
                fis.push_back(it.value());
        }
        return fis;
    }
};

TDbfTable::TDbfTable(QString name) : d(std::make_unique<Impl>())
{
    d->name = std::move(name);
}

TDbfTable::~TDbfTable()
{
    // Whoever set the handlers may already be gone.
    AfterScroll = nullptr;
    OnStateChange = nullptr;
    OnFilterRecord = nullptr;
    OnFilterPassesAll = nullptr;
    try {
        Close();
    } catch (...) {
    }
}

QString TDbfTable::Name() const
{
    return d->name;
}

void TDbfTable::setClock(const Clock *clock)
{
    d->writer.setClock(clock);
}

QStringList TDbfTable::KeepInMemory() const
{
    return d->keepInMemory;
}

void TDbfTable::setKeepInMemory(const QStringList &fields)
{
    d->keepInMemory = fields;
}

QString TDbfTable::FilePath() const
{
    return d->folder;
}

void TDbfTable::setFilePath(const QString &folder)
{
    d->folder = folder;
}

QString TDbfTable::TableName() const
{
    return d->tableName;
}

void TDbfTable::setTableName(const QString &name)
{
    const int slash = int(name.lastIndexOf(QLatin1Char('/')));
    if (slash >= 0) {
        d->folder = name.left(slash + 1);
        d->tableName = name.mid(slash + 1);
    } else {
        d->tableName = name;
    }
}

QString TDbfTable::FullPath() const
{
    return d->folder + d->tableName;
}

QString MemoFilePath(const QString &tablePath)
{
    const QFileInfo info(tablePath);
    const QString base =
        info.suffix().isEmpty() ? tablePath : tablePath.left(tablePath.size() - info.suffix().size() - 1);
    const QString lower = base + QStringLiteral(".dbt");
    if (!QFileInfo::exists(lower) && QFileInfo::exists(base + QStringLiteral(".DBT")))
        return base + QStringLiteral(".DBT");
    return lower;
}

void TDbfTable::Open()
{
    if (Active())
        return;
    const QString path = FullPath();
    if (!d->file.open(path)) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw EDbfError(QStringLiteral("Open: file not found: \"%1\".").arg(path));
        throw EDbfError(QStringLiteral("Open: cannot open \"%1\": %2.")
                            .arg(path, QString::fromLocal8Bit(strerror(errno))));
    }
    try {
        if (QFileInfo(path).isDir())
            throw EDbfError(QStringLiteral("Invalid DBF file."));
        const QByteArray prefix = d->file.readAt(0, dbf::kHeaderPrefix);
        if (prefix.size() < dbf::kHeaderPrefix)
            throw EDbfError(QStringLiteral("Invalid DBF file."));
        const QByteArray header = d->file.readAt(0, dbf::declaredHeaderSize(prefix.constData()));
        d->layout = dbf::parseHeader(header);
        d->codePage = &::CodePage::forLanguageDriver(d->layout.languageDriver);
        d->fieldIndex.clear();
        d->recentFields = {};
        for (int i = 0; i < d->layout.fields.size(); ++i)
            if (!d->fieldIndex.contains(d->layout.fields[i].name))
                d->fieldIndex.insert(d->layout.fields[i].name, i);
        d->blank = QByteArray(d->layout.recordSize, ' ');

        d->memo.close();
        if (d->layout.hasMemo())
            d->memo.open(MemoFilePath(path), d->layout.version == dbf::kVersionDbase3Memo ||
                                                 d->layout.version == dbf::kVersionDbase3);
        d->recordCount = d->writer.open(path, d->layout, *d->codePage);
        d->cache.clear();
        d->columns.reset(&d->layout, d->codePage);
        d->resolveFilter();
    } catch (...) {
        d->writer.close();
        d->memo.close();
        d->file.close();
        throw;
    }
    d->cur = -1;
    d->setState(*this, DatasetState::Browse);
    d->visible.load(d->file, d->layout, d->recordCount, d->fieldsKeptInMemory(), d->columns, OnPassStart);
    if (d->visible.filtered())
        d->applyFilter(*this);
    First();
}

void TDbfTable::Close()
{
    if (!Active())
        return;
    if (d->editing()) {
        if (d->edit.modified)
            Post();
        else
            Cancel();
    }
    d->writer.close();
    d->visible.clear();
    d->memo.close();
    d->file.close();
    d->cache.clear();
    d->columns.clear();
    d->cur = -1;
    d->bof = d->eof = true;
    d->setState(*this, DatasetState::Inactive);
}

bool TDbfTable::Active() const
{
    return d->state != DatasetState::Inactive;
}

int TDbfTable::TableLevel() const
{
    if (!Active())
        return 0;
    return (d->layout.version == dbf::kVersionDbase3 || d->layout.version == dbf::kVersionDbase3Memo) ? 3 : 4;
}

QString TDbfTable::CodePage() const
{
    return d->codePage->name();
}

int TDbfTable::LanguageDriver() const
{
    return Active() ? d->layout.languageDriver : 0;
}

bool TDbfTable::HasMemoFile() const
{
    return d->memo.isOpen();
}

DatasetState TDbfTable::State() const
{
    return d->state;
}

void TDbfTable::First()
{
    d->checkBrowse(*this);
    d->moveTo(*this, 0);
    d->bof = true;
    d->eof = d->vis().empty();
}

void TDbfTable::Prior()
{
    d->checkBrowse(*this);
    if (d->cur <= 0) {
        d->bof = true;
        d->eof = d->vis().empty();
        return;
    }
    d->moveTo(*this, d->cur - 1);
    d->bof = d->eof = false;
}

void TDbfTable::Next()
{
    d->checkBrowse(*this);
    if (d->cur + 1 >= qint64(d->vis().size()))
        d->visible.complete();
    if (d->cur < 0 || d->cur + 1 >= qint64(d->vis().size())) {
        d->eof = true;
        d->bof = d->vis().empty();
        return;
    }
    d->moveTo(*this, d->cur + 1);
    d->bof = d->eof = false;
}

void TDbfTable::Last()
{
    d->checkBrowse(*this);
    d->visible.complete();
    d->moveTo(*this, qint64(d->vis().size()) - 1);
    d->eof = true;
    d->bof = d->vis().empty();
}

bool TDbfTable::Bof() const
{
    return d->bof;
}

bool TDbfTable::Eof() const
{
    return d->eof;
}

bool TDbfTable::IsEmpty() const
{
    if (d->vis().empty())
        d->visible.complete();
    return d->vis().empty() && d->state != DatasetState::Insert;
}

Bookmark TDbfTable::GetBookmark() const
{
    if (d->state == DatasetState::Insert || d->cur < 0)
        return 0;
    return d->vis()[size_t(d->cur)];
}

void TDbfTable::GotoBookmark(Bookmark b)
{
    d->checkBrowse(*this);
    const qint64 i = b > 0 && b <= 0xFFFFFFFFll ? d->visible.indexOf(uint32_t(b)) : -1;
    if (i < 0)
        d->fail(QStringLiteral("Record not found"));
    d->moveTo(*this, i);
    d->bof = d->eof = false;
}

bool TDbfTable::BookmarkValid(Bookmark b) const
{
    return b > 0 && b <= 0xFFFFFFFFll && d->visible.indexOf(uint32_t(b)) >= 0;
}

void TDbfTable::Edit()
{
    d->checkActive();
    if (d->editing())
        return;
    if (d->cur < 0) {
        Append();
        return;
    }
    const uint32_t recno = d->vis()[size_t(d->cur)];
    QByteArray r = d->file.readAt(d->offsetOf(recno), d->layout.recordSize);
    const bool whole = r.size() == d->layout.recordSize;
    if (!whole)
        r = d->blank;
    d->cache.put(recno, r);
    d->curBuf = r;
    d->curLoaded = true;
    d->edit = EditBuffer{r, r, whole, {}, false, -1};
    d->setState(*this, DatasetState::Edit);
}

void TDbfTable::Append()
{
    d->checkBrowse(*this);
    if (!d->file.writable())
        d->fail(QStringLiteral("Cannot modify a read-only dataset"));
    d->edit = EditBuffer{d->blank, {}, false, {}, false, d->cur};
    d->setState(*this, DatasetState::Insert);
}

void TDbfTable::Insert()
{
    Append();
}

void TDbfTable::Post()
{
    d->checkActive();
    d->needEdit();
    if (!d->file.writable())
        d->fail(QStringLiteral("Cannot modify a read-only dataset"));
    QByteArray &rec = d->edit.rec;
    const bool inserted = d->state == DatasetState::Insert;
    if (!inserted) {
        const uint32_t recno = d->vis()[size_t(d->cur)];
        d->writer.post(recno, d->edit.orig, d->edit.whole, rec, d->edit.memos);
        d->cache.put(recno, rec);
        d->columns.update(recno, rec.constData());
        d->visible.notePosted(recno, rec);
    } else {
        d->visible.complete();
        const uint32_t before = d->recordCount;
        const uint32_t recno = d->writer.append(rec, d->edit.memos, before);
        // Records other programs appended meanwhile join the lists too.
        if (recno > before + 1)
            dbf::scanRecords(d->file, d->layout.headerSize, d->layout.recordSize, before + 1, recno - 1,
                             [&](uint32_t r, const char *other) {
                                 if (other[0] != dbf::kDeletedFlag)
                                     d->visible.appendLive(r, d->passes(*this, r, other));
                                 d->columns.update(r, other);
                                 return true;
                             });
        d->recordCount = recno;
        // A posted record stays in view until the filter is next applied.
        d->visible.appendLive(recno, true);
        d->cache.put(recno, rec);
        d->columns.update(recno, rec.constData());
        d->cur = qint64(d->vis().size()) - 1;
        d->bof = d->eof = false;
    }
    d->curBuf = rec;
    d->curLoaded = true;
    d->edit = EditBuffer();
    d->setState(*this, DatasetState::Browse);
    if (inserted)
        d->scrolled(*this);
}

void TDbfTable::Cancel()
{
    d->checkActive();
    if (!d->editing())
        return;
    const bool inserted = d->state == DatasetState::Insert;
    const qint64 back = d->edit.insertReturn;
    d->edit = EditBuffer();
    d->setState(*this, DatasetState::Browse);
    if (inserted) {
        d->cur = -1;
        d->moveTo(*this, back);
    }
}

void TDbfTable::Delete()
{
    d->checkActive();
    if (d->state == DatasetState::Insert) {
        Cancel();
        return;
    }
    if (d->cur < 0)
        d->fail(QStringLiteral("Cannot perform this operation on an empty dataset"));
    if (!d->file.writable())
        d->fail(QStringLiteral("Cannot modify a read-only dataset"));
    if (d->state == DatasetState::Edit) {
        d->edit = EditBuffer();
        d->setState(*this, DatasetState::Browse);
    }
    d->visible.complete();
    const uint32_t recno = d->vis()[size_t(d->cur)];
    d->writer.markDeleted(recno);
    d->cache.remove(recno);
    d->visible.remove(recno);
    const qint64 next = d->cur;
    d->cur = -1;
    d->moveTo(*this, next);
    if (d->cur < 0)
        d->scrolled(*this);
    d->bof = d->cur <= 0;
    d->eof = d->vis().empty();
}

QStringList TDbfTable::FieldNames() const
{
    QStringList names;
    for (const FieldDef &f : d->layout.fields)
        names << f.name;
    return names;
}

std::optional<FieldDef> TDbfTable::FieldByName(const QString &field) const
{
    auto it = d->fieldIndex.constFind(field.toUpper());
    if (it == d->fieldIndex.constEnd())
        return std::nullopt;
    return d->layout.fields[it.value()];
}

QString TDbfTable::AsString(const QString &field) const
{
    const int fi = d->fieldOrThrow(field);
    return d->text(d->record(), fi, d->usingEditBuffer());
}

qint32 TDbfTable::AsInteger(const QString &field) const
{
    const int fi = d->fieldOrThrow(field);
    const FieldDef &f = d->layout.fields[fi];
    const char *p = d->record() + f.offset;
    double v = 0;
    if (f.type == FieldType::Number || f.type == FieldType::Character) {
        if (!dbf::decodeNumber(p, f.width, &v))
            return 0;
        return qint32(std::clamp<double>(std::trunc(v), INT32_MIN, INT32_MAX));
    }
    if (f.type == FieldType::Logical)
        return dbf::decodeLogical(*p) ? 1 : 0;
    return 0;
}

bool TDbfTable::AsBoolean(const QString &field) const
{
    const int fi = d->fieldOrThrow(field);
    const FieldDef &f = d->layout.fields[fi];
    const char *p = d->record() + f.offset;
    if (f.type == FieldType::Logical || f.type == FieldType::Character)
        return dbf::decodeLogical(*p);
    if (f.type == FieldType::Number)
        return AsInteger(field) != 0;
    return false;
}

std::optional<QDate> TDbfTable::AsDate(const QString &field) const
{
    const int fi = d->fieldOrThrow(field);
    const FieldDef &f = d->layout.fields[fi];
    if ((f.type != FieldType::Date && f.type != FieldType::Character) || f.width < 8)
        return std::nullopt;
    if (d->tested.recno && !d->tested.rec && d->columns.hasDate(fi))
        return d->columns.date(fi, d->tested.recno);
    return dbf::decodeDate(d->record() + f.offset);
}

bool TDbfTable::IsNull(const QString &field) const
{
    const int fi = d->fieldOrThrow(field);
    const FieldDef &f = d->layout.fields[fi];
    if (f.type == FieldType::Memo)
        return AsString(field).isEmpty();
    return dbf::isBlank(d->record() + f.offset, f.width);
}

QString TDbfTable::StoredText(const QString &field, const QString &value) const
{
    const FieldDef &f = d->layout.fields[d->fieldOrThrow(field)];
    if (f.type != FieldType::Character && f.type != FieldType::Memo)
        return value;
    QByteArray bytes = d->codePage->encode(f.type == FieldType::Memo ? QStringView(value)
                                                                     : QStringView(value).left(f.width));
    if (f.type == FieldType::Memo)
        return d->codePage->decode(bytes.constData(), bytes.size());
    bytes.truncate(f.width);
    return d->codePage->decode(bytes.constData(), dbf::trimmedLength(bytes.constData(), int(bytes.size())));
}

void TDbfTable::SetAsString(const QString &field, const QString &value)
{
    const int fi = d->fieldOrThrow(field);
    d->needEdit();
    const FieldDef &f = d->layout.fields[fi];
    switch (f.type) {
    case FieldType::Character:
        d->put(fi, d->codePage->encode(QStringView(value).left(f.width)));
        return;
    case FieldType::Memo:
        d->edit.memos.insert(fi, value);
        d->edit.modified = true;
        return;
    case FieldType::Number: {
        const QString t = value.trimmed();
        if (t.isEmpty()) {
            Clear(field);
            return;
        }
        bool ok = false;
        const double v = t.toDouble(&ok);
        if (!ok || !std::isfinite(v))
            d->fail(QStringLiteral("'%1' is not a valid number for field '%2'").arg(value, f.name));
        if (f.decimals == 0) {
            SetAsInteger(field, qint32(std::clamp<double>(std::round(v), INT32_MIN, INT32_MAX)));
            return;
        }
        const QByteArray digits = QByteArray::number(v, 'f', f.decimals);
        if (digits.size() > f.width)
            d->fail(QStringLiteral("Value %1 is out of range for field '%2'").arg(value, f.name));
        d->put(fi, QByteArray(f.width - digits.size(), ' ') + digits);
        return;
    }
    case FieldType::Logical: {
        const QString t = value.trimmed().toUpper();
        if (t.isEmpty())
            Clear(field);
        else if (t == QLatin1String("T") || t == QLatin1String("Y") || t == QLatin1String("TRUE") ||
                 t == QLatin1String("YES"))
            SetAsBoolean(field, true);
        else if (t == QLatin1String("F") || t == QLatin1String("N") || t == QLatin1String("FALSE") ||
                 t == QLatin1String("NO"))
            SetAsBoolean(field, false);
        else
            d->fail(QStringLiteral("'%1' is not a valid boolean value for field '%2'").arg(value, f.name));
        return;
    }
    case FieldType::Date: {
        const QString t = value.trimmed();
        if (t.isEmpty()) {
            Clear(field);
            return;
        }
        QDate date = QDate::fromString(t, QStringLiteral("yyyyMMdd"));
        if (!date.isValid())
            date = QLocale().toDate(t, QLocale::ShortFormat);
        if (!date.isValid())
            date = QDate::fromString(t, Qt::ISODate);
        if (!date.isValid())
            d->fail(QStringLiteral("'%1' is not a valid date for field '%2'").arg(value, f.name));
        SetAsDate(field, date);
        return;
    }
    }
}

void TDbfTable::SetAsInteger(const QString &field, qint32 value)
{
    const int fi = d->fieldOrThrow(field);
    d->needEdit();
    const FieldDef &f = d->layout.fields[fi];
    switch (f.type) {
    case FieldType::Number: {
        const QByteArray bytes = dbf::encodeNumber(value, f.width, f.decimals);
        if (bytes.isEmpty())
            d->fail(QStringLiteral("Value %1 is out of range for field '%2'").arg(value).arg(f.name));
        d->put(fi, bytes);
        return;
    }
    case FieldType::Character:
    case FieldType::Memo:
        SetAsString(field, QString::number(value));
        return;
    case FieldType::Logical:
        SetAsBoolean(field, value != 0);
        return;
    case FieldType::Date:
        d->fail(QStringLiteral("Field '%1' is not an integer field").arg(f.name));
    }
}

void TDbfTable::SetAsBoolean(const QString &field, bool value)
{
    const int fi = d->fieldOrThrow(field);
    d->needEdit();
    const FieldDef &f = d->layout.fields[fi];
    if (f.type == FieldType::Logical || f.type == FieldType::Character)
        d->put(fi, value ? "T" : "F");
    else
        d->fail(QStringLiteral("Field '%1' is not a logical field").arg(f.name));
}

void TDbfTable::SetAsDate(const QString &field, std::optional<QDate> value)
{
    const int fi = d->fieldOrThrow(field);
    d->needEdit();
    const FieldDef &f = d->layout.fields[fi];
    if (f.type == FieldType::Date || (f.type == FieldType::Character && f.width >= 8))
        d->put(fi, dbf::encodeDate(value));
    else
        d->fail(QStringLiteral("Field '%1' is not a date field").arg(f.name));
}

void TDbfTable::Clear(const QString &field)
{
    const int fi = d->fieldOrThrow(field);
    d->needEdit();
    d->edit.memos.remove(fi);
    d->put(fi, QByteArray());
}

QString TDbfTable::Filter() const
{
    return d->filterText;
}

void TDbfTable::setFilter(const QString &expression)
{
    if (!expression.trimmed().isEmpty())
        ParseSearchExpression(expression); // refuse bad syntax before changing anything
    const QString old = d->filterText;
    d->filterText = expression;
    if (!Active())
        return;
    try {
        d->resolveFilter();
    } catch (...) {
        d->filterText = old;
        d->resolveFilter();
        throw;
    }
    if (d->visible.filtered()) {
        d->checkBrowse(*this);
        d->refilter(*this);
        First();
    }
}

bool TDbfTable::Filtered() const
{
    return d->visible.filtered();
}

void TDbfTable::setFiltered(bool on)
{
    if (d->visible.filtered() == on)
        return;
    if (!Active()) {
        d->visible.setFiltered(on);
        return;
    }
    d->checkBrowse(*this);
    d->refilter(*this, [&] { d->visible.setFiltered(on); });
    First();
}

void TDbfTable::Refresh()
{
    d->checkBrowse(*this);
    const uint32_t current = uint32_t(GetBookmark());
    d->visible.complete();
    d->cache.clear();
    d->columns.clear();
    d->recordCount = uint32_t(
        std::clamp<qint64>((d->file.size() - d->layout.headerSize) / d->layout.recordSize, 0, 0xFFFFFFFFll));
    d->visible.reload(d->file, d->layout, d->recordCount);
    d->applyFilter(*this);
    const qint64 i = d->visible.indexOf(current);
    d->cur = -1;
    d->moveTo(*this, i < 0 ? 0 : i);
}

bool TDbfTable::Locate(const QStringList &fields, const QStringList &values, LocateOptions options)
{
    d->checkBrowse(*this);
    d->visible.complete();
    if (fields.size() != values.size())
        d->fail(QStringLiteral("Locate needs one value per field"));
    std::vector<int> fis;
    for (const QString &f : fields)
        fis.push_back(d->fieldOrThrow(f));
    const int n = int(fis.size());
    std::vector<std::u16string> wanted(n);
    for (int i = 0; i < n; ++i)
        wanted[i] = options.caseInsensitive ? foldCase(values[i]) : values[i].toStdU16String();
    auto valueMatches = [&](std::u16string_view v, int i) {
        if (options.partialKey)
            return v.substr(0, wanted[i].size()) == wanted[i];
        return v == wanted[i];
    };
    auto fieldMatches = [&](const char *rec, int i) {
        const FieldDef &f = d->layout.fields[fis[i]];
        if (f.type == FieldType::Character && options.caseInsensitive)
            return valueMatches(d->columns.folded(rec, fis[i]), i);
        std::u16string v;
        if (f.type == FieldType::Character) {
            const char *p = rec + f.offset;
            const int len = dbf::trimmedLength(p, f.width);
            for (int k = 0; k < len; ++k)
                v.push_back(d->codePage->toUnicode(uint8_t(p[k])));
        } else {
            const QString t = d->text(rec, fis[i], false);
            v = options.caseInsensitive ? foldCase(t) : t.toStdU16String();
        }
        return valueMatches(v, i);
    };

    const std::vector<uint32_t> &v = d->vis();
    uint32_t found = 0;
    // Case-insensitive partial keys on text fields use the fields' columns:
    // the most selective non-empty value gives the candidates, which are
    // checked against the other columns, the lowest visible record number
    // winning (file order). No record is read from the file.
    std::vector<int> textFields;
    bool allText = options.caseInsensitive && options.partialKey;
    for (int i = 0; i < n && allText; ++i)
        allText = d->layout.fields[fis[i]].type == FieldType::Character;
    if (allText) {
        for (int i = 0; i < n; ++i)
            if (!wanted[i].empty())
                textFields.push_back(fis[i]);
    }
    if (allText && !textFields.empty()) {
        d->columns.build(d->file, d->recordCount, textFields);
        // Most distinct fields first; a handful of candidates is good enough.
        std::vector<int> order;
        for (int i = 0; i < n; ++i)
            if (!wanted[i].empty())
                order.push_back(i);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return d->columns.text(fis[a]).distinctShare() > d->columns.text(fis[b]).distinctShare();
        });
        int best = -1;
        size_t bestCount = SIZE_MAX;
        for (int i : order) {
            const size_t c = d->columns.text(fis[i]).countPrefix(wanted[i], bestCount);
            if (c < bestCount) {
                bestCount = c;
                best = i;
            }
            if (bestCount <= 8)
                break;
        }
        std::vector<FieldColumn *> cols(n, nullptr);
        for (int i = 0; i < n; ++i)
            if (!wanted[i].empty())
                cols[i] = &d->columns.text(fis[i]);
        d->columns.text(fis[best]).forEachPrefix(wanted[best], [&](uint32_t recno) {
            if (found && recno > found)
                return true;
            for (int i = 0; i < n; ++i)
                if (cols[i] && (recno > cols[i]->size() || !valueMatches(cols[i]->key(recno), i)))
                    return true;
            if (!std::binary_search(v.begin(), v.end(), recno))
                return true;
            found = recno;
            return true;
        });
    } else if (!v.empty()) {
        size_t vi = 0;
        dbf::scanRecords(d->file, d->layout.headerSize, d->layout.recordSize, v.front(), v.back(),
                         [&](uint32_t recno, const char *rec) {
                             if (v[vi] != recno)
                                 return true;
                             ++vi;
                             bool all = true;
                             for (int i = 0; i < n && all; ++i)
                                 all = fieldMatches(rec, i);
                             if (all) {
                                 found = recno;
                                 return false;
                             }
                             return vi < v.size();
                         });
    }
    if (!found)
        return false;
    d->moveTo(*this, d->visible.indexOf(found));
    d->bof = d->eof = false;
    return true;
}

bool TDbfTable::AnyRecordPasses()
{
    d->checkActive();
    // The records whose flags open read are looked at straight from the
    // file; only when none passes is the rest of the table needed.
    const size_t known = d->visible.loading() ? size_t(d->visible.known()) : 0;
    bool found = false;
    if (d->visible.loading() && known > 0) {
        const uint32_t last = d->visible.knownAt(std::min(known, d->visible.live().size()) - 1);
        dbf::scanRecords(d->file, d->layout.headerSize, d->layout.recordSize, 1, last,
                         [&](uint32_t recno, const char *rec) {
                             if (rec[0] != dbf::kDeletedFlag && d->passes(*this, recno, rec))
                                 found = true;
                             return !found;
                         });
        if (found)
            return true;
    }
    d->visible.complete();
    for (uint32_t recno : d->visible.live()) {
        if (d->filterField >= 0) {
            d->columns.build(d->file, d->recordCount, {d->filterField});
            const FieldColumn &c = d->columns.text(d->filterField);
            if (recno > c.size() || !d->filterPattern.matchesFolded(c.key(recno)))
                continue;
        }
        if (d->callbackPasses(*this, recno, nullptr))
            return true;
    }
    return false;
}

bool TDbfTable::Loading() const
{
    if (!Active())
        return false;
    d->visible.known(); // takes over a finished pass
    return d->visible.loading();
}

qint64 TDbfTable::LoadedCount() const
{
    return Active() ? qint64(d->visible.known()) : 0;
}

qint64 TDbfTable::VisibleCount() const
{
    d->visible.complete();
    return qint64(d->vis().size());
}

Bookmark TDbfTable::VisibleAt(qint64 index) const
{
    if (index >= 0 && d->visible.loading() && size_t(index) < d->visible.known() && d->visible.loading())
        // (known() may take over a finished pass, hence the second look)
        return d->visible.knownAt(size_t(index));
    if (index >= qint64(d->vis().size()))
        d->visible.complete();
    if (index < 0 || index >= qint64(d->vis().size()))
        return 0;
    return d->vis()[size_t(index)];
}

qint64 TDbfTable::VisibleIndexOf(Bookmark b) const
{
    if (b <= 0 || b > 0xFFFFFFFFll)
        return -1;
    return d->visible.indexOf(uint32_t(b));
}

QString TDbfTable::DisplayText(Bookmark b, const QString &field) const
{
    if (!Active() || b <= 0 || b > d->recordCount)
        return {};
    const int fi = d->fieldOrThrow(field);
    if (d->state == DatasetState::Edit && d->cur >= 0 && d->vis()[size_t(d->cur)] == uint32_t(b))
        return d->text(d->edit.rec.constData(), fi, true);
    const QByteArray rec = d->readRecord(uint32_t(b));
    return d->text(rec.constData(), fi, false);
}

std::optional<QDate> TDbfTable::DateAt(Bookmark b, const QString &field) const
{
    if (!Active() || b <= 0 || b > d->recordCount)
        return std::nullopt;
    const int fi = d->fieldOrThrow(field);
    const FieldDef &f = d->layout.fields[fi];
    if ((f.type != FieldType::Date && f.type != FieldType::Character) || f.width < 8)
        return std::nullopt;
    if (d->state == DatasetState::Edit && d->cur >= 0 && d->vis()[size_t(d->cur)] == uint32_t(b))
        return dbf::decodeDate(d->edit.rec.constData() + f.offset);
    const QByteArray rec = d->readRecord(uint32_t(b));
    if (rec.size() < f.offset + 8)
        return std::nullopt;
    return dbf::decodeDate(rec.constData() + f.offset);
}

void TDbfTable::DisableControls()
{
    ++d->controlsDisabled;
}

void TDbfTable::EnableControls()
{
    if (d->controlsDisabled == 0 || --d->controlsDisabled > 0)
        return;
    const bool state = std::exchange(d->heldState, false);
    const bool scroll = std::exchange(d->heldScroll, false);
    if (state && OnStateChange)
        OnStateChange(*this);
    if (scroll && AfterScroll)
        AfterScroll(*this);
}

bool TDbfTable::ControlsDisabled() const
{
    return d->controlsDisabled > 0;
}

qint64 TDbfTable::RecordCount() const
{
    return d->recordCount;
}
