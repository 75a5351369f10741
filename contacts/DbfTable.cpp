#include "contacts/DbfTable.h"

#include "contacts/DbfFile.h"
#include "contacts/DbfFormat.h"
#include "contacts/FieldColumn.h"
#include "contacts/MemoFile.h"
#include "contacts/SearchExpression.h"
#include "platform/codepage/CodePage.h"
#include "platform/environment/Clock.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <thread>

namespace {

const Clock &systemClock()
{
    static SystemClock clock;
    return clock;
}

} // namespace

struct TDbfTable::Impl {
    QString name;
    QString folder;
    QString tableName;
    const Clock *clock = nullptr;

    dbf::File file;
    MemoFile memo;
    std::unique_ptr<dbf::UseLock> useLock;
    std::unique_ptr<dbf::Journal> journal;
    dbf::Layout layout;
    const ::CodePage *codePage = &::CodePage::windows1252();
    QHash<QString, int> fieldIndex;
    uint32_t recordCount = 0;

    DatasetState state = DatasetState::Inactive;
    // Live records (not deleted) in file order, and the records that pass
    // the filter while filtering is on. The live list of a large table is
    // completed by a background scan after Open returns.
    mutable std::vector<uint32_t> live;
    std::vector<uint32_t> filteredList;
    mutable std::thread scanner;
    mutable std::vector<uint32_t> liveTail;
    mutable bool scanning = false;
    // The same background pass builds the columns of the contact's own text
    // fields (the ones searched and located on), so that the first search
    // finds them ready instead of reading the whole file again. Records
    // posted while it runs are folded in again when it is joined.
    mutable std::vector<int> scanFields;
    mutable std::vector<FieldColumn> scanColumns;
    mutable std::vector<std::pair<uint32_t, QByteArray>> postedWhileScanning;
    qint64 cur = -1; // index into vis()
    bool bof = true, eof = true;
    mutable QByteArray curBuf;
    mutable bool curLoaded = false; // read on first use: a move followed by Edit reads once
    QByteArray editBuf;
    QByteArray origBuf;     // the record as Edit read it from the file
    bool origWhole = false; // the file held all of it
    QHash<int, QString> pendingMemo;
    bool modified = false;
    qint64 insertReturn = -1; // current index before Append
    const char *testRec = nullptr;
    QByteArray blank;

    QString filterText;
    bool filtered = false;
    int filterField = -1;
    SearchPattern filterPattern;
    bool filterSet = false;

    mutable QHash<uint32_t, QByteArray> cache;
    mutable std::map<int, FieldColumn> columns; // by field, built on first use
    mutable std::u16string scratch;

    dbf::File *files[2] = {&file, nullptr};

    ~Impl()
    {
        // Close joins it; this is for a Close that failed half-way.
        if (scanner.joinable())
            scanner.join();
    }

