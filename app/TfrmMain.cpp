#include "app/TfrmMain.h"

#include "app/DatabaseCommands.h"
#include "app/PathComboBox.h"
#include "app/TfrmSimple.h"
#include "app/Tools.h"
#include "config/TfrmConfiguration.h"
#include "contacts/AddContactIfNew.h"
#include "contacts/ContactView.h"
#include "contacts/SearchExpression.h"
#include "import/TfrmImportWizard.h"
#include "messaging/FaxServiceAccess.h"
#include "messaging/MessageSending.h"
#include "messaging/OutlookCommands.h"
#include "messaging/TFrmRichEditor.h"
#include "messaging/TfrmOutlookContact.h"
#include "messaging/TfrmTemplate.h"
#include "platform/environment/ClockTimer.h"
#include "platform/environment/Environment.h"
#include "platform/richedit/RichEdit.h"
#include "telephony/TComPort.h"
#include "telephony/TTapiStatus.h"
#include "telephony/TapiDevice.h"
#include "ui/CaptionedDBNavigator.h"
#include "ui/DBControls.h"
#include "ui/DBDateTimePicker.h"
#include "ui/DBGrid.h"
#include "ui/DataSource.h"
#include "ui/Dialogs.h"
#include "ui/ErrorGuard.h"
#include "ui/Fonts.h"
#include "ui/HintLine.h"
#include "ui/RadioGroup.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QVBoxLayout>

#include <utility>

namespace {
constexpr int kClientWidth = 688;
constexpr int kClientHeight = 598;
constexpr int kStatusHeight = 20;
const QColor kLime(0, 255, 0);

QList<DBGridColumn> mainGridColumns()
{
    return {{"COMPNAME", "COMPANY NAME", 188},
            {"NAME", {}, 120},
            {"LAST", {}, 107},
            {"CELLPHONE", {}, 105},
            {"PHONE", {}, 105},
            {"FAX", {}, 130},
            {"EMAIL", {}, 364},
            {"FIRSTCALL", {}, 76},
            {"SECONDCALL", {}, 88},
            {"THIRDCALL", {}, 76},
            {"FOURTHCALL", {}, 88},
            {"FIFTHCALL", {}, 76},
            {"EMAILFIRST", {}, 82},
            {"EMAILSEC", {}, 76},
            {"EMAILTHIRD", {}, 82},
            {"EMAILFOUR", {}, 82},
            {"FAXFIRST", {}, 76},
            {"FAXSEC", {}, 76},
            {"FAXTHRID", {}, 76},
            {"WAVEONE", {}, 76},
            {"WAVETWO", {}, 76},
            {"WAVETHREE", {}, 88},
            {"CONTACTED", {}, 364},
            {"PERMISSION", {}, 88},
            {"PERMNO", {}, -1},
            {"NOTES", {}, 76},
            {"CALLBACK", {}, 76},
            {"FAXBACK", {}, 76},
            {"EMAILBACK", {}, 76}};
}

QPushButton *makeButton(QWidget *parent, const QString &caption, const char *name, const QString &hint,
                        const QRect &geometry)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setStatusTip(hint);
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    return b;
}

QString withSeparator(QString folder)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}
} // namespace

TfrmMain::TfrmMain(WindowRegistry &registry, QWidget *parent)
    : QMainWindow(parent), m_registry(&registry), m_dialogs(registry.dialogs), m_env(registry.environment),
      m_table(std::make_unique<TDbfTable>(QStringLiteral("dsTable")))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Brenvoy"));
    setFont(windowsUiFont(8));
    m_table->setClock(&m_env->clock());
    // What the search (its first field) and the views read; other fields
    // are read into memory when first searched, so a large list stays small.
    m_table->setKeepInMemory({QStringLiteral("COMPNAME"), QStringLiteral("CALLBACK"),
                              QStringLiteral("FAXBACK"), QStringLiteral("EMAILBACK")});
    m_dataSource = new ::DataSource(*m_table, this);
    m_dataSource->setObjectName(QStringLiteral("DataSource"));
    m_table->OnFilterRecord = [this](TDbfTable &t) { return dsTableFilterRecord(t); };
    m_table->OnFilterPassesAll = [this] { return m_viewIndex == ViewAll; };
    m_dataSource->OnAfterScroll = [this] { dsTableAfterScroll(); };
    m_dataSource->OnStateChange = [this] { DataSourceStateChange(); };
    m_outlook = std::make_unique<OutlookCommands>(*m_env, *m_dialogs, OutlookAvailable, EmailHostProgram);
    registry.checkOutlook = [this](int hostSelection, const QString &hostProgram) {
        CheckOutlook(hostSelection, hostProgram);
    };

    buildMenus();
    buildLayout();
    createCallController();
    m_fax = std::make_unique<FaxServiceAccess>(*m_env, registry.shell, *m_dialogs);
    registry.checkFaxService = [this](int host, const QString &program) { CheckFaxService(host, program); };
    DataSourceStateChange(); // the search waits for an open table
    Timer1->start();

    // Fixed size, centred on the screen.
    const int menuHeight = menuBar()->sizeHint().height();
    setFixedSize(kClientWidth, kClientHeight + menuHeight);
    if (const QScreen *s = QGuiApplication::primaryScreen()) {
        const QRect r = s->availableGeometry();
        move(r.x() + (r.width() - width()) / 2, r.y() + (r.height() - height()) / 2);
    }

    FormCreate();
}

