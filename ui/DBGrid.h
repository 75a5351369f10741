#pragma once

#include "ui/DataSource.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QTableView>
#include <QTimer>
#include <functional>
#include <optional>
#include <set>

class Dialogs;

struct DBGridColumn {
    QString FieldName;
    QString Title;  // the field name when empty
    int Width = -1; // -1: the grid's default width
};

// The grid's rows: the table's visible records in file order, read on demand
// so a large table opens at once. Columns whose name is no field of the open
// table stay empty.
class DBGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    DBGridModel(DataSource &source, QList<DBGridColumn> columns, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    const QList<DBGridColumn> &columns() const { return m_columns; }
    Bookmark bookmarkAt(int row) const;
    int rowOf(Bookmark b) const; // -1 when not visible
    int currentRow() const;

    // Re-reads the rows when the visible set changed, else repaints them.
    void refresh();
    // Lists the rows the table's pass after open has delivered since; the
    // model does it on its own a few times a second while the pass runs.
    void grow();

private:
    struct Signature {
        bool active = false;
        qint64 count = 0;
        bool filtered = false;
        QString filter;
        Bookmark first = 0, last = 0;
        bool operator==(const Signature &) const = default;
    };
    Signature signature() const;
    void readFields();
    void followLoading();
    bool onlyGrew(const Signature &now) const;

    DataSource *m_source;
    QList<DBGridColumn> m_columns;
    QList<bool> m_hasField;
    Signature m_signature;
    QTimer m_loadTimer;
};

// The data-bound grid: whole-row selection that follows the table's current
// record, optional multiple selection held as bookmarks in record order, and
// Ctrl+Delete. Cells are never edited.
class DBGrid : public QTableView {
    Q_OBJECT
public:
    DBGrid(DataSource &source, Dialogs &dialogs, QList<DBGridColumn> columns, QWidget *parent = nullptr);

    DBGridModel *gridModel() const { return m_model; }
    DataSource &dataSource() const { return *m_source; }

    bool MultiSelect() const { return m_multiSelect; }
    // Switching multiple selection off drops the selected rows.
    void setMultiSelect(bool on);
    bool ConfirmDelete() const { return m_confirmDelete; }
    void setConfirmDelete(bool on) { m_confirmDelete = on; }
    // Leaving the grid drops an insert nothing was typed into.
    bool CancelOnExit() const { return m_cancelOnExit; }
    void setCancelOnExit(bool on) { m_cancelOnExit = on; }

    // The selected rows the current view shows, in record (file) order.
    QList<Bookmark> SelectedRows() const;
    int SelectedCount() const { return int(SelectedRows().size()); }
    bool CurrentRowSelected() const;
    void setCurrentRowSelected(bool on);
    void ClearSelection();
    bool isRowSelected(Bookmark b) const { return m_selected.count(b) != 0; }

    // Ctrl+Delete: the selected rows, or the current one, after a confirmation.
    void deleteSelection();

    // Per-cell colouring hook (the number list's DBGrid1DrawColumnCell).
    struct DrawCell {
        Bookmark bookmark;
        int column;
        const DBGridColumn *info;
        std::optional<QColor> background; // set by the handler
    };
    std::function<void(DrawCell &)> OnDrawColumnCell;
    std::optional<QColor> cellBackground(int row, int column) const;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void followCurrentRecord();
    void moveWithSelection(qint64 delta, bool shift);

    DataSource *m_source;
    Dialogs *m_dialogs;
    DBGridModel *m_model;
    bool m_multiSelect = true;
    bool m_confirmDelete = true;
    bool m_cancelOnExit = false;
    std::set<Bookmark> m_selected;
    bool m_selecting = false;
    Bookmark m_anchor = 0;
};
