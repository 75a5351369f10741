#pragma once

// The table component: one dBase table (.dbf) with its memo file (.dbt),
// used as a dataset with a current record, the way the main contact window
// owns it as dsTable. Records stay in file order; there is no index file.
//
// This header is the contract the windows are written against. Members may
// be added; existing ones keep their meaning.

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

class Clock;

// Every failure of the table carries its text ("Invalid DBF file.", ...).
class EDbfError : public std::runtime_error {
public:
    explicit EDbfError(const QString &text) : std::runtime_error(text.toStdString()), m_text(text) {}
    QString text() const { return m_text; }

private:
    QString m_text;
};

enum class DatasetState { Inactive, Browse, Edit, Insert };

enum class FieldType : char { Character = 'C', Number = 'N', Logical = 'L', Memo = 'M', Date = 'D' };

struct FieldDef {
    QString name;
    FieldType type;
    int width;
    int decimals;
    int offset; // within the record; byte 0 is the deletion flag
};

struct LocateOptions {
    bool caseInsensitive = false;
    bool partialKey = false;
};

// A record's place in the file: its 1-based physical record number.
using Bookmark = qint64;

class TDbfTable {
public:
    // name is the component's name, the prefix of its field errors
    // ("dsTable: Field 'X' not found").
    explicit TDbfTable(QString name = QStringLiteral("dsTable"));
    ~TDbfTable();
    TDbfTable(const TDbfTable &) = delete;
    TDbfTable &operator=(const TDbfTable &) = delete;

    QString Name() const;

    // The clock whose date goes into the header's date of last update
    // (the system clock when none is set).
    void setClock(const Clock *clock);

    // Fields the pass after Open reads into memory for every record, so that
    // a search on them, and a record filter that reads only them, need no
    // file reads. None by default: a field is then read into memory when
    // it is first searched or located on. Takes effect at the next Open.
    QStringList KeepInMemory() const;
    void setKeepInMemory(const QStringList &fields);

    // Folder (a full path; a trailing separator is allowed) and file name.
    // Setting a table name that holds a folder sets both.
    QString FilePath() const;
    void setFilePath(const QString &folder);
    QString TableName() const;
    void setTableName(const QString &name);
    // Folder and name joined as they are stored, without adding a separator.
    QString FullPath() const;

    // Open throws EDbfError ("Invalid DBF file.", "Open: file not found: \"%s\".").
    // It moves to the first visible record.
    void Open();
    void Close();
    bool Active() const;
    // 4 for dBase IV (version byte 0x8B), 3 for dBase III (0x03 / 0x83).
    int TableLevel() const;
    // The code page named by the language driver byte, e.g. "Windows-1252".
    QString CodePage() const;
    // Header byte 29 of the open table.
    int LanguageDriver() const;
    // False when the table has memo fields but its memo file is missing:
    // memos then read as empty and memo changes are not stored.
    bool HasMemoFile() const;

    DatasetState State() const;

    // Navigation over the visible records (filter applied, deleted records skipped).
    void First();
    void Prior();
    void Next();
    void Last();
    // As a dataset has them: Next on the last record keeps the position and
    // sets Eof; Prior on the first sets Bof; any other move clears both.
    bool Bof() const;
    bool Eof() const;
    bool IsEmpty() const; // no visible record

    Bookmark GetBookmark() const;  // 0 when there is no current record
    void GotoBookmark(Bookmark b); // throws EDbfError when it is not visible
    bool BookmarkValid(Bookmark b) const;

    // Edit re-reads the current record from the file first; Post writes it in
    // place (an inserted record is appended); Cancel drops the changes.
    void Edit();
    void Post();
    void Cancel();
    void Append(); // a new record of spaces at the end, in insert state
    void Insert(); // same as Append: records only ever go to the end
    void Delete(); // sets the deletion flag; the record stays in the file