TfrmMain::~TfrmMain()
{
    m_registry->checkFaxService = nullptr;
    m_hint.reset();
    // The line device goes first: its last events may still reach the window.
    delete m_calls;
    m_calls = nullptr;
    // Controls go before the data source they are bound to, and the data
    // source before the table it unhooks itself from: as a child it would
    // otherwise outlive the table member.
    delete centralWidget();
    delete m_dataSource;
    m_dataSource = nullptr;
}

QString TfrmMain::iniFile() const
{
    return m_programFolder + QStringLiteral("Kestrun.ini");
}

SettingsPaths TfrmMain::settingsPaths() const
{
    return SettingsPaths::inProgramFolder(m_programFolder);
}

// ---------------------------------------------------------------- layout

void TfrmMain::buildMenus()
{
    auto action = [this](QMenu *menu, const QString &caption, const char *name, void (TfrmMain::*handler)()) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this,
                [this, handler] { guard(*m_dialogs, [&] { (this->*handler)(); }); });
        return a;
    };
    QMenu *prefs = menuBar()->addMenu(QStringLiteral("Pre&ferences"));
    prefs->setObjectName(QStringLiteral("Preferences1"));
    QMenu *import = prefs->addMenu(QStringLiteral("&Import Address List"));
    import->setObjectName(QStringLiteral("ImportAddressList1"));
    ImportfromContactList1 = action(import, QStringLiteral("Import from Contact List"),
                                    "ImportfromContactList1", &TfrmMain::ImportfromContactList1Click);
    import->addSeparator();
    ImportfromFilePasteFromClipboard1 =
        action(import, QStringLiteral("Import from File / Paste From Clipboard"),
               "ImportfromFilePasteFromClipboard1", &TfrmMain::ImportfromFilePasteFromClipboard1Click);
    prefs->addSeparator();
    FaxEmailTemplate1 = action(prefs, QStringLiteral("Fax / Email &Template"), "FaxEmailTemplate1",
                               &TfrmMain::FaxEmailTemplate1Click);
    prefs->addSeparator();
    Configuration1 =
        action(prefs, QStringLiteral("&Configuration"), "Configuration1", &TfrmMain::Configuration1Click);
    prefs->addSeparator();
    racking1 = action(prefs, QStringLiteral("History &Tracking"), "racking1", &TfrmMain::racking1Click);
    prefs->addSeparator();
    Exit1 = action(prefs, QStringLiteral("E&xit Program"), "Exit1", &TfrmMain::Exit1Click);

    QMenu *brenvoy = menuBar()->addMenu(QStringLiteral("&Brenvoy"));
    brenvoy->setObjectName(QStringLiteral("Brenvoy1"));
    OpenFaxConsole1 = action(brenvoy, QStringLiteral("Open &Fax Console"), "OpenFaxConsole1",
                             &TfrmMain::OpenFaxConsole1Click);
    brenvoy->addSeparator();
    OpenFaxCoverPageEditor1 = action(brenvoy, QStringLiteral("Open Fax Co&ver Page Editor"),
                                     "OpenFaxCoverPageEditor1", &TfrmMain::OpenFaxCoverPageEditor1Click);
    brenvoy->addSeparator();
    OpenOutlookContactFolder1 =
        action(brenvoy, QStringLiteral("Open &Contact Folder"), "OpenOutlookContactFolder1",
               &TfrmMain::OpenOutlookContactFolder1Click);
    OpenOutlookOutboxFolder1 = action(brenvoy, QStringLiteral("Open &Outbox Folder"),
                                      "OpenOutlookOutboxFolder1", &TfrmMain::OpenOutlookOutboxFolder1Click);
    OpenOutlookOutboxFolder1->setVisible(false);
    brenvoy->addSeparator();
    OpenSoundRecorder1 = action(brenvoy, QStringLiteral("Open Sound &Recorder"), "OpenSoundRecorder1",
                                &TfrmMain::OpenSoundRecorder1Click);
    brenvoy->addSeparator();
    OpenVolumeControl1 = action(brenvoy, QStringLiteral("Open Volume Control"), "OpenVolumeControl1",
                                &TfrmMain::OpenVolumeControl1Click);

    QMenu *database = menuBar()->addMenu(QStringLiteral("Database"));
    database->setObjectName(QStringLiteral("Database1"));
    menuBackup = action(database, QStringLiteral("Backup"), "menuBackup", &TfrmMain::menuBackupClick);
    database->addSeparator();
    menuGetDB = action(database, QStringLiteral("Get Database"), "menuGetDB", &TfrmMain::menuGetDBClick);

    QMenu *help = menuBar()->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("Help1"));
    About1 = action(help, QStringLiteral("About"), "About1", &TfrmMain::About1Click);
}

