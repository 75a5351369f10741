#include "config/TfrmConfiguration.h"

#include "platform/environment/Environment.h"
#include "telephony/TapiDevice.h"
#include "telephony/WaveStream.h"
#include "ui/Dialogs.h"
#include "ui/ErrorGuard.h"
#include "ui/Fonts.h"
#include "ui/RadioGroup.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>

namespace {

constexpr int kClientWidth = 366;
constexpr int kClientHeight = 414;

const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);

QPushButton *glyphButton(QWidget *parent, QStyle::StandardPixmap glyph, const char *name, const QRect &place)
{
    auto *b = new QPushButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(parent->style()->standardIcon(glyph));
    b->setGeometry(place);
    return b;
}

QPushButton *button(QWidget *parent, const QString &caption, const char *name, const QRect &place)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(place);
    return b;
}

} // namespace

TfrmConfiguration::TfrmConfiguration(Environment &env, Dialogs &dialogs, Settings &record,
                                     SettingsPaths paths, QWidget *parent)
    : QDialog(parent), m_env(env), m_dialogs(dialogs), m_record(record), m_paths(std::move(paths))
{
    setObjectName(QStringLiteral("frmConfiguration"));
    setWindowTitle(QStringLiteral("Configuration"));
    setFont(windowsUiFont());
    setFixedSize(kClientWidth, kClientHeight);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 0, kClientWidth, kClientHeight);
    tsPhone = new QWidget;
    tsPhone->setObjectName(QStringLiteral("tsPhone"));
    tsEmail = new QWidget;
    tsEmail->setObjectName(QStringLiteral("tsEmail"));
    tsFax = new QWidget;
    tsFax->setObjectName(QStringLiteral("tsFax"));
    tsGeneral = new QWidget;
    tsGeneral->setObjectName(QStringLiteral("tsGeneral"));
    PageControl1->addTab(tsPhone, QStringLiteral("Phone"));
    PageControl1->addTab(tsEmail, QStringLiteral("Email"));
    PageControl1->addTab(tsFax, QStringLiteral("Fax"));
    PageControl1->addTab(tsGeneral, QStringLiteral("General"));

    buildPhoneTab();
    buildHostTab(tsEmail, QStringLiteral("Email Host app"), QStringLiteral("Default Email Client"),
                 rgEmailHost, editEmailProg, BitBtn2, "rgEmailHost", "editEmailProg", "BitBtn2");
    buildHostTab(tsFax, QStringLiteral("Fax Host app"), QStringLiteral("Default Fax Server"), rgFaxHost,
                 editFaxProg, BitBtn3, "rgFaxHost", "editFaxProg", "BitBtn3");

    gbRecording = new QGroupBox(QStringLiteral("Call recording"), tsGeneral);
    gbRecording->setObjectName(QStringLiteral("gbRecording"));
    gbRecording->setGeometry(8, 8, 329, 73);
    cbRecord = new QCheckBox(QStringLiteral("Record the conversations after dialing"), gbRecording);
    cbRecord->setObjectName(QStringLiteral("cbRecord"));
    cbRecord->setGeometry(24, 32, 225, 17);
    Label2 = new QLabel(gbRecording);
    Label2->setObjectName(QStringLiteral("Label2"));

    // The first time the window shows, it opens on "General".
    PageControl1->setCurrentWidget(tsGeneral);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { run(&TfrmConfiguration::BitBtn1Click); });
    connect(btnAdd, &QPushButton::clicked, this, [this] { run(&TfrmConfiguration::btnAddClick); });
    connect(btnRemove, &QPushButton::clicked, this, [this] { run(&TfrmConfiguration::btnRemoveClick); });
    connect(btnTest, &QPushButton::clicked, this, [this] { run(&TfrmConfiguration::btnTestClick); });
    connect(Button1, &QPushButton::clicked, this, [this] { run(&TfrmConfiguration::Button1Click); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { run(&TfrmConfiguration::BitBtn2Click); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { run(&TfrmConfiguration::BitBtn3Click); });
    rgEmailHost->OnClick = [this] { run(&TfrmConfiguration::rgEmailHostClick); };
    rgFaxHost->OnClick = [this] { run(&TfrmConfiguration::rgFaxHostClick); };
    connect(editEmailProg, &QLineEdit::textChanged, this,
            [this] { run(&TfrmConfiguration::editEmailProgChange); });
    connect(editFaxProg, &QLineEdit::textChanged, this,
            [this] { run(&TfrmConfiguration::editFaxProgChange); });
}

TfrmConfiguration::~TfrmConfiguration() = default;

void TfrmConfiguration::buildPhoneTab()
{
    GroupBox1 = new QGroupBox(QStringLiteral("Phone device"), tsPhone);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 329, 73);
    editSelectedDevice = new QLineEdit(GroupBox1);
    editSelectedDevice->setObjectName(QStringLiteral("editSelectedDevice"));
    editSelectedDevice->setReadOnly(true);
    editSelectedDevice->setGeometry(16, 24, 265, 21);
    BitBtn1 = glyphButton(GroupBox1, QStyle::SP_ComputerIcon, "BitBtn1", {296, 24, 25, 25});
    labelEnableVoice = new QLabel(GroupBox1);
    labelEnableVoice->setObjectName(QStringLiteral("labelEnableVoice"));
    labelEnableVoice->setAlignment(Qt::AlignCenter);
    labelEnableVoice->setGeometry(8, 40, 265, 13);

    Label1 = new QLabel(QStringLiteral("Wave Playlist"), tsPhone);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(8, 88);
    lbPlayList = new QListWidget(tsPhone);
    lbPlayList->setObjectName(QStringLiteral("lbPlayList"));
    lbPlayList->setGeometry(8, 104, 249, 193);
    lbPlayList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbPlayList->setUniformItemSizes(true);
    lbPlayList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lbPlayList->setItemDelegate(new PlayListDelegate(*this, lbPlayList));
    btnAdd = button(tsPhone, QStringLiteral("Add"), "btnAdd", {272, 104, 65, 25});
    btnRemove = button(tsPhone, QStringLiteral("Remove"), "btnRemove", {272, 136, 65, 25});
    btnTest = button(tsPhone, QStringLiteral("Test"), "btnTest", {272, 184, 65, 25});
    Button1 = button(tsPhone, QStringLiteral("Stop"), "Button1", {272, 216, 65, 25});
    Label3 = new QLabel(QStringLiteral("Telephony quality only ( 8 Khz, 16 bit, mono )"), tsPhone);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->move(8, 304);
    rgWaveDest = new TRadioGroup(
        QStringLiteral("Wave Playing Device"),
        {QStringLiteral("Phone line"), QStringLiteral("PC Soundcard"), QStringLiteral("Both")}, 3, tsPhone);
    rgWaveDest->setObjectName(QStringLiteral("rgWaveDest"));
    rgWaveDest->setGeometry(8, 328, 329, 49);
}

