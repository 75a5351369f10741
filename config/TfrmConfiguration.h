#pragma once

#include "config/Settings.h"
#include "platform/sound/Sound.h"

#include <QDialog>
#include <QStyledItemDelegate>

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QWidget;
class Dialogs;
class Environment;
class TRadioGroup;
class TTapiDevice;

// "Configuration": the line device, the play list of voice messages, where
// messages play, the e-mail and fax programs and call recording. Its
// controls hold these settings for the run; LoadSettings and SaveSettings
// move them between the settings file and the controls of every window.
class TfrmConfiguration : public QDialog {
    Q_OBJECT
public:
    // record carries the settings between the file and the controls.
    TfrmConfiguration(Environment &env, Dialogs &dialogs, Settings &record, SettingsPaths paths,
                      QWidget *parent = nullptr);
    ~TfrmConfiguration() override;

    // The main contact window's line device and message lists, which the
    // play list and the device choice keep in step.
    void setMainWindowControls(TTapiDevice *device, QComboBox *player1, QComboBox *player2);

    void LoadSettings();
    void SaveSettings();

    // Handlers.
    void BitBtn1Click();
    void btnAddClick();
    void btnRemoveClick();
    void btnTestClick();
    void Button1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void rgEmailHostClick();
    void editEmailProgChange();
    void rgFaxHostClick();
    void editFaxProgChange();
    void FormClose();
    void lbPlayListDrawItem(QPainter *painter, const QStyleOptionViewItem &option,
                            const QModelIndex &index) const;

    // What the calls read here when they act. Wave destination: 0 "Phone
    // line", 1 "PC Soundcard", 2 "Both", -1 none chosen.
    int WaveDestination() const;
    bool RecordCalls() const;
    // Full paths in list order, the order of both main-window message lists.
    QStringList PlayListEntries() const;

    // The e-mail and fax availability checks, run on every change of the
    // host choice or the program path; they read the choice and the path
    // from rgEmailHost/editEmailProg and rgFaxHost/editFaxProg.
    std::function<void()> CheckOutlook;
    std::function<void()> CheckFaxService;
    // The template window, live home of the e-mail and fax template keys and
    // of the two side files' bodies: it takes them at load and gives them
    // at every save. Unset, the template keys and side files are left alone.
    std::function<void(const SettingsTemplate &)> setTemplate;
    std::function<MessageTemplate()> currentTemplate;
    // The sound card; tests put a recorder here.
    std::function<BOOL(const char *, HMODULE, std::uint32_t)> playSound = &PlaySound;

    // Controls, named as the window has them.
    QTabWidget *PageControl1 = nullptr;
    QWidget *tsPhone = nullptr, *tsEmail = nullptr, *tsFax = nullptr, *tsGeneral = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QLineEdit *editSelectedDevice = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QLabel *labelEnableVoice = nullptr;
    QLabel *Label1 = nullptr;
    QListWidget *lbPlayList = nullptr;
    QPushButton *btnAdd = nullptr, *btnRemove = nullptr, *btnTest = nullptr, *Button1 = nullptr;
    QLabel *Label3 = nullptr;
    TRadioGroup *rgWaveDest = nullptr;
    TRadioGroup *rgEmailHost = nullptr;
    QLineEdit *editEmailProg = nullptr;
    QPushButton *BitBtn2 = nullptr;
    TRadioGroup *rgFaxHost = nullptr;
    QLineEdit *editFaxProg = nullptr;
    QPushButton *BitBtn3 = nullptr;
    QGroupBox *gbRecording = nullptr;
    QCheckBox *cbRecord = nullptr;
    QLabel *Label2 = nullptr;

    // Texts of the device choice.
    static inline const char *const kVoiceNotSupportedMessage =
        "Current modem selection not supported voice over the phone line!";

protected:
    void done(int result) override;

private:
    void buildPhoneTab();
    void buildHostTab(QWidget *tab, const QString &caption, const QString &defaultItem, TRadioGroup *&group,
                      QLineEdit *&edit, QPushButton *&button, const char *groupName, const char *editName,
                      const char *buttonName);
    // Runs a handler inside the general error display.
    void run(void (TfrmConfiguration::*handler)());
    void showVoiceSupport(bool supported, bool setText = true);
    void appendEntry(const QString &path);
    void chooseProgram(QLineEdit *edit);

    Environment &m_env;
    Dialogs &m_dialogs;
    Settings &m_record;
    SettingsPaths m_paths;
    TTapiDevice *m_device = nullptr;
    QComboBox *m_player1 = nullptr;
    QComboBox *m_player2 = nullptr;
};

// Draws a play-list entry through its window's handler.
class PlayListDelegate : public QStyledItemDelegate {
public:
    // The list does not own its delegate: the parent does.
    PlayListDelegate(const TfrmConfiguration &form, QObject *parent)
        : QStyledItemDelegate(parent), m_form(form)
    {
    }
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        m_form.lbPlayListDrawItem(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        // 13 pixels, or the font's own height where a larger font would be cut.
        // No width of its own: every entry spans the list, so right-aligned
        // text ends at the list's right edge.
        Q_UNUSED(index);
        return {1, qMax(13, option.fontMetrics.height())};
    }

private:
    const TfrmConfiguration &m_form;
};
