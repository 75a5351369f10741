#include "ui/DBControls.h"

namespace {
bool fieldExists(const DataSource &s, const QString &field)
{
    // A record being inserted has no bookmark yet but its fields are there.
    const TDbfTable &t = s.DataSet();
    return t.Active() && t.FieldByName(field).has_value() &&
           (t.GetBookmark() != 0 || t.State() == DatasetState::Insert);
}
} // namespace

// ---------------------------------------------------------------- DBEdit

DBEdit::DBEdit(DataSource &source, QString field, QWidget *parent)
    : QLineEdit(parent), m_source(&source), m_field(std::move(field))
{
    source.addLink(this);
    connect(&source, &DataSource::recordChanged, this, &DBEdit::readField);
    connect(this, &QLineEdit::textEdited, this, &DBEdit::onTextEdited);
    readField();
}

DBEdit::~DBEdit()
{
    m_source->removeLink(this);
}

void DBEdit::readField()
{
    m_reading = true;
    const bool has = fieldExists(*m_source, m_field);
    const auto def = has ? m_source->DataSet().FieldByName(m_field) : std::nullopt;
    if (def && def->type == FieldType::Character)
        setMaxLength(def->width);
    const QString value = has ? m_source->DataSet().AsString(m_field) : QString();
    if (value != text())
        setText(value);
    setReadOnly(!m_source->Editing() || !has);
    m_reading = false;
}

void DBEdit::onTextEdited(const QString &value)
{
    if (m_reading || !m_source->Editing())
        return;
    m_source->DataSet().SetAsString(m_field, value);
    m_source->fieldModified();
}

// ---------------------------------------------------------------- DBMemo

DBMemo::DBMemo(DataSource &source, QString field, QWidget *parent)
    : QPlainTextEdit(parent), m_source(&source), m_field(std::move(field))
{
    source.addLink(this);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab walks on through the window's controls, as in every other field.
    setTabChangesFocus(true);
    connect(&source, &DataSource::recordChanged, this, &DBMemo::readField);
    connect(this, &QPlainTextEdit::textChanged, this, &DBMemo::onTextChanged);
    readField();
}

DBMemo::~DBMemo()
{
    m_source->removeLink(this);
}

void DBMemo::readField()
{
    m_reading = true;
    const bool has = fieldExists(*m_source, m_field);
    // Memo text is stored with Windows line ends; the editor works in "\n".
    QString value = has ? m_source->DataSet().AsString(m_field) : QString();
    value.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (value != toPlainText())
        setPlainText(value);
    setReadOnly(!m_source->Editing() || !has);
    m_reading = false;
}

void DBMemo::onTextChanged()
{
    if (m_reading || !m_source->Editing())
        return;
    QString value = toPlainText();
    value.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    m_source->DataSet().SetAsString(m_field, value);
    m_source->fieldModified();
}

// ---------------------------------------------------------------- DBCheckBox

DBCheckBox::DBCheckBox(DataSource &source, QString field, const QString &caption, QWidget *parent)
    : QCheckBox(caption, parent), m_source(&source), m_field(std::move(field))
{
    source.addLink(this);
    connect(&source, &DataSource::recordChanged, this, &DBCheckBox::readField);
    readField();
}

DBCheckBox::~DBCheckBox()
{
    m_source->removeLink(this);
}

void DBCheckBox::readField()
{
    const bool has = fieldExists(*m_source, m_field);
    setChecked(has && m_source->DataSet().AsBoolean(m_field));
}

void DBCheckBox::nextCheckState()
{
    // A click outside an edit is refused: the box keeps its state.
    if (!m_source->Editing() || !fieldExists(*m_source, m_field))
        return;
    const bool on = !isChecked();
    m_source->DataSet().SetAsBoolean(m_field, on);
    setChecked(on);
    m_source->fieldModified();
}
