#include "messaging/TfrmOutlookContact.h"

#include "ui/Dialogs.h"
#include "ui/ErrorGuard.h"

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

TfrmOutlookContact::TfrmOutlookContact(Environment &env, Dialogs &dialogs,
                                       OutlookContactList::AddContactFn addContact, QWidget *parent)
    : QDialog(parent), m_dialogs(dialogs), m_list(env), m_addContact(std::move(addContact))
{
    setObjectName("frmOutlookContact");
    setWindowTitle(QStringLiteral("Contact List"));
    StringGrid1 = new QTableWidget(0, OutlookContactList::ColumnCount, this);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->setHorizontalHeaderLabels(
        {"Index", "FirstName", "LastName", "Biz Address", "Biz EMail", "Biz Phone", "Biz Fax no"});
    const int widths[] = {25, 78, 83, 85, 81, 70, 77};
    for (int i = 0; i < OutlookContactList::ColumnCount; ++i)
        StringGrid1->setColumnWidth(i, widths[i]);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setDefaultSectionSize(20);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);

    btnOpenContact = new QPushButton(QStringLiteral("Open Contact"), this);
    btnOpenContact->setObjectName("btnOpenContact");
    btnImport = new QPushButton(QStringLiteral("Import"), this);
    btnImport->setObjectName("btnImport");
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOpenContact);
    buttons->addWidget(btnImport);
    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(StringGrid1, 1);
    top->addLayout(buttons);
    top->addWidget(StatusBar1);
    resize(540, 360);

    connect(btnOpenContact, &QPushButton::clicked, this,
            [this] { guard(m_dialogs, [this] { btnOpenContactClick(); }); });
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this,
            [this] { guard(m_dialogs, [this] { StringGrid1DblClick(); }); });
    connect(btnImport, &QPushButton::clicked, this,
            [this] { guard(m_dialogs, [this] { btnImportClick(); }); });
}

TfrmOutlookContact::~TfrmOutlookContact() = default;

void TfrmOutlookContact::execute(bool outlookAvailable, Environment &env, Dialogs &dialogs,
                                 OutlookContactList::AddContactFn addContact, QWidget *parent)
{
    if (!outlookAvailable) {
        dialogs.showMessage(QStringLiteral("Oulook currently is not activated / available"));
        return;
    }
    TfrmOutlookContact frm(env, dialogs, std::move(addContact), parent);
    frm.exec();
}

void TfrmOutlookContact::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_filled) {
        m_filled = true;
        // After the window is up, so it paints while the list fills.
        QTimer::singleShot(0, this, [this] { guard(m_dialogs, [this] { FormShow(); }); });
    }
}

void TfrmOutlookContact::FormShow()
{
    StatusBar1->showMessage(m_list.Fill([this](int rows) { StringGrid1->setRowCount(std::max(0, rows - 1)); },
                                        [this](int n, const QStringList &cells) {
                                            if (n > StringGrid1->rowCount())
                                                StringGrid1->setRowCount(n);
                                            for (int col = 0; col < cells.size(); ++col)
                                                StringGrid1->setItem(n - 1, col,
                                                                     new QTableWidgetItem(cells[col]));
                                        },
                                        [] { QApplication::processEvents(); }));
}

void TfrmOutlookContact::btnOpenContactClick()
{
    m_list.OpenContact(StringGrid1->currentRow() + 1);
}

void TfrmOutlookContact::StringGrid1DblClick()
{
    btnOpenContactClick();
}

void TfrmOutlookContact::btnImportClick()
{
    // The grid always has a selection: the current row when nothing else is.
    const auto ranges = StringGrid1->selectedRanges();
    int top = StringGrid1->currentRow(), bottom = top;
    if (!ranges.isEmpty()) {
        top = ranges.first().topRow();
        bottom = ranges.first().bottomRow();
    }
    if (top < 0)
        return;
    QList<QStringList> rows;
    for (int r = top; r <= bottom; ++r) {
        QStringList cells;
        for (int c = 0; c < OutlookContactList::ColumnCount; ++c)
            cells << (StringGrid1->item(r, c) ? StringGrid1->item(r, c)->text() : QString());
        rows << cells;
    }
    OutlookContactList::Import(rows, m_addContact);
}

void TfrmOutlookContact::FormClose()
{
    m_list.Close();
}

void TfrmOutlookContact::done(int result)
{
    FormClose();
    QDialog::done(result);
}
