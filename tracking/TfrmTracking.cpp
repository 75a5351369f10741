#include "tracking/TfrmTracking.h"

#include "tracking/MapiSentItems.h"

#include "contacts/DbfTable.h"
#include "platform/environment/Environment.h"
#include "ui/DBControls.h"
#include "ui/DBDateTimePicker.h"
#include "ui/DBGrid.h"
#include "ui/DataSource.h"
#include "ui/Dialogs.h"
#include "ui/ErrorGuard.h"

#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

namespace {
constexpr int kClientWidth = 600;
constexpr int kClientHeight = 560;
constexpr int kGridHeight = 160;
constexpr int kPagesHeight = 176;
constexpr int kSlotLeft = 8;
constexpr int kSlotWidth = 112;
constexpr int kSlotStep = 116;

QLabel *label(const QString &text, QWidget *parent, int x, int y, int w = 200)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(x, y, w, 16);
    return l;
}
} // namespace

TfrmTracking::TfrmTracking(TrackingServices services, QWidget *parent)
    : QDialog(parent), m_services(std::move(services))
{
    setObjectName(QStringLiteral("frmTracking"));
    setWindowTitle(QStringLiteral("Tracking"));
    Dialogs &dialogs = *m_services.dialogs;
    Environment &env = *m_services.environment;
    std::unique_ptr<SentItemsSource> sentItems = std::move(m_services.sentItems);
    if (!sentItems)
        sentItems = std::make_unique<MapiSentItems>(env);
    m_email = std::make_unique<EmailArchiveList>(env, dialogs, std::move(sentItems));
    m_fax = std::make_unique<FaxArchiveList>(env, dialogs, m_services.shell, m_services.templateFolder);
    m_voice = std::make_unique<VoiceReplay>(dialogs);
    buildLayout();
    m_email->changed = [this] { showList(cbEmailArchive, *m_email); };
    m_fax->changed = [this] { showList(cbFaxArchive, *m_fax); };
    showList(cbEmailArchive, *m_email);
    showList(cbFaxArchive, *m_fax);
}

TfrmTracking::~TfrmTracking() = default;

