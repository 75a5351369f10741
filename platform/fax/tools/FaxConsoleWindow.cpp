#include "platform/fax/tools/FaxConsoleWindow.h"

#include "platform/fax/FaxService.h"
#include "platform/fax/FaxTiff.h"
#include "platform/fax/tools/ButtonRow.h"
#include "platform/fax/tools/SenderSettingsDialog.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QTableWidget *makeTable(QWidget *parent, const char *name, const QStringList &headers)
{
    auto *t = new QTableWidget(0, int(headers.size()), parent);
    t->setObjectName(QLatin1String(name));
    t->setHorizontalHeaderLabels(headers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

QString when(const QDateTime &t)
{
    return t.isValid() ? QLocale().toString(t, QLocale::ShortFormat) : QString();
}

QString selectedId(QTableWidget *t)
{
    const int row = t->currentRow();
    return row < 0 || !t->item(row, 0) ? QString() : t->item(row, 0)->text();
}

void fillRow(QTableWidget *t, int row, const QStringList &cells)
{
    for (int c = 0; c < cells.size(); ++c)
        t->setItem(row, c, new QTableWidgetItem(cells[c]));
}

} // namespace

FaxConsoleWindow::FaxConsoleWindow(FaxServer &server, QWidget *parent)
    : QMainWindow(parent), m_server(&server)
{
    setObjectName(QStringLiteral("FaxConsoleWindow"));
    setWindowTitle(QStringLiteral("Fax Console"));
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(new QLabel(QStringLiteral("Outbox (waiting to be sent)"), central));
    tblOutbox =
        makeTable(central, "tblOutbox",
                  {"Job", "Status", "Recipient", "Fax number", "Scheduled", "Submitted", "Pages", "Subject"});
    layout->addWidget(tblOutbox);
    layout->addWidget(new QLabel(QStringLiteral("Sent Items (outgoing archive)"), central));
    tblSent =
        makeTable(central, "tblSent",
                  {"Job", "Status", "Recipient", "Fax number", "Sent", "Submitted", "Pages", "Subject"});
    layout->addWidget(tblSent);
    auto *buttons = new QHBoxLayout;
    const auto button = [&](const QString &text, const char *name) {
        return fax::addRowButton(buttons, central, text, name);
    };
    btnRefresh = button(QStringLiteral("&Refresh"), "btnRefresh");
    btnCancelJob = button(QStringLiteral("&Cancel Job"), "btnCancelJob");
    btnView = button(QStringLiteral("&View Fax"), "btnView");
    btnSender = button(QStringLiteral("&Sender Information..."), "btnSender");
    buttons->addStretch();
    layout->addLayout(buttons);
    lblStatus = new QLabel(central);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    layout->addWidget(lblStatus);
    setCentralWidget(central);
    resize(900, 560);

    connect(btnRefresh, &QPushButton::clicked, this, &FaxConsoleWindow::refresh);
    connect(btnCancelJob, &QPushButton::clicked, this, &FaxConsoleWindow::cancelSelectedJob);
    connect(btnView, &QPushButton::clicked, this, &FaxConsoleWindow::viewSelectedFax);
    connect(tblSent, &QTableWidget::cellDoubleClicked, this, &FaxConsoleWindow::viewSelectedFax);
    connect(btnSender, &QPushButton::clicked, this, &FaxConsoleWindow::editSender);
    connect(&server, &FaxServer::jobSent, this, &FaxConsoleWindow::refresh);

    // Jobs queued by the program appear here without a click.
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &FaxConsoleWindow::refresh);
    m_timer->start();
    refresh();
}