DBEdit *TfrmMain::addField(QWidget *parent, int top, const QString &label, const QString &field,
                           const QString &hint, const char *name, QMenu *popup)
{
    auto *l = new QLabel(label, parent);
    l->setGeometry(6, top + 3, 70, 16);
    auto *e = new DBEdit(*m_dataSource, field, parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setStatusTip(hint);
    e->setGeometry(78, top, 256, 21);
    l->setBuddy(e);
    if (popup) {
        e->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(e, &QWidget::customContextMenuRequested, this, [this, e, popup](const QPoint &pos) {
            m_popupComponent = e;
            popup->popup(e->mapToGlobal(pos));
        });
    }
    return e;
}

void TfrmMain::buildLayout()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    client->setFixedSize(kClientWidth, kClientHeight);

    // The five "Copy to clipboard" menus; the two phone fields share one.
    auto popup = [this](const char *name, const char *item, void (TfrmMain::*handler)()) {
        auto *m = new QMenu(this);
        m->setObjectName(QString::fromLatin1(name));
        QAction *a = m->addAction(QStringLiteral("Copy to clipboard"));
        a->setObjectName(QString::fromLatin1(item));
        connect(a, &QAction::triggered, this,
                [this, handler] { guard(*m_dialogs, [&] { (this->*handler)(); }); });
        return m;
    };
    PopupMenu1 = popup("PopupMenu1", "Copytoclipboard1", &TfrmMain::Copytoclipboard1Click);
    PopupMenu2 = popup("PopupMenu2", "MenuItem1", &TfrmMain::MenuItem1Click);
    PopupMenu3 = popup("PopupMenu3", "MenuItem2", &TfrmMain::MenuItem2Click);
    PopupMenu4 = popup("PopupMenu4", "MenuItem3", &TfrmMain::MenuItem3Click);
    PopupMenu5 = popup("PopupMenu5", "MenuItem4", &TfrmMain::MenuItem4Click);

    // 1. The contact grid.
    DBGrid1 = new DBGrid(*m_dataSource, *m_dialogs, mainGridColumns(), client);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setStatusTip(QStringLiteral("Contact List , Please select from here"));
    DBGrid1->setGeometry(0, 0, kClientWidth, 169);

    // 2. The fields of the current contact.
    int top = 174;
    const int step = 24;
    editCompName =
        addField(client, top, "COMPANY", "COMPNAME", "Name of the Company", "editCompName", nullptr);
    editFirstName = addField(client, top += step, "NAME", "NAME", "First Name of this contact",
                             "editFirstName", PopupMenu1);
    editLastName = addField(client, top += step, "LAST", "LAST", "Last Name of this contact", "editLastName",
                            PopupMenu2);
    editPhone = addField(client, top += step, "PHONE", "PHONE", "Phone number of this contact", "editPhone",
                         PopupMenu3);
    editFAX = addField(client, top += step, "FAX", "FAX", "Fax Phone number of this contact", "editFAX",
                       PopupMenu4);
    editCellPhone = addField(client, top += step, "CELL PHONE", "CELLPHONE",
                             "Cell phone number of this contact", "editCellPhone", PopupMenu3);
    editEMAIL = addField(client, top += step, "EMAIL", "EMAIL", "Email adress of this contact", "editEMAIL",
                         PopupMenu5);
    auto picker = [&](const QString &label, const QString &field, const QString &hint, const char *name) {
        top += step;
        auto *l = new QLabel(label, client);
        l->setGeometry(6, top + 3, 70, 16);
        auto *p = new TDBDateTimePicker(*m_dataSource, field, m_env->clock(), client);
        p->setObjectName(QString::fromLatin1(name));
        p->setStatusTip(hint);
        p->setGeometry(78, top, 120, 21);
        l->setBuddy(p);
        return p;
    };
    dbeCallback = picker("CALLBACK", "CALLBACK", "Next scheduled call for this contact", "dbeCallback");
    dbeEmailback =
        picker("EMAILBACK", "EMAILBACK", "Next scheduled email sending for this contact", "dbeEmailback");
    dbeFaxback = picker("FAXBACK", "FAXBACK", "Next scheduled fax sending for this contact", "dbeFaxback");
    DBEdit6 = addField(client, top += step, "CONTACTED", "CONTACTED", QString(), "DBEdit6", nullptr);
    top += step;
    DBCheckBox1 = new DBCheckBox(*m_dataSource, "PERMISSION", QStringLiteral("PERMISSION"), client);
    DBCheckBox1->setObjectName(QStringLiteral("DBCheckBox1"));
    DBCheckBox1->setStatusTip(QStringLiteral("Is this contact  give permission for another call"));
    DBCheckBox1->setGeometry(78, top, 120, 21);
    top += step;
    auto *notesLabel = new QLabel(QStringLiteral("NOTES"), client);
    notesLabel->setGeometry(6, top + 3, 70, 16);
    DBMemo1 = new DBMemo(*m_dataSource, "NOTES", client);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->setStatusTip(QStringLiteral("Notes about this contact"));
    DBMemo1->setGeometry(78, top, 256, kClientHeight - kStatusHeight - 4 - top);
    notesLabel->setBuddy(DBMemo1);

    // 3. The command panel.
    Panel1 = new QFrame(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(340, 172, 346, 305);
    const int w = 332 / 3;
    btnDial = makeButton(Panel1, "Dial Selected", "btnDial", "Dial selected Phone number", {6, 6, w, 25});
    btnDialNext = makeButton(Panel1, "Dial Next", "btnDialNext", "Dial next phone number from contct list",
                             {8 + w, 6, w, 25});
    btnManualDial = makeButton(Panel1, "Manual Dial", "btnManualDial", "Enter phone manually and then Dial",
                               {10 + 2 * w, 6, w, 25});
    btnSendEmail = makeButton(Panel1, "Send Email", "btnSendEmail",
                              "Send Email Template content to selected recipient", {6, 35, w, 25});
    btnSendFax = makeButton(Panel1, "Send Fax", "btnSendFax",
                            "Send Fax Template content to selected recipient", {8 + w, 35, w, 25});
    btnAbort =
        makeButton(Panel1, "Abort", "btnAbort", "Abort / Hangup phone connection", {10 + 2 * w, 35, w, 25});
    {
        QFont f = windowsUiFont(10);
        f.setBold(true);
        btnAbort->setFont(f);
        QPalette p = btnAbort->palette();
        // Red while it can be pressed; greyed like the others when it cannot.
        p.setColor(QPalette::Active, QPalette::ButtonText, Qt::red);
        p.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::red);
        btnAbort->setPalette(p);
    }
    const QString playHint = QStringLiteral("Play wave file to phone line / soundcard");
    const QString listHint = QStringLiteral("Selected wave file  to be played");
    btnPlay1 = makeButton(Panel1, "Play Wave 1", "btnPlay1", playHint, {6, 64, 80, 25});
    cbPLayer1 = new PathComboBox(Panel1);
    cbPLayer1->setObjectName(QStringLiteral("cbPLayer1"));
    cbPLayer1->setStatusTip(listHint);
    cbPLayer1->setGeometry(90, 65, 250, 23);
    btnPlay2 = makeButton(Panel1, "Play Wave 2", "btnPlay2", playHint, {6, 93, 80, 25});
    cbPlayer2 = new PathComboBox(Panel1);
    cbPlayer2->setObjectName(QStringLiteral("cbPlayer2"));
    cbPlayer2->setStatusTip(listHint);
    cbPlayer2->setGeometry(90, 94, 250, 23);
    static_cast<PathComboBox *>(cbPLayer1)->OnDrawItem =
        [this](QPainter &p, const QRect &r, int i, bool sel) { cbPLayer1DrawItem(p, r, i, sel); };
    static_cast<PathComboBox *>(cbPlayer2)->OnDrawItem =
        [this](QPainter &p, const QRect &r, int i, bool sel) { cbPlayer2DrawItem(p, r, i, sel); };
    btnStopPlay = makeButton(Panel1, "Stop Play", "btnStopPlay", "Stop any wave playing", {6, 122, w, 25});
    btnRecord = makeButton(Panel1, "Record", "btnRecord", "Record the call", {8 + w, 122, w, 25});

    DBNavigator1 = new TCaptionedDBNavigator(*m_dataSource, *m_dialogs,
                                             {TCaptionedDBNavigator::nbFirst, TCaptionedDBNavigator::nbPrior,
                                              TCaptionedDBNavigator::nbNext, TCaptionedDBNavigator::nbLast},
                                             Panel1);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setGeometry(6, 152, 140, 44);
    DBNavigator2 = new TCaptionedDBNavigator(*m_dataSource, *m_dialogs,
                                             {TCaptionedDBNavigator::nbInsert,
                                              TCaptionedDBNavigator::nbDelete, TCaptionedDBNavigator::nbEdit,
                                              TCaptionedDBNavigator::nbPost, TCaptionedDBNavigator::nbCancel},
                                             Panel1);
    DBNavigator2->setObjectName(QStringLiteral("DBNavigator2"));
    DBNavigator2->setGeometry(150, 152, 190, 44);

    rgView = new TRadioGroup(
        QStringLiteral("Contact View"),
        {"All", "Callback due today", "FaxBack due today", "EmailBack due today", "Any schedule due"}, 2,
        Panel1);
    rgView->setObjectName(QStringLiteral("rgView"));
    rgView->setStatusTip(QStringLiteral("Filter the contact list based on criteria"));
    rgView->setGeometry(6, 200, 334, 98);
    rgView->OnClick = [this] { guard(*m_dialogs, [this] { rgViewClick(); }); };

    // 4. The search.
    GroupBox1 = new QGroupBox(QStringLiteral("Search"), client);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(340, 480, 346, 50);
    auto *on = new QLabel(QStringLiteral("on"), GroupBox1);
    on->setGeometry(8, 22, 18, 16);
    cbFields = new QComboBox(GroupBox1);
    cbFields->setObjectName(QStringLiteral("cbFields"));
    cbFields->setStatusTip(QStringLiteral("Select Field to search on"));
    cbFields->setGeometry(28, 19, 120, 23);
    cbFields->setMaxVisibleItems(20);
    connect(cbFields, &QComboBox::activated, this,
            [this] { guard(*m_dialogs, [this] { cbFieldsChange(); }); });
    auto *words = new QLabel(QStringLiteral("Words"), GroupBox1);
    words->setGeometry(156, 22, 36, 16);
    edString = new QLineEdit(GroupBox1);
    edString->setObjectName(QStringLiteral("edString"));
    edString->setStatusTip(QStringLiteral("Enter Search String"));
    edString->setGeometry(194, 19, 144, 22);
    edString->installEventFilter(this);

    // 5. Script and export.
    btnScript = makeButton(client, "Script", "btnScript", QString(), {340, 536, 100, 25});
    btnExportToOutlook = makeButton(client, "Export to Contacts list", "btnExportToOutlook",
                                    "Export Selection's Address to contact list", {446, 536, 240, 25});

    // 6. The status bar.
    StatusBar1 = new TStatusBar({250, 150, 50}, client);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setGeometry(0, kClientHeight - kStatusHeight, kClientWidth, kStatusHeight);
    StatusBar1->setPanelText(1, QStringLiteral("Phone: "));
    StatusBar1->setPanelText(2, QStringLiteral("Brenvoy"));

    auto wire = [this](QPushButton *b, void (TfrmMain::*handler)()) {
        connect(b, &QPushButton::clicked, this,
                [this, handler] { guard(*m_dialogs, [&] { (this->*handler)(); }); });
    };
    wire(btnDial, &TfrmMain::btnDialClick);
    wire(btnDialNext, &TfrmMain::btnDialNextClick);
    wire(btnManualDial, &TfrmMain::btnManualDialClick);
    wire(btnAbort, &TfrmMain::btnAbortClick);
    wire(btnSendEmail, &TfrmMain::btnSendEmailClick);
    wire(btnSendFax, &TfrmMain::btnSendFaxClick);
    wire(btnPlay1, &TfrmMain::btnPlay1Click);
    wire(btnPlay2, &TfrmMain::btnPlay2Click);
    wire(btnStopPlay, &TfrmMain::btnStopPlayClick);
    wire(btnRecord, &TfrmMain::btnRecordClick);
    wire(btnScript, &TfrmMain::btnScriptClick);
    wire(btnExportToOutlook, &TfrmMain::btnExportToOutlookClick);
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == edString && event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        guard(*m_dialogs, [&] { edStringKeyUp(key); });
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------- start and close

void TfrmMain::FormCreate()
{
    guard(*m_dialogs, [this] {
        m_programFolder = withSeparator(m_env->programFolder());
        m_templateFolder = m_programFolder + QStringLiteral("Template/");
        QDir().mkpath(m_templateFolder);
        TapiStatus->setPosition(0, 0);
        m_calls->clearLastDialledNumber();
        DatabaseLocation db = ReadDatabaseSection(iniFile(), m_programFolder);
        db = ResolveDatabaseLocation(db, m_programFolder);
        m_table->setFilePath(db.path);
        m_table->setTableName(db.name);
        WriteDatabaseSection(iniFile(), db);
    });
}

bool TfrmMain::FormShow()
{
    try {
        m_table->Open();
    } catch (const std::exception &e) {
        m_dialogs->showError(QString::fromUtf8(e.what()));
        return false;
    }
    bool ok = true;
    guard(*m_dialogs, [&] {
        ok = false;
        DBGrid1->setCurrentRowSelected(true);
        if (auto *config = qobject_cast<TfrmConfiguration *>(m_registry->frmConfiguration))
            config->LoadSettings();
        applyLoadedSettings();
        CheckOutlook(m_settings.emailHostSelection, m_settings.emailHostApp);
        CheckFaxService(m_settings.faxHostSelection, m_settings.faxHostApp);
        m_hint = std::make_unique<ApplicationHint>([this](const QString &h) { DisplayHint(h); });
        cbFields->clear();
        cbFields->addItems(m_table->FieldNames());
        cbFields->setCurrentIndex(cbFields->count() > 0 ? 0 : -1);

        // Whether anything is due is known from the first due contact; the
        // list itself is filtered only for the view the operator takes.
        m_viewIndex = 4;
        bool anyDue = false;
        {
            m_filterToday = m_env->clock().today();
            const auto forget = qScopeGuard([this] { m_filterToday = QDate(); });
            anyDue = m_table->AnyRecordPasses();
        }
        if (!anyDue) {
            m_viewIndex = 0;
        } else if (m_dialogs->messageBox(
                       QStringLiteral("This is a callback reminder!\r\nYou have some calls, faxes or emails "
                                      "scheduled for today.\r\nDo you wish to view the records?"),
                       QStringLiteral("Callback reminder!"), MsgButtons::YesNo,
                       MsgIcon::Information) != MsgResult::Yes) {
            m_viewIndex = 0;
        }
        // The selector follows without its click filtering; the view is
        // applied once here.
        std::function<void()> click = std::move(rgView->OnClick);
        rgView->OnClick = nullptr;
        rgView->setItemIndex(m_viewIndex);
        rgView->OnClick = std::move(click);
        reapplyFilter();
        ok = true;
    });
    return ok;
}

void TfrmMain::applyLoadedSettings()
{
    // The template window took the template keys with the load; the grid's
    // selection mode follows its cbEditInOutlook whether or not the load
    // changed it.
    if (m_registry->frmTemplate)
        setViewBeforeSend(m_registry->frmTemplate->cbEditInOutlook->isChecked());
}

void TfrmMain::setViewBeforeSend(bool on)
{
    DBGrid1->setMultiSelect(!on);
}

void TfrmMain::FormClose()
{
    if (m_closing)
        return;
    m_closing = true;
    Timer1->stop();
    guard(*m_dialogs, [this] {
        if (auto *config = qobject_cast<TfrmConfiguration *>(m_registry->frmConfiguration))
            config->SaveSettings(); // it gathers the template window's values itself
    });
    // The Outlook and fax objects are released here once they exist.
    m_fax->FreeFaxObjects();
    if (m_registry->frmSimple)
        m_registry->frmSimple->close();
    else if (m_registry->terminate)
        m_registry->terminate();
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    // Quitting closes the visible windows; that is not the operator closing
    // this one, so the settings stay as they are.
    if (!m_registry->programEnding)
        FormClose();
    event->accept();
}

void TfrmMain::Exit1Click()
{
    EndProgram(*m_registry);
}

// ---------------------------------------------------------------- views and search

bool TfrmMain::isDueToday(const QString &field) const
{
    return IsDueToday(m_table->AsDate(field), m_env->clock().today());
}

bool TfrmMain::dsTableFilterRecord(TDbfTable &table)
{
    if (m_viewIndex == ViewAll)
        return true;
    return ContactPassesView(table, m_viewIndex,
                             m_filterToday.isValid() ? m_filterToday : m_env->clock().today());
}

void TfrmMain::reapplyFilter()
{
    // One day for the whole pass (the clock is not read for every record);
    // outside it the callback reads the clock itself.
    m_filterToday = m_env->clock().today();
    const auto forget = qScopeGuard([this] { m_filterToday = QDate(); });
    m_table->setFiltered(false);
    m_table->setFiltered(true);
    m_dataSource->notifyDataSetChanged();
}

void TfrmMain::rgViewClick()
{
    m_viewIndex = rgView->ItemIndex();
    if (m_table->Active())
        reapplyFilter();
}

void TfrmMain::edStringKeyUp(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        DBGrid1->setFocus();
        return;
    }
    if (!m_table->Active())
        return;
    if (edString->text().isEmpty()) {
        m_table->setFiltered(false);
        m_dataSource->notifyDataSetChanged();
        return;
    }
    m_viewIndex = 0;
    m_table->setFiltered(false);
    m_dataSource->notifyDataSetChanged();
    const auto def = m_table->FieldByName(cbFields->currentText());
    if (def && def->type != FieldType::Character)
        throw EDbfError(QStringLiteral("Only text fields can be searched: %1 is not a text field.")
                            .arg(cbFields->currentText()));
    m_table->setFilter(BuildSearchExpression(cbFields->currentText(), edString->text()));
    m_table->setFiltered(true);
    m_dataSource->notifyDataSetChanged();
}