    // --- helpers ---
    [[noreturn]] void fail(const QString &text) const { throw EDbfError(name + QStringLiteral(": ") + text); }
    const std::vector<uint32_t> &vis() const { return filtered ? filteredList : live; }
    std::vector<uint32_t> &vis() { return filtered ? filteredList : live; }
    void ensureLive() const
    {
        if (!scanning)
            return;
        scanner.join();
        live.insert(live.end(), liveTail.begin(), liveTail.end());
        liveTail.clear();
        liveTail.shrink_to_fit();
        scanning = false;
        for (size_t k = 0; k < scanFields.size(); ++k)
            columns[scanFields[k]] = std::move(scanColumns[k]);
        scanColumns.clear();
        for (const auto &[recno, rec] : postedWhileScanning)
            for (int fi : scanFields)
                columns[fi].set(recno, folded(rec.constData(), fi));
        postedWhileScanning.clear();
        scanFields.clear();
    }
    // The background pass: the deletion flags of the records after head and
    // the scan columns of every record, read once.
    void backgroundScan(uint32_t head) const
    {
        std::u16string key;
        std::vector<const FieldDef *> defs;
        for (int fi : scanFields)
            defs.push_back(&layout.fields[fi]);
        for (FieldColumn &c : scanColumns)
            c.reserve(recordCount);
        uint32_t seen = 0;
        dbf::scanRecords(file, layout.headerSize, layout.recordSize, defs.empty() ? head + 1 : 1, recordCount,
                         [&](uint32_t recno, const char *rec) {
                             if (recno > head && rec[0] != dbf::kDeletedFlag)
                                 liveTail.push_back(recno);
                             for (size_t k = 0; k < defs.size(); ++k) {
                                 const char *p = rec + defs[k]->offset;
                                 key.clear();
                                 codePage->appendFolded(p, dbf::trimmedLength(p, defs[k]->width), key);
                                 scanColumns[k].append(key);
                             }
                             seen = recno;
                             return true;
                         });
        // Records the file no longer holds read as empty.
        if (!defs.empty())
            for (; seen < recordCount; ++seen)
                for (FieldColumn &c : scanColumns)
                    c.append({});
        for (FieldColumn &c : scanColumns)
            c.shrinkToFit();
    }
    void checkActive() const
    {
        if (state == DatasetState::Inactive)
            fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
    }
    int fieldOrThrow(const QString &field) const
    {
        auto it = fieldIndex.constFind(field.toUpper());
        if (it == fieldIndex.constEnd())
            fail(QStringLiteral("Field '%1' not found").arg(field));
        return it.value();
    }
    qint64 offsetOf(uint32_t recno) const
    {
        return qint64(layout.headerSize) + qint64(recno - 1) * layout.recordSize;
    }
    QDate today() const { return (clock ? clock : &systemClock())->now().date(); }

    QByteArray readRecord(uint32_t recno) const
    {
        auto it = cache.constFind(recno);
        if (it != cache.constEnd())
            return it.value();
        QByteArray r = file.readAt(offsetOf(recno), layout.recordSize);
        if (r.size() < layout.recordSize)
            r = blank;
        if (cache.size() > 1024)
            cache.clear();
        cache.insert(recno, r);
        return r;
    }

    const char *record() const
    {
        if (testRec)
            return testRec;
        if (state == DatasetState::Edit || state == DatasetState::Insert)
            return editBuf.constData();
        if (cur >= 0) {
            if (!curLoaded) {
                curBuf = readRecord(vis()[size_t(cur)]);
                curLoaded = true;
            }
            return curBuf.constData();
        }
        return blank.constData();
    }
    bool usingEditBuffer() const
    {
        return !testRec && (state == DatasetState::Edit || state == DatasetState::Insert);
    }

