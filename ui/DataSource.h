#pragma once

#include "contacts/DbfTable.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

// A control bound to a DataSource. Before a post the data source asks every
// link to write a value the operator changed but the control has not yet
// stored (the date pickers store theirs only when they lose the focus).
class DataLink {
public:
    virtual ~DataLink() = default;
    virtual void updateData() = 0;
};

// The one data source over the contact table. It owns the table's
// after-scroll and state-change events and relays them, first to the bound
// controls (signals), then to the window's handlers (OnDataChange-style
// callbacks below). Automatic editing is off: controls accept input only
// while the record is being edited or inserted.
class DataSource : public QObject {
    Q_OBJECT
public:
    explicit DataSource(TDbfTable &table, QObject *parent = nullptr);
    ~DataSource() override;

    TDbfTable &DataSet() const { return *m_table; }
    bool AutoEdit() const { return m_autoEdit; }
    void setAutoEdit(bool on) { m_autoEdit = on; }

    DatasetState State() const { return m_table->State(); }
    bool Editing() const;   // edit or insert
    bool CanModify() const; // the table is open

    // The window's handlers (dsTableAfterScroll, DataSourceStateChange).
    std::function<void()> OnAfterScroll;
    std::function<void()> OnStateChange;

    void addLink(DataLink *link);
    void removeLink(DataLink *link);

    // Controls that change a field call this; the grid repaints the row.
    void fieldModified();
    bool Modified() const { return m_modified; }

    // As a dataset does before a move: post a changed edit, drop an untouched
    // insert.
    void checkBrowseMode();
    // Every bound control writes what it still holds, then the record is posted.
    void post();
    void cancel();
    // Moves that controls make; each leaves an edit first.
    void gotoBookmark(Bookmark b);
    void first();
    void prior();
    void next();
    void last();
    void moveBy(qint64 delta);

    // Code that changed the table without a move (fields written, filter
    // re-applied) tells the controls to read it again.
    void notifyDataSetChanged();

signals:
    // The current record moved or its fields may differ: controls re-read.
    void recordChanged();
    // The state changed (open, close, edit, insert, browse).
    void stateChanged();
    // The set of visible records may have changed: grids re-read their rows.
    void dataSetChanged();
    // A bound control wrote a field of the current record.
    void fieldChanged();

private:
    void onTableAfterScroll();
    void onTableStateChange();

    TDbfTable *m_table;
    bool m_autoEdit = false;
    bool m_modified = false;
    std::vector<DataLink *> m_links;
};