void TfrmMain::cbFieldsChange()
{
    edString->clear();
}

void TfrmMain::DataSourceStateChange()
{
    GroupBox1->setEnabled(m_table->Active() && !m_dataSource->Editing());
}

void TfrmMain::dsTableAfterScroll()
{
    const QColor normal = palette().color(QPalette::Base);
    const bool has = m_table->Active() && m_table->GetBookmark() != 0;
    dbeCallback->setColor(has && isDueToday("CALLBACK") ? kLime : normal);
    dbeFaxback->setColor(has && isDueToday("FAXBACK") ? kLime : normal);
    dbeEmailback->setColor(has && isDueToday("EMAILBACK") ? kLime : normal);
    if (m_registry->trackingClearArchiveLists)
        m_registry->trackingClearArchiveLists();
    m_calls->clearLastDialledNumber();
}

void TfrmMain::DisplayHint(const QString &hint)
{
    StatusBar1->setPanelText(0, ApplicationHint::GetLongHint(hint));
}

void TfrmMain::copySelectionOf(QLineEdit *edit)
{
    if (!edit || !edit->hasSelectedText())
        return;
    QGuiApplication::clipboard()->setText(edit->selectedText());
}

void TfrmMain::Copytoclipboard1Click()
{
    copySelectionOf(m_popupComponent);
}
void TfrmMain::MenuItem1Click()
{
    copySelectionOf(m_popupComponent);
}
void TfrmMain::MenuItem2Click()
{
    copySelectionOf(m_popupComponent);
}
void TfrmMain::MenuItem3Click()
{
    copySelectionOf(m_popupComponent);
}
void TfrmMain::MenuItem4Click()
{
    copySelectionOf(m_popupComponent);
}