void TfrmConfiguration::buildHostTab(QWidget *tab, const QString &caption, const QString &defaultItem,
                                     TRadioGroup *&group, QLineEdit *&edit, QPushButton *&chooser,
                                     const char *groupName, const char *editName, const char *buttonName)
{
    group = new TRadioGroup(caption, {defaultItem, QStringLiteral("Other ..")}, 1, tab);
    group->setObjectName(QString::fromLatin1(groupName));
    group->setGeometry(8, 24, 337, 89);
    group->setItemIndex(0);
    edit = new QLineEdit(tab);
    edit->setObjectName(QString::fromLatin1(editName));
    edit->setReadOnly(true);
    edit->setGeometry(80, 80, 225, 21);
    chooser = glyphButton(tab, QStyle::SP_DirOpenIcon, buttonName, {312, 80, 25, 25});
}

void TfrmConfiguration::setMainWindowControls(TTapiDevice *device, QComboBox *player1, QComboBox *player2)
{
    m_device = device;
    m_player1 = player1;
    m_player2 = player2;
}

void TfrmConfiguration::run(void (TfrmConfiguration::*handler)())
{
    guard(m_dialogs, [this, handler] { (this->*handler)(); });
}

// ---------------------------------------------------------------- settings

void TfrmConfiguration::LoadSettings()
{
    SettingsLoadHooks hooks;
    hooks.showMessage = [this](const QString &text) { m_dialogs.showMessage(text); };
    if (m_device) {
        hooks.setSelectedDevice = [this](const QString &name) { m_device->setSelectedDevice(name); };
        hooks.selectedDevice = [this] { return m_device->SelectedDevice(); };
        hooks.setEnableVoice = [this](bool on) { m_device->setEnableVoice(on); };
        hooks.enableVoice = [this] { return m_device->EnableVoice(); };
    }
    hooks.setTemplate = setTemplate;
    ::LoadSettings(m_record, m_paths, m_env.clock(), hooks);

    // At load every list is empty; the three take the same entries.
    lbPlayList->clear();
    for (QComboBox *cb : {m_player1, m_player2})
        if (cb)
            cb->clear();
    for (const QString &entry : std::as_const(m_record.playList))
        appendEntry(entry);

    switch (m_record.voiceSupport) {
    case VoiceSupport::Supported:
        showVoiceSupport(true);
        break;
    case VoiceSupport::Unchanged:
        showVoiceSupport(true, false);
        break;
    case VoiceSupport::NotSupported:
        showVoiceSupport(false);
        break;
    case VoiceSupport::NotChecked:
        break;
    }
    editSelectedDevice->setText(m_record.editSelectedDevice);

    if (m_player1)
        m_player1->setCurrentIndex(m_record.play1);
    if (m_player2)
        m_player2->setCurrentIndex(m_record.play2);
    rgWaveDest->setItemIndex(m_record.waveDestination);
    // A change of choice or path runs its availability check, as the
    // operator's own change would.
    rgEmailHost->setItemIndex(m_record.emailHostSelection);
    editEmailProg->setText(m_record.emailHostApp);
    rgFaxHost->setItemIndex(m_record.faxHostSelection);
    editFaxProg->setText(m_record.faxHostApp);
    cbRecord->setChecked(m_record.recordCalls);
}