void FaxConsoleWindow::refresh()
{
    try {
        if (!m_server->Connected())
            m_server->Connect(QString());
        FaxFolders &folders = m_server->Folders();
        const QString keepOutbox = selectedId(tblOutbox), keepSent = selectedId(tblSent);
        const auto jobs = folders.OutgoingQueue().GetJobs();
        const QDateTime now = m_server->environment().clock().now();
        tblOutbox->setRowCount(int(jobs.size()));
        for (int i = 0; i < int(jobs.size()); ++i) {
            const auto &j = jobs[size_t(i)];
            fillRow(tblOutbox, i,
                    {j.Id(),
                     j.ScheduledTime() > now ? QStringLiteral("Scheduled") : QStringLiteral("Pending"),
                     j.Recipient().Name, j.Recipient().FaxNumber, when(j.ScheduledTime()),
                     when(j.SubmissionTime()), QString::number(j.Pages()), j.Subject()});
            if (j.Id() == keepOutbox)
                tblOutbox->selectRow(i);
        }
        std::vector<FaxOutgoingMessage> sent;
        auto it = folders.OutgoingArchive().GetMessages(0);
        for (it->MoveFirst(); !it->AtEOF(); it->MoveNext())
            sent.push_back(it->Message());
        // Newest first, as an operator looks for the last one sent.
        std::stable_sort(sent.begin(), sent.end(),
                         [](const FaxOutgoingMessage &a, const FaxOutgoingMessage &b) {
                             return a.TransmissionEnd() < b.TransmissionEnd();
                         });
        std::reverse(sent.begin(), sent.end());
        tblSent->setRowCount(int(sent.size()));
        for (int i = 0; i < int(sent.size()); ++i) {
            const auto &m = sent[size_t(i)];
            fillRow(tblSent, i,
                    {m.Id(), QStringLiteral("Sent"), m.Recipient().Name, m.Recipient().FaxNumber,
                     when(m.TransmissionEnd()), when(m.SubmissionTime()), QString::number(m.Pages()),
                     m.Subject()});
            if (m.Id() == keepSent)
                tblSent->selectRow(i);
        }
        lblStatus->setText(
            QStringLiteral("%1 job(s) waiting, %2 fax(es) sent").arg(jobs.size()).arg(sent.size()));
    } catch (const EFaxError &e) {
        lblStatus->setText(e.text());
    }
}

void FaxConsoleWindow::cancelSelectedJob()
{
    const QString id = selectedId(tblOutbox);
    if (id.isEmpty())
        return;
    try {
        m_server->Folders().OutgoingQueue().Cancel(id);
    } catch (const EFaxError &e) {
        QMessageBox::warning(this, windowTitle(), e.text());
    }
    refresh();
}

void FaxConsoleWindow::viewSelectedFax()
{
    const QString id = selectedId(tblSent);
    if (id.isEmpty())
        return;
    try {
        QTemporaryDir dir;
        const QString tif = dir.filePath(QStringLiteral("fax.tif"));
        m_server->Folders().OutgoingArchive().GetMessage(id).CopyTiff(tif);
        auto *dlg = new QDialog(this);
        dlg->setAttribute(Qt::WA_DeleteOnClose);
        dlg->setObjectName(QStringLiteral("FaxViewer"));
        dlg->setWindowTitle(QStringLiteral("Fax %1").arg(id));
        auto *pagesBox = new QWidget;
        auto *pagesLayout = new QVBoxLayout(pagesBox);
        fax::forEachTiffPage(tif, 500, [&](const fax::TiffPage &p) {
            // Fine pixels are taller than wide: show the sheet in its proportions.
            const QImage shown =
                p.image.scaled(p.image.width() / 3, int(p.image.height() / 3 * 204.0 / 196.0),
                               Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            auto *label = new QLabel;
            label->setPixmap(QPixmap::fromImage(shown));
            label->setFrameShape(QFrame::Box);
            pagesLayout->addWidget(label);
        });
        auto *scroll = new QScrollArea(dlg);
        scroll->setWidget(pagesBox);
        auto *l = new QVBoxLayout(dlg);
        l->addWidget(scroll);
        dlg->resize(640, 800);
        dlg->show();
    } catch (const EFaxError &e) {
        QMessageBox::warning(this, windowTitle(), e.text());
    }
}

void FaxConsoleWindow::editSender()
{
    SenderSettingsDialog dlg(FaxServer::faxFolder(m_server->environment()), this);
    dlg.exec();
}