// ---------------------------------------------------------------- selected contacts and history

// ---------------------------------------------------------------- commands

SendRecipients TfrmMain::sendRecipients()
{
    SendRecipients r;
    const QList<Bookmark> contacts = SelectedContacts();
    for (Bookmark b : contacts)
        r.contacts << SendContact{
            m_table->DisplayText(b, QStringLiteral("NAME")), m_table->DisplayText(b, QStringLiteral("LAST")),
            m_table->DisplayText(b, QStringLiteral("EMAIL")), m_table->DisplayText(b, QStringLiteral("FAX"))};
    if (DBGrid1->MultiSelect())
        r.makeCurrent = [this, contacts](int i) { m_dataSource->gotoBookmark(contacts[i]); };
    return r;
}

namespace {

// A send moves the current record once per recipient and stamps each one;
// the grids and the other windows follow once, when it is done.
class ControlsHeld {
public:
    ControlsHeld(TDbfTable &table, DataSource &source) : m_table(table), m_source(source)
    {
        m_table.DisableControls();
    }
    ~ControlsHeld() { release(); }
    void release()
    {
        if (!std::exchange(m_held, false))
            return;
        m_table.EnableControls();
        m_source.notifyDataSetChanged();
    }

private:
    TDbfTable &m_table;
    DataSource &m_source;
    bool m_held = true;
};

} // namespace