void TfrmConfiguration::SaveSettings()
{
    m_record.playList = PlayListEntries();
    if (m_device)
        m_record.selectedDevice = m_device->SelectedDevice();
    if (m_player1)
        m_record.play1 = m_player1->currentIndex();
    if (m_player2)
        m_record.play2 = m_player2->currentIndex();
    // A choice the file held outside the items shows none and goes back as it came.
    if (rgWaveDest->ItemIndex() >= 0)
        m_record.waveDestination = rgWaveDest->ItemIndex();
    if (rgEmailHost->ItemIndex() >= 0)
        m_record.emailHostSelection = rgEmailHost->ItemIndex();
    m_record.emailHostApp = editEmailProg->text();
    if (rgFaxHost->ItemIndex() >= 0)
        m_record.faxHostSelection = rgFaxHost->ItemIndex();
    m_record.faxHostApp = editFaxProg->text();
    m_record.recordCalls = cbRecord->isChecked();
    if (currentTemplate) {
        const MessageTemplate templates = currentTemplate();
        ::SaveSettings(m_record, m_paths, &templates);
    } else {
        ::SaveSettings(m_record, m_paths);
    }
}

// ---------------------------------------------------------------- handlers

void TfrmConfiguration::showVoiceSupport(bool supported, bool setText)
{
    QPalette p = labelEnableVoice->palette();
    p.setColor(QPalette::WindowText, supported ? kGreen : kRed);
    labelEnableVoice->setPalette(p);
    if (setText)
        labelEnableVoice->setText(
            QString::fromUtf8(supported ? kVoiceSupportedText : kVoiceNotSupportedText));
}

void TfrmConfiguration::BitBtn1Click()
{
    if (m_device) {
        try {
            m_device->ChooseDevice();
            m_device->setEnableVoice(true);
        } catch (const std::exception &) {
            // The label below tells the operator.
        }
    }
    editSelectedDevice->setText(m_device ? m_device->SelectedDevice() : QString());
    if (m_device && m_device->EnableVoice()) {
        showVoiceSupport(true);
    } else {
        showVoiceSupport(false);
        m_dialogs.showMessage(QString::fromUtf8(kVoiceNotSupportedMessage));
    }
    SaveSettings();
}