    QString memoText(const char *rec, int fi, bool pending) const
    {
        if (pending) {
            auto it = pendingMemo.constFind(fi);
            if (it != pendingMemo.constEnd())
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

    void setState(TDbfTable &t, DatasetState s)
    {
        if (state == s)
            return;
        state = s;
        if (t.OnStateChange)
            t.OnStateChange(t);
    }
    void loadCurrent() { curLoaded = false; }
    void moveTo(TDbfTable &t, qint64 index)
    {
        if (index >= qint64(vis().size()) - 1)
            ensureLive();
        const uint32_t before = cur >= 0 && cur < qint64(vis().size()) ? vis()[size_t(cur)] : 0;
        cur = vis().empty() ? -1 : std::clamp<qint64>(index, 0, qint64(vis().size()) - 1);
        loadCurrent();
        const uint32_t after = cur >= 0 ? vis()[size_t(cur)] : 0;
        if (before != after && t.AfterScroll)
            t.AfterScroll(t);
    }
    void checkBrowse(TDbfTable &t)
    {
        checkActive();
        if (state == DatasetState::Edit || state == DatasetState::Insert) {
            if (modified)
                t.Post();
            else
                t.Cancel();
        }
    }
    void needEdit() const
    {
        if (state != DatasetState::Edit && state != DatasetState::Insert)
            fail(QStringLiteral("Dataset not in edit or insert mode"));
    }
    void put(int fi, const QByteArray &bytes)
    {
        const FieldDef &f = layout.fields[fi];
        QByteArray v = bytes.left(f.width);
        v.append(QByteArray(f.width - v.size(), ' '));
        memcpy(editBuf.data() + f.offset, v.constData(), size_t(f.width));
        modified = true;
    }

    // The bytes of the edited record that differ from the file: first
    // offset and length (0 when nothing changed).
    std::pair<qsizetype, qsizetype> changedSpan() const
    {
        if (!origWhole || origBuf.size() != editBuf.size())
            return {0, editBuf.size()};
        const char *a = origBuf.constData(), *b = editBuf.constData();
        qsizetype first = 0, last = editBuf.size();
        while (first < last && a[first] == b[first])
            ++first;
        while (last > first && a[last - 1] == b[last - 1])
            --last;
        return {first, last - first};
    }

    FieldColumn &column(int fi)
    {
        ensureColumns({fi});
        return columns[fi];
    }
    // Builds the missing columns in one pass over the file.
    void ensureColumns(const std::vector<int> &fis)
    {
        ensureLive(); // it may be building some of them
        std::vector<int> missing;
        for (int fi : fis)
            if (!columns.count(fi) && std::find(missing.begin(), missing.end(), fi) == missing.end())
                missing.push_back(fi);
        if (missing.empty())
            return;
        std::vector<FieldColumn *> cols;
        for (int fi : missing) {
            cols.push_back(&columns[fi]);
            cols.back()->reserve(recordCount);
        }
        uint32_t seen = 0;
        dbf::scanRecords(file, layout.headerSize, layout.recordSize, 1, recordCount,
                         [&](uint32_t, const char *rec) {
                             for (size_t k = 0; k < missing.size(); ++k)
                                 cols[k]->append(folded(rec, missing[k]));
                             ++seen;
                             return true;
                         });
        // Records the file no longer holds read as empty.
        for (; seen < recordCount; ++seen)
            for (FieldColumn *c : cols)
                c->append({});
    }
    const std::u16string &folded(const char *rec, int fi) const
    {
        const FieldDef &f = layout.fields[fi];
        scratch.clear();
        codePage->appendFolded(rec + f.offset, dbf::trimmedLength(rec + f.offset, f.width), scratch);
        return scratch;
    }
    void updateColumns(uint32_t recno, const char *rec)
    {
        for (auto &[fi, c] : columns) {
            if (recno <= c.size())
                c.set(recno, folded(rec, fi));
            else if (recno == c.size() + 1)
                c.append(folded(rec, fi));
        }
    }

    bool callbackPasses(TDbfTable &t, const char *rec)
    {
        if (!t.OnFilterRecord)
            return true;
        testRec = rec;
        struct Reset {
            const char *&p;
            ~Reset() { p = nullptr; }
        } reset{testRec};
        return t.OnFilterRecord(t);
    }
    // For a record not yet in the lists (appended by another program).
    bool passes(TDbfTable &t, const char *rec)
    {
        if (filterSet && !filterPattern.matchesFolded(folded(rec, filterField)))
            return false;
        return callbackPasses(t, rec);
    }

    void scanLive(uint32_t first, uint32_t last, std::vector<uint32_t> &out) const
    {
        dbf::scanRecords(file, layout.headerSize, layout.recordSize, first, last,
                         [&](uint32_t recno, const char *rec) {
                             if (rec[0] != dbf::kDeletedFlag)
                                 out.push_back(recno);
                             return true;
                         });
    }

    void applyFilter(TDbfTable &t)
    {
        ensureLive();
        filteredList.clear();
        if (!filtered)
            return;
        try {
            // The expression is matched against the field's column; the
            // callback then sees only the records that passed it, read one
            // by one when they are few, or in one pass over the file.
            const std::vector<uint32_t> *candidates = &live;
            std::vector<uint32_t> matched;
            if (filterSet) {
                FieldColumn &c = column(filterField);
                matched.reserve(live.size() / 4);
                for (uint32_t r : live)
                    if (r <= c.size() && filterPattern.matchesFolded(c.key(r)))
                        matched.push_back(r);
                candidates = &matched;
            }
            if (!t.OnFilterRecord) {
                filteredList = *candidates;
                return;
            }
            filteredList.reserve(candidates->size());
            if (candidates->size() <= live.size() / 8) {
                QByteArray buf;
                for (uint32_t r : *candidates) {
                    buf = file.readAt(offsetOf(r), layout.recordSize);
                    if (buf.size() == layout.recordSize && callbackPasses(t, buf.constData()))
                        filteredList.push_back(r);
                }
            } else if (!candidates->empty()) {
                size_t j = 0;
                const std::vector<uint32_t> &cand = *candidates;
                dbf::scanRecords(file, layout.headerSize, layout.recordSize, cand.front(), cand.back(),
                                 [&](uint32_t recno, const char *rec) {
                                     if (recno != cand[j])
                                         return true;
                                     ++j;
                                     if (callbackPasses(t, rec))
                                         filteredList.push_back(recno);
                                     return j < cand.size();
                                 });
            }
        } catch (...) {
            // A filter that fails must not hide contacts: show them all.
            filtered = false;
            filteredList.clear();
            cur = -1;
            moveTo(t, 0);
            throw;
        }
    }

    void resolveFilter()
    {
        filterSet = false;
        filterField = -1;
        if (filterText.trimmed().isEmpty())
            return;
        const SearchExpression e = ParseSearchExpression(filterText);
        const int fi = fieldOrThrow(e.field);
        if (layout.fields[fi].type != FieldType::Character)
            throw EDbfError(QStringLiteral("Only text fields can be searched: '%1' is not a text field.")
                                .arg(layout.fields[fi].name));
        filterField = fi;
        filterPattern = SearchPattern(e.text);
        filterSet = true;
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
        cur = current ? indexOf(current) : -1;
    }

    qint64 indexOf(uint32_t recno) const
    {
        ensureLive();
        const std::vector<uint32_t> &v = vis();
        auto it = std::lower_bound(v.begin(), v.end(), recno);
        if (it == v.end() || *it != recno)
            return -1;
        return it - v.begin();
    }

    void writeHeaderPrefix(uint32_t count)
    {
        QByteArray p = dbf::headerPrefix8(layout.version, today(), count);
        file.writeAt(1, p.constData() + 1, 7);
        layout.headerCount = count;
    }

    void writeMemos(std::vector<dbf::WriteOp> &journaled)
    {
        for (auto it = pendingMemo.constBegin(); it != pendingMemo.constEnd(); ++it) {
            const FieldDef &f = layout.fields[it.key()];
            if (!memo.isOpen() || !memo.file().writable())
                continue; // without its memo file a table keeps no memo changes
            const uint64_t old = dbf::decodeMemoBlock(editBuf.constData() + f.offset, f.width);
            const MemoFile::Plan plan = memo.plan(old, codePage->encode(it.value()));
            // Fresh blocks and the advanced next-free number go straight to the
            // file: until the record points at them they are unused space.
            // Text rewritten in place goes with the record through the journal.
            for (const dbf::WriteOp &op : plan.fresh)
                memo.file().writeAt(op.offset, op.data);
            for (const dbf::WriteOp &op : plan.overwrite) {
                if (op.offset == 0)
                    memo.file().writeAt(0, op.data);
                else
                    journaled.push_back(op);
            }
            const QByteArray ptr = dbf::encodeMemoBlock(plan.block, f.width);
            memcpy(editBuf.data() + f.offset, ptr.constData(), size_t(f.width));
        }
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
    d->clock = clock;
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
        for (int i = 0; i < d->layout.fields.size(); ++i)
            if (!d->fieldIndex.contains(d->layout.fields[i].name))
                d->fieldIndex.insert(d->layout.fields[i].name, i);
        d->blank = QByteArray(d->layout.recordSize, ' ');

        d->memo.close();
        if (d->layout.hasMemo())
            d->memo.open(MemoFilePath(path), d->layout.version == dbf::kVersionDbase3Memo ||
                                                 d->layout.version == dbf::kVersionDbase3);
        d->files[1] = d->memo.isOpen() ? &d->memo.file() : nullptr;
        // Taken before the journal is first opened, so that a table closing
        // meanwhile sees this one and leaves the journal file alone.
        d->useLock = std::make_unique<dbf::UseLock>(d->file);
        d->journal = std::make_unique<dbf::Journal>(path + QStringLiteral("-journal"), d->useLock->held());

        {
            dbf::WriteLock lock(d->file);
            if (d->file.writable())
                d->journal->recover(d->files);
            const qint64 size = d->file.size();
            const qint64 fits = std::max<qint64>(0, (size - d->layout.headerSize) / d->layout.recordSize);
            d->recordCount = uint32_t(std::min<qint64>(fits, 0xFFFFFFFFll));
            if (d->file.writable()) {
                d->writeHeaderPrefix(d->recordCount);
                const char eof = dbf::kEndOfFile;
                d->file.writeAt(d->offsetOf(d->recordCount + 1), &eof, 1);
            }
        }
        d->cache.clear();
        d->columns.clear();
        d->resolveFilter();
    } catch (...) {
        d->journal.reset();
        d->useLock.reset();
        d->memo.close();
        d->file.close();
        throw;
    }
    d->cur = -1;
    d->setState(*this, DatasetState::Browse);
    // The first records at once; the deletion flags of the rest are read in
    // the background so that a large table opens without waiting for them.
    d->live.clear();
    const uint32_t head = std::min<uint32_t>(d->recordCount, 2048);
    d->scanLive(1, head, d->live);
    if (head < d->recordCount) {
        d->scanFields.clear();
        for (const char *name : {"COMPNAME", "NAME", "LAST", "CELLPHONE", "PHONE", "FAX", "EMAIL"}) {
            const auto it = d->fieldIndex.constFind(QLatin1String(name));
            if (it != d->fieldIndex.constEnd() && d->layout.fields[it.value()].type == FieldType::Character)
                d->scanFields.push_back(it.value());
        }
        d->scanColumns.assign(d->scanFields.size(), FieldColumn());
        d->postedWhileScanning.clear();
        d->scanning = true;
        const Impl *impl = d.get();
        d->scanner = std::thread([impl, head] { impl->backgroundScan(head); });
    }
    if (d->filtered)
        d->applyFilter(*this);
    First();
}

void TDbfTable::Close()
{
    if (!Active())
        return;
    if (d->state == DatasetState::Edit || d->state == DatasetState::Insert) {
        if (d->modified)
            Post();
        else
            Cancel();
    }
    if (d->file.writable() && d->journal) {
        dbf::WriteLock lock(d->file);
        d->journal->recover(d->files);
        // Another program still open on the table keeps journalling into
        // the same file; the last one to close removes it.
        if (d->useLock->alone())
            d->journal->discard();
    }
    d->ensureLive();
    d->journal.reset();
    d->useLock.reset();
    d->memo.close();
    d->file.close();
    d->live.clear();
    d->live.shrink_to_fit();
    d->filteredList.clear();
    d->filteredList.shrink_to_fit();
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
        d->ensureLive();
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
    d->ensureLive();
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
        d->ensureLive();
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
    const qint64 i = b > 0 && b <= 0xFFFFFFFFll ? d->indexOf(uint32_t(b)) : -1;
    if (i < 0)
        d->fail(QStringLiteral("Record not found"));
    d->moveTo(*this, i);
    d->bof = d->eof = false;
}

bool TDbfTable::BookmarkValid(Bookmark b) const
{
    return b > 0 && b <= 0xFFFFFFFFll && d->indexOf(uint32_t(b)) >= 0;
}

void TDbfTable::Edit()
{
    d->checkActive();
    if (d->state == DatasetState::Edit || d->state == DatasetState::Insert)
        return;
    if (d->cur < 0) {
        Append();
        return;
    }
    const uint32_t recno = d->vis()[size_t(d->cur)];
    QByteArray r = d->file.readAt(d->offsetOf(recno), d->layout.recordSize);
    d->origWhole = r.size() == d->layout.recordSize;
    if (!d->origWhole)
        r = d->blank;
    d->cache.insert(recno, r);
    d->curBuf = r;
    d->curLoaded = true;
    d->origBuf = r;
    d->editBuf = d->curBuf;
    d->pendingMemo.clear();
    d->modified = false;
    d->setState(*this, DatasetState::Edit);
}

void TDbfTable::Append()
{
    d->checkBrowse(*this);
    if (!d->file.writable())
        d->fail(QStringLiteral("Cannot modify a read-only dataset"));
    d->insertReturn = d->cur;
    d->editBuf = d->blank;
    d->pendingMemo.clear();
    d->modified = false;
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
    if (d->state == DatasetState::Edit) {
        const uint32_t recno = d->vis()[size_t(d->cur)];
        if (!d->pendingMemo.isEmpty() || d->editBuf != d->origBuf || !d->origWhole) {
            dbf::WriteLock lock(d->file);
            std::vector<dbf::WriteOp> ops;
            d->writeMemos(ops);
            // Only the bytes that differ from what Edit read: an edit of a few
            // fields mostly stays within one page, which a single write
            // changes all-or-nothing, so it needs no journal.
            const auto [from, length] = d->changedSpan();
            if (length > 0)
                ops.push_back({0, d->offsetOf(recno) + from, d->editBuf.mid(from, length)});
            if (!ops.empty())
                d->journal->commit(ops, d->files);
        }
        d->cache.insert(recno, d->editBuf);
        d->curBuf = d->editBuf;
        d->curLoaded = true;
        d->updateColumns(recno, d->editBuf.constData());
        if (d->scanning)
            d->postedWhileScanning.emplace_back(recno, d->editBuf);
    } else {
        d->ensureLive();
        uint32_t recno = 0;
        uint32_t before = d->recordCount;
        {
            dbf::WriteLock lock(d->file);
            const QByteArray head = d->file.readAt(4, 4);
            uint32_t count = head.size() == 4 ? dbf::readU32(head.constData()) : 0;
            if (count != d->recordCount) {
                // Another program appended, or one was killed mid-append: the
                // file length decides, as it does on open.
                const qint64 fits =
                    std::max<qint64>(0, (d->file.size() - d->layout.headerSize) / d->layout.recordSize);
                count = uint32_t(std::min<qint64>(fits, 0xFFFFFFFFll));
            }
            if (count == 0xFFFFFFFFu)
                d->fail(QStringLiteral("The table is full"));
            std::vector<dbf::WriteOp> memoOps;
            d->writeMemos(memoOps);
            for (const dbf::WriteOp &op : memoOps)
                d->memo.file().writeAt(op.offset, op.data);
            recno = count + 1;
            // The record (and the end marker) first, then the count: a writer
            // killed in between leaves a whole record the next open counts
            // from the file length, or a partial one it ignores.
            QByteArray out = d->editBuf;
            out.append(dbf::kEndOfFile);
            d->file.writeAt(d->offsetOf(recno), out);
            d->writeHeaderPrefix(recno);
        }
        // Records other programs appended meanwhile join the lists too.
        if (recno > before + 1)
            dbf::scanRecords(d->file, d->layout.headerSize, d->layout.recordSize, before + 1, recno - 1,
                             [&](uint32_t r, const char *rec) {
                                 if (rec[0] != dbf::kDeletedFlag) {
                                     d->live.push_back(r);
                                     if (d->filtered && d->passes(*this, rec))
                                         d->filteredList.push_back(r);
                                 }
                                 d->updateColumns(r, rec);
                                 return true;
                             });
        d->recordCount = recno;
        // A posted record stays in view until the filter is next applied.
        d->live.push_back(recno);
        if (d->filtered)
            d->filteredList.push_back(recno);
        d->cache.insert(recno, d->editBuf);
        d->updateColumns(recno, d->editBuf.constData());
        d->cur = qint64(d->vis().size()) - 1;
        d->curBuf = d->editBuf;
        d->curLoaded = true;
        d->bof = d->eof = false;
    }
    d->pendingMemo.clear();
    d->modified = false;
    const bool inserted = d->state == DatasetState::Insert;
    d->setState(*this, DatasetState::Browse);
    if (inserted && AfterScroll)
        AfterScroll(*this);
}

void TDbfTable::Cancel()
{
    d->checkActive();
    if (d->state != DatasetState::Edit && d->state != DatasetState::Insert)
        return;
    const bool inserted = d->state == DatasetState::Insert;
    d->pendingMemo.clear();
    d->modified = false;
    d->editBuf.clear();
    d->setState(*this, DatasetState::Browse);
    if (inserted) {
        d->cur = -1;
        d->moveTo(*this, d->insertReturn);
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
        d->pendingMemo.clear();
        d->modified = false;
        d->setState(*this, DatasetState::Browse);
    }
    d->ensureLive();
    const uint32_t recno = d->vis()[size_t(d->cur)];
    {
        dbf::WriteLock lock(d->file);
        const char flag = dbf::kDeletedFlag;
        d->file.writeAt(d->offsetOf(recno), &flag, 1);
    }
    d->cache.remove(recno);
    for (std::vector<uint32_t> *list : {&d->live, &d->filteredList}) {
        auto it = std::lower_bound(list->begin(), list->end(), recno);
        if (it != list->end() && *it == recno)
            list->erase(it);
    }
    const qint64 next = d->cur;
    d->cur = -1;
    d->moveTo(*this, next);
    if (AfterScroll && d->cur < 0)
        AfterScroll(*this);
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
        d->pendingMemo.insert(fi, value);
        d->modified = true;
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
    d->pendingMemo.remove(fi);
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
    if (d->filtered) {
        d->checkBrowse(*this);
        d->refilter(*this);
        First();
    }
}

bool TDbfTable::Filtered() const
{
    return d->filtered;
}

void TDbfTable::setFiltered(bool on)
{
    if (d->filtered == on)
        return;
    if (!Active()) {
        d->filtered = on;
        return;
    }
    d->checkBrowse(*this);
    d->refilter(*this, [&] { d->filtered = on; });
    First();
}

void TDbfTable::Refresh()
{
    d->checkBrowse(*this);
    const uint32_t current = uint32_t(GetBookmark());
    d->ensureLive();
    d->cache.clear();
    d->columns.clear();
    d->recordCount = uint32_t(
        std::clamp<qint64>((d->file.size() - d->layout.headerSize) / d->layout.recordSize, 0, 0xFFFFFFFFll));
    d->live.clear();
    d->scanLive(1, d->recordCount, d->live);
    d->applyFilter(*this);
    const qint64 i = d->indexOf(current);
    d->cur = -1;
    d->moveTo(*this, i < 0 ? 0 : i);
}

bool TDbfTable::Locate(const QStringList &fields, const QStringList &values, LocateOptions options)
{
    d->checkBrowse(*this);
    d->ensureLive();
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
            return valueMatches(d->folded(rec, fis[i]), i);
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
        d->ensureColumns(textFields);
        // Most distinct fields first; a handful of candidates is good enough.
        std::vector<int> order;
        for (int i = 0; i < n; ++i)
            if (!wanted[i].empty())
                order.push_back(i);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return d->columns[fis[a]].distinctShare() > d->columns[fis[b]].distinctShare();
        });
        int best = -1;
        size_t bestCount = SIZE_MAX;
        for (int i : order) {
            const size_t c = d->columns[fis[i]].countPrefix(wanted[i], bestCount);
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
                cols[i] = &d->columns[fis[i]];
        d->columns[fis[best]].forEachPrefix(wanted[best], [&](uint32_t recno) {
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
    d->moveTo(*this, d->indexOf(found));
    d->bof = d->eof = false;
    return true;
}

qint64 TDbfTable::VisibleCount() const
{
    d->ensureLive();
    return qint64(d->vis().size());
}

Bookmark TDbfTable::VisibleAt(qint64 index) const
{
    if (index >= qint64(d->vis().size()))
        d->ensureLive();
    if (index < 0 || index >= qint64(d->vis().size()))
        return 0;
    return d->vis()[size_t(index)];
}

qint64 TDbfTable::VisibleIndexOf(Bookmark b) const
{
    if (b <= 0 || b > 0xFFFFFFFFll)
        return -1;
    return d->indexOf(uint32_t(b));
}

QString TDbfTable::DisplayText(Bookmark b, const QString &field) const
{
    if (!Active() || b <= 0 || b > d->recordCount)
        return {};
    const int fi = d->fieldOrThrow(field);
    if (d->state == DatasetState::Edit && d->cur >= 0 && d->vis()[size_t(d->cur)] == uint32_t(b))
        return d->text(d->editBuf.constData(), fi, true);
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
        return dbf::decodeDate(d->editBuf.constData() + f.offset);
    const QByteArray rec = d->readRecord(uint32_t(b));
    if (rec.size() < f.offset + 8)
        return std::nullopt;
    return dbf::decodeDate(rec.constData() + f.offset);
}

qint64 TDbfTable::RecordCount() const
{
    return d->recordCount;
}