void TfrmMain::btnSendEmailClick()
{
    m_dataSource->checkBrowseMode();
    ControlsHeld held(*m_table, *m_dataSource);
    SendRecipients recipients = sendRecipients();
    recipients.actedOn = [&held] { held.release(); };
    const EmailSending::Input input{OutlookAvailable, EmailHostProgram,
                                    m_registry->frmTemplate->currentTemplate().email};
    EmailSending({*m_dialogs, m_registry->shell})
        .SendEmail(input, m_outlook->connection(), recipients, [this] { AddEmailHistory(); });
}

void TfrmMain::btnSendFaxClick()
{
    m_dataSource->checkBrowseMode();
    ControlsHeld held(*m_table, *m_dataSource);
    SendRecipients recipients = sendRecipients();
    recipients.actedOn = [&held] { held.release(); };
    TfrmTemplate &t = *m_registry->frmTemplate;
    FaxSending::Input input;
    input.faxServiceAvailable = FaxServiceAvailable;
    input.faxHostProgram = FaxHostProgram();
    input.fax = t.currentTemplate().fax;
    input.editorHasLines =
        m_registry->frmRichEditor && !m_registry->frmRichEditor->Editor->toPlainText().isEmpty();
    input.customCoverPage = t.CustomCoverPage->text();
    input.templateFolder = m_templateFolder;
    input.programFileName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    FaxSending({*m_dialogs, m_registry->shell})
        .SendFax(
            input, *m_fax, [this] { btnSendFax->hide(); }, recipients,
            [this](const QStringList &jobs) { AddFaxHistory(jobs); });
}
void TfrmMain::btnExportToOutlookClick()
{
    m_outlook->ExportCurrentContact(*m_table, DBGrid1->MultiSelect(), DBGrid1->SelectedCount());
}

