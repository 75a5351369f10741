#include "app/TfrmSimple.h"

#include "app/TfrmMain.h"
#include "app/TfrmSimpleNumbers.h"
#include "platform/environment/Environment.h"
#include "ui/ErrorGuard.h"
#include "ui/Fonts.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

TfrmSimple::TfrmSimple(WindowRegistry &registry, QWidget *parent) : QWidget(parent), m_registry(&registry)
{
    setObjectName(QStringLiteral("frmSimple"));
    setWindowTitle(QStringLiteral("Brenvoy"));
    setFont(windowsUiFont(8));
    setFixedSize(292, 164);
    auto make = [this](const QString &caption, const char *name, const QString &hint, QRect geometry,
                       void (TfrmSimple::*handler)()) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setStatusTip(hint);
        b->setGeometry(geometry);
        connect(b, &QPushButton::clicked, this,
                [this, handler] { guard(*m_registry->dialogs, [&] { (this->*handler)(); }); });
        return b;
    };
    btnMain = make("Brenvoy", "btnMain", {}, {40, 8, 209, 25}, &TfrmSimple::btnMainClick);
    btnPlay = make("Play Message 1", "btnPlay", {}, {88, 39, 113, 25}, &TfrmSimple::btnPlayClick);
    btnNext = make("Dial Next", "btnNext", {}, {31, 70, 51, 25}, &TfrmSimple::btnNextClick);
    btnDial =
        make("Dial", "btnDial", "Dial selected Phone number", {88, 70, 113, 25}, &TfrmSimple::btnDialClick);
    btnFax = make("Fax", "btnFax", "Send Fax Template content to selected recipient", {207, 70, 50, 25},
                  &TfrmSimple::btnFaxClick);
    btnScript = make("Script", "btnScript", {}, {32, 101, 50, 25}, &TfrmSimple::btnScriptClick);
    btnEmail = make("Email", "btnEmail", "Send Email Template content to selected recipient",
                    {88, 101, 113, 25}, &TfrmSimple::btnEmailClick);
    btnRecord =
        make("Record", "btnRecord", "Record the call", {207, 101, 50, 25}, &TfrmSimple::btnRecordClick);
    btnAbort = make("Abort", "btnAbort", "Abort / Hangup phone connection", {88, 132, 113, 25},
                    &TfrmSimple::btnAbortClick);
}

TfrmSimple::Placement TfrmSimple::PlaceSideBySide(const QSize &screen, const QSize &panelOuter,
                                                  const QSize &listOuter)
{
    Placement p;
    const int panelTop = (screen.height() - panelOuter.height()) / 2;
    const int listLeft = (screen.width() - (listOuter.width() + panelOuter.width() + 4)) / 2;
    p.numberList = QPoint(listLeft, panelTop);
    p.panel = QPoint(listLeft + listOuter.width() + 4, panelTop);
    return p;
}

void TfrmSimple::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    guard(*m_registry->dialogs, [this] { FormShow(); });
}

void TfrmSimple::FormShow()
{
    if (m_registry->frmMain && !m_registry->frmMain->FormShow())
        return; // the table did not open: the number list stays hidden
    TfrmSimpleNumbers *list = m_registry->frmSimpleNumbers;
    if (!list)
        return;
    list->show();
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const Placement p =
        PlaceSideBySide(s->geometry().size(), frameGeometry().size(), list->frameGeometry().size());
    list->move(p.numberList);
    move(p.panel);
}

void TfrmSimple::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        FormHide();
}

void TfrmSimple::FormHide()
{
    if (m_registry->frmSimpleNumbers)
        m_registry->frmSimpleNumbers->hide();
}

void TfrmSimple::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_registry->terminate)
        m_registry->terminate();
}

void TfrmSimple::btnMainClick()
{
    hide();
    if (m_registry->frmMain) {
        m_registry->frmMain->show();
        m_registry->frmMain->raise();
        m_registry->frmMain->activateWindow();
    }
}

void TfrmSimple::btnDialClick()
{
    if (m_registry->frmMain)
        m_registry->frmMain->btnDialClick();
}
void TfrmSimple::btnNextClick()
{
    if (m_registry->frmMain)
        m_registry->frmMain->btnDialNextClick();
}
void TfrmSimple::btnPlayClick()
{
    if (m_registry->frmMain)
        m_registry->frmMain->btnPlay1Click();
}
void TfrmSimple::btnRecordClick()
{
    if (m_registry->frmMain)
        m_registry->frmMain->btnRecordClick();
}
void TfrmSimple::btnEmailClick()
{
    if (m_registry->frmMain)
        m_registry->frmMain->btnSendEmailClick();
}
void TfrmSimple::btnFaxClick()
{
    if (m_registry->frmMain)
        m_registry->frmMain->btnSendFaxClick();
}
void TfrmSimple::btnScriptClick()
{
    if (m_registry->frmMain)
        m_registry->frmMain->btnScriptClick();
}
void TfrmSimple::btnAbortClick()
{
    if (m_registry->frmMain)
        m_registry->frmMain->btnAbortClick();
}

void TfrmSimple::applyCallState(const CallButtons &s)
{
    btnDial->setEnabled(s.panelDial);
    btnNext->setEnabled(s.panelNext);
    btnPlay->setEnabled(s.panelPlay);
    btnRecord->setEnabled(s.panelRecord);
    btnAbort->setEnabled(s.panelAbort);
}
