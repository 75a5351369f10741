// The main contact window's side of calling: it hands the call controller
// its contacts and settings, forwards its handlers, and shows the state the
// controller publishes on its own buttons and on those of the compact panel
// and the number list.

#include "app/PathComboBox.h"
#include "app/TfrmMain.h"
#include "app/TfrmSimple.h"
#include "app/TfrmSimpleNumbers.h"
#include "config/TfrmConfiguration.h"
#include "platform/environment/ClockTimer.h"
#include "platform/environment/Environment.h"
#include "ui/DBGrid.h"
#include "ui/DataSource.h"
#include "ui/RadioGroup.h"

#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>

namespace {

class MainCallContacts final : public CallContacts {
public:
    explicit MainCallContacts(TfrmMain &w) : m_w(w) {}
    TDbfTable &table() override { return m_w.dsTable(); }
    bool multiSelect() const override { return m_w.DBGrid1->MultiSelect(); }
    void clearSelection() override { m_w.DBGrid1->ClearSelection(); }
    void selectCurrentRow() override { m_w.DBGrid1->setCurrentRowSelected(true); }
    void moveNext() override { m_w.dataSource().next(); }
    ContactHistory &history() override { return m_w.history(); }

private:
    TfrmMain &m_w;
};

// The configuration window's controls (editSelectedDevice, rgWaveDest,
// cbRecord) hold these for the run; without that window, the settings
// record and the line device.
class MainCallSettings final : public CallSettings {
public:
    explicit MainCallSettings(TfrmMain &w) : m_w(w) {}
    QString selectedDeviceText() const override
    {
        return config() ? config()->editSelectedDevice->text() : m_w.TapiDevice->SelectedDevice();
    }
    int waveDestination() const override
    {
        return config() ? config()->WaveDestination() : m_w.settings().waveDestination;
    }
    bool recordCalls() const override
    {
        return config() ? config()->RecordCalls() : m_w.settings().recordCalls;
    }
    QString playListSelection(int list) const override
    {
        const QComboBox *cb = list == 1 ? m_w.cbPLayer1 : m_w.cbPlayer2;
        return cb->currentIndex() >= 0 ? cb->itemText(cb->currentIndex()) : QString();
    }

private:
    const TfrmConfiguration *config() const
    {
        return qobject_cast<const TfrmConfiguration *>(m_w.configurationWindow());
    }
    TfrmMain &m_w;
};

// The configuration window, modally. Until it is a dialog of its own, any
// widget the registry holds is shown application-modal and waited for.
void showModally(QWidget *window)
{
    if (!window)
        return;
    if (auto *dialog = qobject_cast<QDialog *>(window)) {
        dialog->exec();
        return;
    }
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    QEventLoop loop;
    while (window->isVisible())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
}

void enable(QPushButton *button, bool on)
{
    if (button)
        button->setEnabled(on);
}

} // namespace

void TfrmMain::createCallController()
{
    ContactHistory::Hooks hooks;
    hooks.multiSelect = [this] { return DBGrid1->MultiSelect(); };
    hooks.selectedRows = [this] { return DBGrid1->SelectedRows(); };
    hooks.leaveEdit = [this] { m_dataSource->checkBrowseMode(); };
    hooks.moveTo = [this](Bookmark b) { m_dataSource->gotoBookmark(b); };
    // While a send holds the controls, the grids follow once at its end.
    hooks.changed = [this] {
        if (!m_table->ControlsDisabled())
            m_dataSource->notifyDataSetChanged();
    };
    m_history = std::make_unique<ContactHistory>(*m_table, m_env->clock(), std::move(hooks));

    m_callContacts = std::make_unique<MainCallContacts>(*this);
    m_callSettings = std::make_unique<MainCallSettings>(*this);
    m_calls = new CallController(*m_env, *m_dialogs, *m_callContacts, *m_callSettings, this);
    TapiDevice = &m_calls->device();
    TapiStatus = &m_calls->statusDisplay();
    ComPort = &m_calls->port();
    Timer1 = &m_calls->timer();
    m_calls->showConfiguration = [this] { showModally(m_registry->frmConfiguration); };
    m_calls->showManualDial = [this] {
        if (QWidget *w = m_registry->frmManualDial) {
            w->show();
            w->raise();
            w->activateWindow();
        }
    };
    connect(m_calls, &CallController::stateChanged, this,
            [this](const CallButtons &s) { applyCallState(s); });
    connect(m_calls, &CallController::statusMessage, this,
            [this](const QString &text) { StatusBar1->setPanelText(0, text); });
    applyCallState(m_calls->State());
}

void TfrmMain::applyCallState(const CallButtons &s)
{
    enable(btnDial, s.dial);
    enable(btnDialNext, s.dialNext);
    enable(btnManualDial, s.manualDial);
    enable(btnAbort, s.abort);
    enable(btnPlay1, s.play1);
    enable(btnPlay2, s.play2);
    enable(btnStopPlay, s.stopPlay);
    enable(btnRecord, s.record);
    StatusBar1->setPanelText(1, s.phoneText());
    // The compact panel and the number list are created before this window.
    if (TfrmSimple *panel = m_registry->frmSimple)
        panel->applyCallState(s);
    if (TfrmSimpleNumbers *list = m_registry->frmSimpleNumbers)
        list->applyCallState(s);
}

void TfrmMain::btnDialClick()
{
    m_calls->DialSelected();
}
void TfrmMain::btnDialNextClick()
{
    m_calls->DialNext();
}
void TfrmMain::btnManualDialClick()
{
    m_calls->ManualDial();
}
void TfrmMain::btnAbortClick()
{
    m_calls->Abort();
}
void TfrmMain::btnPlay1Click()
{
    m_calls->Play(1);
}
void TfrmMain::btnPlay2Click()
{
    m_calls->Play(2);
}
void TfrmMain::btnStopPlayClick()
{
    m_calls->StopPlay();
}
void TfrmMain::btnRecordClick()
{
    m_calls->Record();
}
void TfrmMain::Timer1Timer()
{
    m_calls->Timer1Timer();
}
void TfrmMain::TapiDeviceTapiStatus(TCustomTapiDevice *CP, bool First, bool Last, DWORD Device, DWORD Message,
                                    DWORD Param1, DWORD Param2, DWORD Param3)
{
    m_calls->TapiDeviceTapiStatus(CP, First, Last, Device, Message, Param1, Param2, Param3);
}
void TfrmMain::TapiDeviceTapiWaveNotify(TCustomTapiDevice *CP, TWaveMessage Msg)
{
    m_calls->TapiDeviceTapiWaveNotify(CP, Msg);
}
void TfrmMain::cbPLayer1DrawItem(QPainter &painter, const QRect &rect, int index, bool selected)
{
    PathComboBox::drawRightAligned(painter, rect, cbPLayer1->itemText(index), selected, cbPLayer1->palette());
}
void TfrmMain::cbPlayer2DrawItem(QPainter &painter, const QRect &rect, int index, bool selected)
{
    PathComboBox::drawRightAligned(painter, rect, cbPlayer2->itemText(index), selected, cbPlayer2->palette());
}