void TfrmMain::ImportfromContactList1Click()
{
    TfrmOutlookContact::execute(
        OutlookAvailable, *m_env, *m_dialogs,
        [this](const QString &first, const QString &last, const QString &email, const QString &phone,
               const QString &fax) { AddContactIfNew(first, last, email, phone, fax); },
        this);
}

void TfrmMain::CheckOutlook(int hostSelection, const QString &hostProgram)
{
    m_outlook->CheckOutlook(hostSelection, hostProgram);
}
void TfrmMain::ImportfromFilePasteFromClipboard1Click()
{
    TfrmImportWizard::execute(
        *m_table, *m_dialogs, m_env->clock(),
        [this](const QString &first, const QString &last, const QString &email, const QString &phone,
               const QString &fax) { AddContactIfNew(first, last, email, phone, fax); },
        this);
}

void TfrmMain::AddContactIfNew(const QString &firstName, const QString &lastName, const QString &email,
                               const QString &phone, const QString &fax)
{
    ::AddContactIfNew(*m_table, firstName, lastName, email, phone, fax);
}

void TfrmMain::FaxEmailTemplate1Click()
{
    if (m_registry->frmTemplate) {
        m_registry->frmTemplate->show();
        m_registry->frmTemplate->raise();
    }
}

void TfrmMain::Configuration1Click()
{
    if (auto *dlg = qobject_cast<QDialog *>(m_registry->frmConfiguration))
        dlg->exec();
}

