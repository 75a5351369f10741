#include "telephony/TTapiStatus.h"

#include "telephony/TapiDevice.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {
QLabel *label(QWidget *parent, const char *name, const QString &text = QString())
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}
} // namespace

TStandardTapiDisplay::TStandardTapiDisplay(QWidget *parent) : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("TStandardTapiDisplay"));
    lblDialing = label(this, "lblDialing", QStringLiteral("Dialing:"));
    lblNumber = label(this, "lblNumber");
    lblUsing = label(this, "lblUsing", QStringLiteral("Using:"));
    lblDevice = label(this, "lblDevice");
    lblAttempt = label(this, "lblAttempt", QStringLiteral("Attempt:"));
    lblAttemptNo = label(this, "lblAttemptNo");
    lblOf = label(this, "lblOf", QStringLiteral("of"));
    lblMaxAttempts = label(this, "lblMaxAttempts");
    QFont bold = lblNumber->font();
    bold.setBold(true);
    lblNumber->setFont(bold);
    lblDevice->setFont(bold);

    auto *top = new QGridLayout;
    top->addWidget(lblDialing, 0, 0);
    top->addWidget(lblNumber, 0, 1, 1, 4);
    top->addWidget(lblUsing, 1, 0);
    top->addWidget(lblDevice, 1, 1, 1, 4);
    top->addWidget(lblAttempt, 2, 0);
    top->addWidget(lblAttemptNo, 2, 1);
    top->addWidget(lblOf, 2, 2);
    top->addWidget(lblMaxAttempts, 2, 3);
    top->setColumnStretch(4, 1);

    auto *lines = new QFrame(this);
    lines->setObjectName(QStringLiteral("pnlStatus"));
    lines->setFrameShape(QFrame::StyledPanel);
    lines->setFrameShadow(QFrame::Sunken);
    lines->setAutoFillBackground(true);
    QPalette pal = lines->palette();
    pal.setColor(QPalette::Window, Qt::white);
    lines->setPalette(pal);
    auto *linesLayout = new QVBoxLayout(lines);
    linesLayout->setSpacing(1);
    linesLayout->setContentsMargins(4, 3, 4, 3);
    for (int i = 0; i < int(lblStatus.size()); ++i) {
        lblStatus[size_t(i)] = new QLabel(lines);
        lblStatus[size_t(i)]->setObjectName(QStringLiteral("lblStatus%1").arg(i + 1));
        lblStatus[size_t(i)]->setMinimumWidth(260);
        linesLayout->addWidget(lblStatus[size_t(i)]);
    }

    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnCancel);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lines);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}

