#pragma once

#include "ui/DataSource.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>

// Data-bound edit, memo and check box. Each shows its field of the current
// record and takes input only while the record is being edited or inserted;
// otherwise typing and clicks are refused. A change is written to the field
// at once, so whatever posts the record (a navigator, code) stores it.

class DBEdit : public QLineEdit, public DataLink {
    Q_OBJECT
public:
    DBEdit(DataSource &source, QString field, QWidget *parent = nullptr);
    ~DBEdit() override;
    QString DataField() const { return m_field; }
    void updateData() override {}

private:
    void readField();
    void onTextEdited(const QString &text);

    DataSource *m_source;
    QString m_field;
    bool m_reading = false;
};

class DBMemo : public QPlainTextEdit, public DataLink {
    Q_OBJECT
public:
    DBMemo(DataSource &source, QString field, QWidget *parent = nullptr);
    ~DBMemo() override;
    QString DataField() const { return m_field; }
    void updateData() override {}

private:
    void readField();
    void onTextChanged();

    DataSource *m_source;
    QString m_field;
    bool m_reading = false;
};

class DBCheckBox : public QCheckBox, public DataLink {
    Q_OBJECT
public:
    DBCheckBox(DataSource &source, QString field, const QString &caption, QWidget *parent = nullptr);
    ~DBCheckBox() override;
    QString DataField() const { return m_field; }
    void updateData() override {}

protected:
    void nextCheckState() override;

private:
    void readField();

    DataSource *m_source;
    QString m_field;
};