void TfrmMain::racking1Click()
{
    if (auto *dlg = qobject_cast<QDialog *>(m_registry->frmTracking))
        dlg->exec();
}

void TfrmMain::OpenOutlookContactFolder1Click()
{
    m_outlook->OpenContactFolder();
}
void TfrmMain::OpenOutlookOutboxFolder1Click()
{
    m_outlook->OpenOutboxFolder();
}

void TfrmMain::btnScriptClick()
{
    if (m_registry->shell)
        OpenCallScript(*m_registry->shell, m_programFolder, m_registry->openRichTextDocument);
}

void TfrmMain::openTool(int tool)
{
    if (m_registry->shell)
        OpenSystemTool(SystemTool(tool), *m_dialogs, *m_registry->shell);
}

void TfrmMain::CheckFaxService(int hostSelection, const QString &hostProgram)
{
    m_fax->CheckFaxService(hostSelection, hostProgram);
    FaxServiceAvailable = m_fax->FaxServiceAvailable;
}

QString TfrmMain::FaxHostProgram() const
{
    return m_fax->FaxHostProgram;
}

bool TfrmMain::PrepareFaxObjects()
{
    return m_fax->PrepareFaxObjects([this] { btnSendFax->hide(); });
}

TFaxServer *TfrmMain::FaxServer() const
{
    return m_fax->FaxServer();
}

TFaxDocument *TfrmMain::FaxDocument() const
{
    return m_fax->FaxDocument();
}

void TfrmMain::OpenFaxConsole1Click()
{
    openTool(int(SystemTool::FaxConsole));
}
void TfrmMain::OpenFaxCoverPageEditor1Click()
{
    openTool(int(SystemTool::FaxCoverPageEditor));
}
void TfrmMain::OpenSoundRecorder1Click()
{
    openTool(int(SystemTool::SoundRecorder));
}
void TfrmMain::OpenVolumeControl1Click()
{
    openTool(int(SystemTool::VolumeControl));
}

void TfrmMain::menuBackupClick()
{
    m_dataSource->checkBrowseMode();
    ::menuBackupClick(*m_table, *m_dialogs);
    m_dataSource->notifyDataSetChanged();
}

void TfrmMain::menuGetDBClick()
{
    m_dataSource->checkBrowseMode();
    try {
        ::menuGetDBClick(*m_table, *m_dialogs, iniFile(), m_programFolder);
    } catch (...) {
        // A table that did not open leaves the window with a closed table.
        m_dataSource->notifyDataSetChanged();
        DataSourceStateChange();
        throw;
    }
    m_dataSource->notifyDataSetChanged();
}

void TfrmMain::About1Click()
{
    if (auto *dlg = qobject_cast<QDialog *>(m_registry->frmAbout))
        dlg->exec();
}