TTapiStatus::TTapiStatus(QObject *parent) : TAbstractTapiStatus(parent), m_display(new TStandardTapiDisplay)
{
    setObjectName(QStringLiteral("TapiStatus"));
    m_display->setWindowTitle(m_caption);
    QObject::connect(m_display->btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

TTapiStatus::~TTapiStatus()
{
    delete m_display;
}

void TTapiStatus::setCaption(const QString &caption)
{
    m_caption = caption;
    m_display->setWindowTitle(caption);
}

void TTapiStatus::setPosition(int left, int top)
{
    m_display->move(left, top);
}

bool TTapiStatus::isShowing() const
{
    return m_display->isVisible();
}

void TTapiStatus::btnCancelClick()
{
    if (TapiDevice())
        TapiDevice()->guarded([this] { TapiDevice()->DropCall(); });
}

QString TTapiStatus::disconnectReason(DWORD mode)
{
    switch (mode) {
    case LINEDISCONNECTMODE_NORMAL:
        return QStringLiteral("Normal Hangup by Remote");
    case LINEDISCONNECTMODE_UNKNOWN:
        return QStringLiteral("Reason Unknown");
    case LINEDISCONNECTMODE_REJECT:
        return QStringLiteral("Remote Rejected Call");
    case LINEDISCONNECTMODE_PICKUP:
        return QStringLiteral("Call Picked Up Elsewhere");
    case LINEDISCONNECTMODE_FORWARDED:
        return QStringLiteral("Call was Forwarded");
    case LINEDISCONNECTMODE_BUSY:
        return QStringLiteral("Line was Busy");
    case LINEDISCONNECTMODE_NOANSWER:
        return QStringLiteral("No Answer by Remote");
    case LINEDISCONNECTMODE_BADADDRESS:
        return QStringLiteral("Invalid Destination Address");
    case LINEDISCONNECTMODE_UNREACHABLE:
        return QStringLiteral("Remote Unreachable");
    case LINEDISCONNECTMODE_CONGESTION:
        return QStringLiteral("Network Congestion");
    case LINEDISCONNECTMODE_INCOMPATIBLE:
        return QStringLiteral("Remote Equipment Incompatible");
    case LINEDISCONNECTMODE_UNAVAIL:
        return QStringLiteral("Reason Unavailable");
    case LINEDISCONNECTMODE_NODIALTONE:
        return QStringLiteral("No Dialtone");
    case LINEDISCONNECTMODE_NUMBERCHANGED:
        return QStringLiteral("Number Changed");
    case LINEDISCONNECTMODE_OUTOFORDER:
        return QStringLiteral("Out of Order");
    case LINEDISCONNECTMODE_TEMPFAILURE:
        return QStringLiteral("Temporary Failure");
    case LINEDISCONNECTMODE_QOSUNAVAIL:
        return QStringLiteral("Quality of Service Unavail");
    case LINEDISCONNECTMODE_BLOCKED:
        return QStringLiteral("Blocked");
    case LINEDISCONNECTMODE_DONOTDISTURB:
        return QStringLiteral("Do Not Disturb");
    case LINEDISCONNECTMODE_CANCELLED:
        return QStringLiteral("Cancelled");
    default:
        return QStringLiteral("Reason Unknown");
    }
}

QString TTapiStatus::callStateText(DWORD state, DWORD mode)
{
    switch (state) {
    case LINECALLSTATE_IDLE:
        return QStringLiteral("Line is idle");
    case LINECALLSTATE_OFFERING:
        return QStringLiteral("Offering line...");
    case LINECALLSTATE_ACCEPTED:
        return QStringLiteral("Accepting call...");
    case LINECALLSTATE_DIALTONE:
        return QStringLiteral("Dialtone detected");
    case LINECALLSTATE_DIALING:
        return QStringLiteral("Dialing...");
    case LINECALLSTATE_RINGBACK:
        return QStringLiteral("Ringback detected");
    case LINECALLSTATE_BUSY:
        return QStringLiteral("Called number is busy");
    case LINECALLSTATE_SPECIALINFO:
        return QStringLiteral("Special info");
    case LINECALLSTATE_CONNECTED:
        return QStringLiteral("Connected!");
    case LINECALLSTATE_PROCEEDING:
        return QStringLiteral("Proceeding...");
    case LINECALLSTATE_ONHOLD:
        return QStringLiteral("On hold...");
    case LINECALLSTATE_CONFERENCED:
        return QStringLiteral("Call conferenced");
    case LINECALLSTATE_ONHOLDPENDCONF:
        return QStringLiteral("On hold pending conference...");
    case LINECALLSTATE_ONHOLDPENDTRANSFER:
        return QStringLiteral("On hold pending transfer...");
    case LINECALLSTATE_DISCONNECTED:
        return QStringLiteral("Call disconnected (%1)").arg(disconnectReason(mode));
    default:
        return QStringLiteral("Unknown state");
    }
}

void TTapiStatus::updateLabels()
{
    m_display->lblDialing->setText(Answering() ? QStringLiteral("Answering -") : QStringLiteral("Dialing:"));
    if (TCustomTapiDevice *d = TapiDevice()) {
        m_display->lblNumber->setText(d->DialedNumber());
        m_display->lblDevice->setText(d->SelectedDevice());
        m_display->lblAttemptNo->setText(QString::number(d->Attempt()));
        m_display->lblMaxAttempts->setText(QString::number(d->MaxAttempts()));
    }
}

void TTapiStatus::refreshLines()
{
    for (int i = 0; i < kLines; ++i)
        m_display->lblStatus[size_t(i)]->setText(m_lines.value(i));
}

void TTapiStatus::show()
{
    updateLabels();
    if (!m_display->isVisible())
        m_display->show();
}

void TTapiStatus::doStatus(bool First, bool Last, DWORD, DWORD Message, DWORD Param1, DWORD Param2, DWORD)
{
    const DWORD previous = m_previousParam1;
    m_previousParam1 = Param1;
    if (First) {
        m_lines.clear();
        refreshLines();
        show();
        return;
    }
    if (Last) {
        m_display->hide();
        return;
    }
    QString text;
    if (Message == LINE_CALLSTATE)
        text = callStateText(Param1, Param2);
    else if (Message == TCustomTapiDevice::kRedialWaitMessage &&
             Param1 == TCustomTapiDevice::kRedialWaitParam)
        text = QStringLiteral("Waiting for retry in %1 seconds").arg(Param2);
    else
        return; // line, media and tone notices have no status line
    auto replaceable = [](DWORD p) { return p == LINECALLSTATE_PROCEEDING || p == 8; };
    if (replaceable(Param1) && replaceable(previous) && !m_lines.isEmpty())
        m_lines.last() = text;
    else
        m_lines.push_back(text);
    while (m_lines.size() > kLines)
        m_lines.pop_front();
    refreshLines();
    show();
}
