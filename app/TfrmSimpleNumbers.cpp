#include "app/TfrmSimpleNumbers.h"

#include "app/TfrmMain.h"
#include "app/TfrmSimple.h"
#include "platform/environment/Environment.h"
#include "ui/DataSource.h"
#include "ui/ErrorGuard.h"
#include "ui/Fonts.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

TfrmSimpleNumbers::TfrmSimpleNumbers(WindowRegistry &registry, QWidget *parent)
    : QWidget(parent), m_registry(&registry)
{
    setObjectName(QStringLiteral("frmSimpleNumbers"));
    setWindowTitle(QStringLiteral("Number List"));
    setFont(windowsUiFont(8));
    setFixedSize(547, 264);
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 264 - 45, 547, 45);
    btnDial = new QPushButton(QStringLiteral("Dial"), Panel1);
    btnDial->setObjectName(QStringLiteral("btnDial"));
    btnDial->setGeometry(40, 8, 547 - 80, 45 - 16);
    connect(btnDial, &QPushButton::clicked, this,
            [this] { guard(*m_registry->dialogs, [this] { btnDialClick(); }); });
}

void TfrmSimpleNumbers::bindDataSource(DataSource &source)
{
    DBGrid1 = new DBGrid(
        source, *m_registry->dialogs,
        {{"NAME", {}, 90}, {"CELLPHONE", {}, 105}, {"PHONE", {}, 105}, {"FAX", {}, 105}, {"EMAIL", {}, 105}},
        this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setMultiSelect(false);
    DBGrid1->setConfirmDelete(true);
    DBGrid1->setCancelOnExit(true);
    DBGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrid1->setGeometry(0, 0, 547, 264 - 45);
    DBGrid1->OnDrawColumnCell = [this](DBGrid::DrawCell &cell) { DBGrid1DrawColumnCell(cell); };
    DBGrid1->show();
    setTabOrder(DBGrid1, btnDial);
}

void TfrmSimpleNumbers::btnDialClick()
{
    if (m_registry->frmMain)
        m_registry->frmMain->btnDialClick();
}

void TfrmSimpleNumbers::DBGrid1DrawColumnCell(DBGrid::DrawCell &cell)
{
    TfrmMain *main = m_registry->frmMain;
    if (!main || main->ViewIndex() != 4 || !cell.info)
        return;
    const TDbfTable &t = main->dsTable();
    const QString column = cell.info->FieldName;
    if (t.DisplayText(cell.bookmark, column).trimmed().isEmpty())
        return;
    QString dateField;
    if (column == QLatin1String("PHONE") || column == QLatin1String("CELLPHONE"))
        dateField = QStringLiteral("CALLBACK");
    else if (column == QLatin1String("FAX"))
        dateField = QStringLiteral("FAXBACK");
    else if (column == QLatin1String("EMAIL"))
        dateField = QStringLiteral("EMAILBACK");
    else
        return;
    // The table shows a date in the short date format; comparing that text
    // with today's in the same format compares whole days.
    const QString today =
        QLocale().toString(m_registry->environment->clock().now().date(), QLocale::ShortFormat);
    if (t.DisplayText(cell.bookmark, dateField) == today)
        cell.background = QColor(0, 255, 0);
}

void TfrmSimpleNumbers::FormClose()
{
    if (m_closing)
        return;
    m_closing = true;
    if (m_registry->frmSimple)
        m_registry->frmSimple->close();
    else if (m_registry->terminate)
        m_registry->terminate();
}

void TfrmSimpleNumbers::closeEvent(QCloseEvent *event)
{
    event->accept();
    FormClose();
}

void TfrmSimpleNumbers::applyCallState(const CallButtons &s)
{
    btnDial->setEnabled(s.listDial);
}
