#include "ui/DBDateTimePicker.h"

#include "platform/profile/IniFile.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

TDBDateTimePicker::TDBDateTimePicker(DataSource &source, QString field, Clock &clock, QWidget *parent)
    : QWidget(parent), m_source(&source), m_field(std::move(field)), m_clock(&clock),
      m_display(new QLineEdit(this)), m_button(new QToolButton(this))
{
    setFocusPolicy(Qt::StrongFocus);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    m_display->setReadOnly(true);
    m_display->setFocusProxy(this);
    m_display->setContextMenuPolicy(Qt::NoContextMenu);
    m_display->installEventFilter(this);
    m_button->setArrowType(Qt::DownArrow);
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setObjectName(QStringLiteral("dropDown"));
    row->addWidget(m_display, 1);
    row->addWidget(m_button);
    m_color = palette().color(QPalette::Base);
    connect(m_button, &QToolButton::clicked, this, &TDBDateTimePicker::showCalendar);
    source.addLink(this);
    connect(&source, &DataSource::recordChanged, this, &TDBDateTimePicker::dataChange);
    dataChange();
}

TDBDateTimePicker::~TDBDateTimePicker()
{
    m_source->removeLink(this);
}

QString TDBDateTimePicker::text() const
{
    return m_display->text();
}

void TDBDateTimePicker::setColor(const QColor &c)
{
    m_color = c;
    QPalette p = m_display->palette();
    p.setColor(QPalette::Base, c);
    m_display->setPalette(p);
    m_display->setAutoFillBackground(true);
}

bool TDBDateTimePicker::fieldUsable() const
{
    const TDbfTable &t = m_source->DataSet();
    return t.Active() && (t.GetBookmark() != 0 || t.State() == DatasetState::Insert) &&
           t.FieldByName(m_field).has_value();
}

void TDBDateTimePicker::dataChange()
{
    const bool usable = fieldUsable();
    const bool browse = m_source->State() == DatasetState::Browse;
    const bool focusedEditable = hasFocus() && m_source->Editing();
    // A date the operator picked and has not stored yet is kept; otherwise
    // the picker shows what the record holds.
    if (browse || focusedEditable || !m_modified || !usable) {
        const std::optional<QDate> d = usable ? m_source->DataSet().AsDate(m_field) : std::nullopt;
        m_modified = false;
        m_blank = !d.has_value();
        m_date = d.value_or(m_clock->now().date());
    }
    showValue();
}

void TDBDateTimePicker::showValue()
{
    m_display->setText(m_blank ? QString() : QLocale().toString(m_date, IniFile::shortDateFormat()));
}

void TDBDateTimePicker::pickDate(const QDate &date)
{
    if (!date.isValid())
        return;
    m_date = date;
    m_blank = false;
    m_modified = true;
    showValue();
}

void TDBDateTimePicker::updateData()
{
    if (!m_modified)
        return;
    m_modified = false;
    if (m_source->Editing() && fieldUsable()) {
        m_source->DataSet().SetAsDate(m_field, m_date);
        m_source->fieldModified();
    } else {
        // Not being edited: the pick is not stored, and the picker shows the
        // record's date again rather than a value the table does not hold.
        dataChange();
    }
}

void TDBDateTimePicker::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    if (m_popup && m_popup->isVisible())
        return; // the calendar took the focus; the pick comes back to us
    updateData();
}

void TDBDateTimePicker::showCalendar()
{
    if (!m_popup) {
        m_popup = new QWidget(this, Qt::Popup);
        m_popup->setObjectName(QStringLiteral("calendarPopup"));
        auto *l = new QVBoxLayout(m_popup);
        l->setContentsMargins(1, 1, 1, 1);
        m_calendar = new QCalendarWidget(m_popup);
        m_calendar->setObjectName(QStringLiteral("calendar"));
        m_calendar->setGridVisible(true);
        l->addWidget(m_calendar);
        connect(m_calendar, &QCalendarWidget::clicked, this, [this](QDate d) {
            m_popup->hide();
            setFocus(Qt::PopupFocusReason);
            pickDate(d);
        });
        connect(m_calendar, &QCalendarWidget::activated, this, [this](QDate d) {
            m_popup->hide();
            setFocus(Qt::PopupFocusReason);
            pickDate(d);
        });
    }
    setFocus(Qt::PopupFocusReason);
    m_calendar->setSelectedDate(m_date);
    m_calendar->setCurrentPage(m_date.year(), m_date.month());
    m_popup->adjustSize();
    QPoint pos = mapToGlobal(QPoint(0, height()));
    if (const QScreen *s = screen()) {
        const QRect avail = s->availableGeometry();
        if (pos.y() + m_popup->height() > avail.bottom())
            pos.setY(mapToGlobal(QPoint(0, 0)).y() - m_popup->height());
        pos.setX(std::min(pos.x(), avail.right() - m_popup->width()));
    }
    m_popup->move(pos);
    m_popup->show();
    m_calendar->setFocus();
}

bool TDBDateTimePicker::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_display && event->type() == QEvent::MouseButtonPress) {
        setFocus(Qt::MouseFocusReason);
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

void TDBDateTimePicker::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F4 ||
        (event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier))) {
        showCalendar();
        return;
    }
    QWidget::keyPressEvent(event);
}