void TfrmConfiguration::appendEntry(const QString &path)
{
    lbPlayList->addItem(path);
    for (QComboBox *cb : {m_player1, m_player2})
        if (cb)
            cb->addItem(path);
}

void TfrmConfiguration::btnAddClick()
{
    FileDialogRequest request;
    request.filter = QStringLiteral("Wave File|*.WAV");
    request.mustExist = true;
    const std::optional<QStringList> files = m_dialogs.openFiles(request);
    for (const QString &path : files.value_or(QStringList())) {
        if (PlayListEntries().contains(path, Qt::CaseInsensitive))
            continue;
        // A file that is no wave file throws here and ends the command.
        TFileWaveStream stream(path);
        if (stream.isTelephoneQuality())
            appendEntry(path);
        else
            m_dialogs.showMessage(QStringLiteral("wave file: ") + path +
                                  QStringLiteral(" not Telephone quality (8Khz,16 bit,mono) format"));
    }
    SaveSettings();
}

void TfrmConfiguration::btnRemoveClick()
{
    for (int i = lbPlayList->count() - 1; i >= 0; --i) {
        if (!lbPlayList->item(i)->isSelected())
            continue;
        delete lbPlayList->takeItem(i);
        for (QComboBox *cb : {m_player1, m_player2})
            if (cb && i < cb->count())
                cb->removeItem(i);
    }
    SaveSettings();
}

void TfrmConfiguration::btnTestClick()
{
    for (int i = 0; i < lbPlayList->count(); ++i) {
        if (lbPlayList->item(i)->isSelected()) {
            playSound(lbPlayList->item(i)->text().toLocal8Bit().constData(), nullptr,
                      SND_FILENAME | SND_NODEFAULT | SND_ASYNC);
            return;
        }
    }
}

void TfrmConfiguration::Button1Click()
{
    playSound(nullptr, nullptr, 0);
}

void TfrmConfiguration::FormClose()
{
    playSound(nullptr, nullptr, 0);
}

void TfrmConfiguration::done(int result)
{
    guard(m_dialogs, [this] { FormClose(); });
    QDialog::done(result);
}

void TfrmConfiguration::chooseProgram(QLineEdit *edit)
{
    FileDialogRequest request;
    request.fileName = edit->text();
    request.defaultExt = QStringLiteral("exe");
    request.filter = QStringLiteral("Executable file|*.exe");
    if (const std::optional<QString> chosen = m_dialogs.openFile(request))
        edit->setText(*chosen); // its change handler runs the check
}

void TfrmConfiguration::BitBtn2Click()
{
    chooseProgram(editEmailProg);
}

void TfrmConfiguration::BitBtn3Click()
{
    chooseProgram(editFaxProg);
}

void TfrmConfiguration::rgEmailHostClick()
{
    if (CheckOutlook)
        CheckOutlook();
}

void TfrmConfiguration::editEmailProgChange()
{
    if (CheckOutlook)
        CheckOutlook();
}

void TfrmConfiguration::rgFaxHostClick()
{
    if (CheckFaxService)
        CheckFaxService();
}

void TfrmConfiguration::editFaxProgChange()
{
    if (CheckFaxService)
        CheckFaxService();
}

void TfrmConfiguration::lbPlayListDrawItem(QPainter *painter, const QStyleOptionViewItem &option,
                                           const QModelIndex &index) const
{
    // The whole path, right-aligned, so a long one still shows its file name.
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(option.rect, option.palette.brush(selected ? QPalette::Highlight : QPalette::Base));
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(option.font);
    painter->setClipRect(option.rect);
    const QRect text = option.rect.adjusted(0, 0, -2, 0);
    painter->drawText(text, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, index.data().toString());
    painter->restore();
}

// ---------------------------------------------------------------- read by the calls

int TfrmConfiguration::WaveDestination() const
{
    return rgWaveDest->ItemIndex();
}

bool TfrmConfiguration::RecordCalls() const
{
    return cbRecord->isChecked();
}

QStringList TfrmConfiguration::PlayListEntries() const
{
    QStringList entries;
    entries.reserve(lbPlayList->count());
    for (int i = 0; i < lbPlayList->count(); ++i)
        entries << lbPlayList->item(i)->text();
    return entries;
}