void TfrmTracking::buildLayout()
{
    DataSource &source = *m_services.dataSource;
    Dialogs &dialogs = *m_services.dialogs;

    DBGrid = new ::DBGrid(
        source, dialogs,
        {{"NAME", {}, 86}, {"LAST", {}, 84}, {"PHONE", {}, 86}, {"FAX", {}, 84}, {"EMAIL", {}, 131}}, this);
    DBGrid->setObjectName(QStringLiteral("DBGrid"));
    DBGrid->setMultiSelect(false);
    DBGrid->setConfirmDelete(true);
    DBGrid->horizontalHeader()->setSectionsMovable(false);
    DBGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    DBGrid->setGeometry(0, 0, kClientWidth, kGridHeight);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, kGridHeight + 4, kClientWidth, kPagesHeight);

    tsCALL = buildHistoryPage(QStringLiteral("CALL"), "tsCALL", QStringLiteral("Time of Calls :"),
                              QStringLiteral("TM_CALL"), 1);
    label(QStringLiteral("Duration of Call ( second ) :"), tsCALL, kSlotLeft, 64);
    for (int i = 0; i < 5; ++i) {
        auto *e = new ::DBEdit(source, QStringLiteral("DUR_CALL%1").arg(i + 1), tsCALL);
        e->setObjectName(QStringLiteral("DBEdit%1").arg(6 + i));
        e->setGeometry(kSlotLeft + i * kSlotStep, 82, kSlotWidth, 21);
        DBEdit[6 + i] = e;
    }

    tsEMAIL = buildHistoryPage(QStringLiteral("EMAIL"), "tsEMAIL", QStringLiteral("Sending Time :"),
                               QStringLiteral("TM_EMAIL"), 11);
    cbEmailArchive =
        addArchiveControls(tsEMAIL, "cbEmailArchive", "btnRefreshEmailArchive", btnRefreshEmailArchive);
    tsFAX = buildHistoryPage(QStringLiteral("FAX"), "tsFAX", QStringLiteral("Sending Time :"),
                             QStringLiteral("TM_FAX"), 21);
    cbFaxArchive = addArchiveControls(tsFAX, "cbFaxArchive", "btnRefreshFaxArchive", btnRefreshFaxArchive);

    tsWAVE = buildHistoryPage(QStringLiteral("WAVE"), "tsWAVE", QStringLiteral("Playing Time :"),
                              QStringLiteral("TM_WAVE"), 31);
    for (int n = 1; n <= 5; ++n) {
        auto *b = new QPushButton(QStringLiteral("Play"), tsWAVE);
        b->setObjectName(QStringLiteral("btnPlayWave%1").arg(n));
        b->setGeometry(kSlotLeft + (n - 1) * kSlotStep, 56, kSlotWidth, 25);
        connect(b, &QPushButton::clicked, this, [this, n] { handle([this, n] { btnPlayWaveClick(n); }); });
        btnPlayWave[n] = b;
    }

    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this] { handle([this] { PageControl1Change(); }); });
    connect(btnRefreshEmailArchive, &QPushButton::clicked, this,
            [this] { handle([this] { btnRefreshEmailArchiveClick(); }); });
    connect(btnRefreshFaxArchive, &QPushButton::clicked, this,
            [this] { handle([this] { btnRefreshFaxArchiveClick(); }); });
    // Only a choice the operator makes opens an entry.
    connect(cbEmailArchive, &QComboBox::activated, this,
            [this] { handle([this] { cbEmailArchiveChange(); }); });
    connect(cbFaxArchive, &QComboBox::activated, this, [this] { handle([this] { cbFaxArchiveChange(); }); });

    // Below the pages: follow-up dates, CONTACTED, PERMISSION and NOTES.
    Clock &clock = m_services.environment->clock();
    int top = kGridHeight + 4 + kPagesHeight + 8;
    const struct {
        const char *field;
        TDBDateTimePicker *TfrmTracking::*member;
        const char *name;
    } dates[] = {{"CALLBACK", &TfrmTracking::dbeCallback, "dbeCallback"},
                 {"EMAILBACK", &TfrmTracking::dbeEmailback, "dbeEmailback"},
                 {"FAXBACK", &TfrmTracking::dbeFaxback, "dbeFaxback"}};
    int x = kSlotLeft;
    for (const auto &d : dates) {
        label(QString::fromLatin1(d.field), this, x, top, 120);
        auto *p = new TDBDateTimePicker(source, QString::fromLatin1(d.field), clock, this);
        p->setObjectName(QString::fromLatin1(d.name));
        p->setGeometry(x, top + 18, 120, 21);
        this->*d.member = p;
        x += 130;
    }
    top += 48;
    label(QStringLiteral("CONTACTED :"), this, kSlotLeft, top + 3, 80);
    DBEdit[16] = new ::DBEdit(source, QStringLiteral("CONTACTED"), this);
    DBEdit[16]->setObjectName(QStringLiteral("DBEdit16"));
    DBEdit[16]->setGeometry(90, top, 160, 21);
    DBCheckBox1 = new DBCheckBox(source, QStringLiteral("PERMISSION"), QStringLiteral("PERMISSION"), this);
    DBCheckBox1->setObjectName(QStringLiteral("DBCheckBox1"));
    DBCheckBox1->setGeometry(270, top, 120, 21);
    top += 28;
    label(QStringLiteral("NOTES"), this, kSlotLeft, top);
    DBMemo1 = new DBMemo(source, QStringLiteral("NOTES"), this);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DBMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DBMemo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    DBMemo1->setGeometry(kSlotLeft, top + 18, kClientWidth - 2 * kSlotLeft, kClientHeight - top - 18 - 8);
    setFixedSize(kClientWidth, kClientHeight);
}