    // Fields, always by name, of the current record (during the record
    // filter callback: of the record being tested). Unknown names throw
    // EDbfError "<Name>: Field '<field>' not found".
    QStringList FieldNames() const;
    std::optional<FieldDef> FieldByName(const QString &field) const;
    QString AsString(const QString &field) const;
    qint32 AsInteger(const QString &field) const;
    bool AsBoolean(const QString &field) const;
    std::optional<QDate> AsDate(const QString &field) const; // nullopt: no date
    bool IsNull(const QString &field) const;                 // all spaces
    // Writing needs the Edit or Insert state (EDbfError otherwise).
    void SetAsString(const QString &field, const QString &value);
    // The text the field reads back after SetAsString(field, value): a text
    // field keeps what fits its width in the table's code page (characters
    // it lacks become "?"), without trailing blanks. Numbers, dates and
    // logicals give the value as it is.
    QString StoredText(const QString &field, const QString &value) const;
    void SetAsInteger(const QString &field, qint32 value);
    void SetAsBoolean(const QString &field, bool value);
    void SetAsDate(const QString &field, std::optional<QDate> value);
    void Clear(const QString &field); // back to all spaces

    // Filtering: while Filtered() is on, a record is visible only if it
    // passes the expression (when one is set) and then OnFilterRecord.
    // Switching filtering (or setting a new expression while it is on)
    // re-evaluates every record and moves to the first visible one.
    QString Filter() const;
    void setFilter(const QString &expression); // throws EDbfError when it does not parse
    bool Filtered() const;
    void setFiltered(bool on);
    std::function<bool(TDbfTable &)> OnFilterRecord;
    // When set and true, OnFilterRecord is known to pass every record (a
    // view showing all), so filtering need not ask it, nor wait for the
    // pass after open.
    std::function<bool()> OnFilterPassesAll;
    // Whether any record not deleted passes the filter expression and
    // OnFilterRecord (filtering on or off), without changing the visible
    // records or the current one. The first records are tried before the
    // pass after open has finished.
    bool AnyRecordPasses();
    // Re-reads the records from the file (including those other programs
    // appended) and keeps the current record when it is still visible.
    void Refresh();

    // The first visible record in file order whose fields match values; it
    // becomes current when found.
    bool Locate(const QStringList &fields, const QStringList &values, LocateOptions options);

    std::function<void(TDbfTable &)> AfterScroll;   // current record changed
    std::function<void(TDbfTable &)> OnStateChange; // State() changed
    // For a run of changes (an import): while controls are disabled (the
    // calls nest) AfterScroll and OnStateChange are held back, and
    // re-enabling runs each once if it fell due meanwhile.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const;

    // For grids: the visible records in file order, read on demand.
    qint64 VisibleCount() const;
    // While the pass after open still runs, the grids list what it has
    // delivered so far: Loading() is true until the whole list is known,
    // and LoadedCount() counts the visible records known now; VisibleAt
    // and VisibleIndexOf answer for those without waiting. Every other
    // reader of the lists waits for the pass.
    bool Loading() const;
    qint64 LoadedCount() const;
    // Runs on the pass's own thread before it reads (tests hold it there
    // to see the table while it runs). Takes effect at the next Open.
    std::function<void()> OnPassStart;
    Bookmark VisibleAt(qint64 index) const;  // 0 <= index < VisibleCount()
    qint64 VisibleIndexOf(Bookmark b) const; // -1 when not visible
    // A field of any record as text, without moving the current record (the
    // record being edited shows its unposted values).
    QString DisplayText(Bookmark b, const QString &field) const;
    // A date field of any record, the same way; nullopt: no date.
    std::optional<QDate> DateAt(Bookmark b, const QString &field) const;

    // Total records in the file, deleted ones included.
    qint64 RecordCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The memo file the table at tablePath opens: its extension replaced by
// ".dbt", or by ".DBT" where only that one exists.
QString MemoFilePath(const QString &tablePath);

// Creates a new, empty contact table at path (the memo file beside it with
// ".dbt"): the 54 contact fields, dBase IV level, 512-byte memo blocks.
// On failure the half-written files are removed and EDbfError is thrown.
void CreateContactTable(const QString &path);
// The same, with the header's update date taken from clock.
void CreateContactTable(const QString &path, const Clock &clock);
