#pragma once

#include "messaging/TOutlookConnect.h"

#include <QList>
#include <QStringList>
#include <functional>

// The contact list window's work, without the window: its own connection,
// filling the rows from the mail client's Contacts folder, opening one and
// importing a range of rows into the contact table.
class OutlookContactList {
public:
    using AddContactFn = std::function<void(const QString &first, const QString &last, const QString &email,
                                            const QString &phone, const QString &fax)>;
    // Cells of one row, in the grid's column order.
    enum Column { Index, FirstName, LastName, BizAddress, BizEmail, BizPhone, BizFax, ColumnCount };

    explicit OutlookContactList(Environment &env);
    ~OutlookContactList();

    // Connects and fills: setRowCount gets the row count with the heading
    // row, setRow the row number (from 1) and its cells; pump runs between
    // rows so the window repaints. Returns the status text.
    QString Fill(const std::function<void(int)> &setRowCount,
                 const std::function<void(int, const QStringList &)> &setRow,
                 const std::function<void()> &pump);
    // Opens the mail client's contact shown in grid row `row` (from 1).
    void OpenContact(int row);
    // AddContactIfNew with each row's first name, last name, e-mail, phone and fax.
    static void Import(const QList<QStringList> &rows, const AddContactFn &add);
    // Disconnects and lets the connection go.
    void Close();

    TOutlookConnect &connection() { return *m_connect; }

private:
    std::unique_ptr<TOutlookConnect> m_connect;
};