QWidget *TfrmTracking::buildHistoryPage(const QString &caption, const char *name, const QString &timeLabel,
                                        const QString &field, int firstEdit)
{
    auto *page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    PageControl1->addTab(page, caption);
    label(timeLabel, page, kSlotLeft, 8);
    for (int i = 0; i < 5; ++i) {
        auto *e = new ::DBEdit(*m_services.dataSource, field + QString::number(i + 1), page);
        e->setObjectName(QStringLiteral("DBEdit%1").arg(firstEdit + i));
        e->setGeometry(kSlotLeft + i * kSlotStep, 26, kSlotWidth, 21);
        DBEdit[firstEdit + i] = e;
    }
    return page;
}

QComboBox *TfrmTracking::addArchiveControls(QWidget *page, const char *listName, const char *buttonName,
                                            QPushButton *&button)
{
    label(QStringLiteral("Archived Item(s) :"), page, kSlotLeft, 64);
    auto *box = new QComboBox(page);
    box->setObjectName(QString::fromLatin1(listName));
    box->setGeometry(kSlotLeft, 82, 296, 23);
    box->setMaxVisibleItems(16);
    button = new QPushButton(QStringLiteral("Refresh List"), page);
    button->setObjectName(QString::fromLatin1(buttonName));
    button->setGeometry(kSlotLeft + 308, 81, 100, 25);
    return box;
}

void TfrmTracking::showList(QComboBox *box, const ArchiveList &list)
{
    const QSignalBlocker block(box);
    box->clear();
    box->addItems(list.entries());
    // The list's text shows while no entry is chosen.
    box->setPlaceholderText(list.text());
    box->setCurrentIndex(-1);
}

QString TfrmTracking::currentField(const QString &field) const
{
    TDbfTable &table = m_services.dataSource->DataSet();
    if (!table.Active() || table.GetBookmark() == 0)
        return {};
    return table.AsString(field);
}

void TfrmTracking::handle(const std::function<void()> &handler)
{
    guard(*m_services.dialogs, handler);
}

void TfrmTracking::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    handle([this] { FormShow(); });
    // Activation follows showing; a display without a window manager may
    // never report it.
    handle([this] { FormActivate(); });
}

void TfrmTracking::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        handle([this] { FormActivate(); });
}

void TfrmTracking::done(int result)
{
    handle([this] { FormClose(); });
    QDialog::done(result);
}

void TfrmTracking::FormShow()
{
    if (m_services.resetView)
        m_services.resetView();
}

void TfrmTracking::FormActivate()
{
    // What is disabled here stays disabled for the run.
    if (m_services.outlookAvailable && !m_services.outlookAvailable()) {
        btnRefreshEmailArchive->setEnabled(false);
        cbEmailArchive->setEnabled(false);
    }
    if (m_services.faxServiceAvailable && !m_services.faxServiceAvailable()) {
        btnRefreshFaxArchive->setEnabled(false);
        cbFaxArchive->setEnabled(false);
    }
}

void TfrmTracking::FormClose()
{
    m_voice->Stop();
}

void TfrmTracking::PageControl1Change()
{
    m_voice->Stop();
}

void TfrmTracking::btnRefreshEmailArchiveClick()
{
    try {
        m_email->Refresh(currentField(QStringLiteral("EMAIL")));
    } catch (...) {
        showList(cbEmailArchive, *m_email); // the entries found before the failure
        throw;
    }
}

void TfrmTracking::cbEmailArchiveChange()
{
    const int index = cbEmailArchive->currentIndex();
    if (index >= 0)
        m_email->Show(index);
}

void TfrmTracking::btnRefreshFaxArchiveClick()
{
    try {
        m_fax->Refresh(currentField(QStringLiteral("FAX")));
    } catch (...) {
        showList(cbFaxArchive, *m_fax);
        throw;
    }
}

void TfrmTracking::cbFaxArchiveChange()
{
    const int index = cbFaxArchive->currentIndex();
    if (index >= 0)
        m_fax->Open(index);
}

void TfrmTracking::btnPlayWaveClick(int slot)
{
    m_voice->Play(currentField(QStringLiteral("DT_WAVE%1").arg(slot)));
}

void TfrmTracking::ClearArchiveLists()
{
    m_email->Clear();
    m_fax->Clear();
    m_voice->Stop();
}
