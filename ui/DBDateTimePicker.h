#pragma once

#include "platform/environment/Clock.h"
#include "ui/DataSource.h"

#include <QColor>
#include <QDate>
#include <QWidget>

class QLineEdit;
class QToolButton;
class QCalendarWidget;

// A drop-down date picker bound to a date field. It shows the field's date
// in the short date format, or nothing when the field is empty (holding
// today for its calendar). A picked date is written to the field when the
// picker loses the focus (or when the record is posted), which stores it
// only while the record is being edited or inserted.
class TDBDateTimePicker : public QWidget, public DataLink {
    Q_OBJECT
public:
    TDBDateTimePicker(DataSource &source, QString field, Clock &clock, QWidget *parent = nullptr);
    ~TDBDateTimePicker() override;

    QString DataField() const { return m_field; }
    QDate Date() const { return m_date; }
    bool Blank() const { return m_blank; }
    bool Modified() const { return m_modified; }
    QString text() const; // what the picker shows

    QColor Color() const { return m_color; }
    void setColor(const QColor &c);

    // The operator picks a date (from the calendar or the keyboard).
    void pickDate(const QDate &date);
    void showCalendar();

    void updateData() override;

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void dataChange();
    void showValue();
    bool fieldUsable() const;

    DataSource *m_source;
    QString m_field;
    Clock *m_clock;
    QLineEdit *m_display;
    QToolButton *m_button;
    QWidget *m_popup = nullptr;
    QCalendarWidget *m_calendar = nullptr;
    QDate m_date;
    bool m_blank = true;
    bool m_modified = false;
    QColor m_color;
};
