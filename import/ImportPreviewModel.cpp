#include "import/ImportPreviewModel.h"

#include "contacts/ContactLocate.h"

using namespace import;

ImportPreviewModel::ImportPreviewModel(QObject *parent) : QAbstractTableModel(parent) {}

int ImportPreviewModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ImportPreviewModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kGridColumns;
}

QString ImportPreviewModel::cell(int column, int gridRow) const
{
    if (column < 0 || column >= kGridColumns || gridRow < 0 || gridRow >= gridRowCount())
        return {};
    if (gridRow == 0)
        return m_header[column];
    if (column >= kColumns)
        return {};
    const CellSpan span = m_rows[gridRow - 1][column];
    if (span.empty() || gridRow - 1 >= m_lines.size())
        return {};
    return span.in(m_lines[gridRow - 1]).toString();
}

QVariant ImportPreviewModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::DisplayRole)
        return {};
    // The view lays out all the text it is given: a cell of a line megabytes
    // long froze it for minutes and crashed it at a few hundred. It shows a
    // prefix; the import reads the whole cell through cell().
    const int r = index.row();
    const int c = index.column();
    if (c >= kColumns || r >= int(m_rows.size()) || r >= m_lines.size())
        return QString();
    const QStringView text = m_rows[r][c].in(m_lines[r]);
    if (text.size() <= kPreviewCellLength)
        return text.toString();
    return text.left(kPreviewCellLength).toString() + QChar(0x2026);
}

QVariant ImportPreviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < kGridColumns ? QVariant(m_header[section]) : QVariant();
    // Row numbers as the grid counts them: the first data row is row 1.
    return section + 1;
}

QString ImportPreviewModel::headerText(int column) const
{
    return column >= 0 && column < kGridColumns ? m_header[column] : QString();
}

void ImportPreviewModel::setHeaderText(int column, const QString &text)
{
    if (column < 0 || column >= kGridColumns || m_header[column] == text)
        return;
    m_header[column] = text;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

bool ImportPreviewModel::hasMapping() const
{
    for (int c = 0; c < kColumns; ++c)
        if (!TrimBlanks(m_header[c]).isEmpty())
            return true;
    return false;
}

void ImportPreviewModel::clearCells()
{
    for (QString &h : m_header)
        h.clear();
    for (RowSpans &row : m_rows)
        row = RowSpans{};
    m_hasDataText = false;
    emit headerDataChanged(Qt::Horizontal, 0, kGridColumns - 1);
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, kGridColumns - 1), {Qt::DisplayRole});
}

void ImportPreviewModel::setDataRowCount(int rows)
{
    const int old = rowCount();
    if (rows > old) {
        beginInsertRows({}, old, rows - 1);
        m_rows.resize(rows);
        endInsertRows();
    } else if (rows < old) {
        beginRemoveRows({}, rows, old - 1);
        m_rows.resize(rows);
        endRemoveRows();
    }
}

template <typename SplitLine> void ImportPreviewModel::split(const QStringList &lines, SplitLine splitLine)
{
    setDataRowCount(int(lines.size()));
    m_lines = lines;
    m_hasDataText = false;
    if (lines.isEmpty())
        return;
    for (qsizetype r = 0; r < lines.size(); ++r) {
        const QString &line = lines[r];
        m_rows[r] = splitLine(line);
        if (!m_hasDataText) {
            for (const CellSpan &s : m_rows[r])
                if (!s.empty() && !TrimBlanks(s.in(line)).isEmpty()) {
                    m_hasDataText = true;
                    break;
                }
        }
    }
    emit dataChanged(index(0, 0), index(rowCount() - 1, kColumns - 1), {Qt::DisplayRole});
}

void ImportPreviewModel::splitDelimited(const QStringList &lines, QStringView delimiter, bool stripQuotes,
                                        const ColumnFlags &include)
{
    split(lines, [&](QStringView line) { return splitDelimitedLine(line, delimiter, stripQuotes, include); });
}

void ImportPreviewModel::splitFixed(const QStringList &lines, const ColumnWidthList &widths, bool stripQuotes,
                                    const ColumnFlags &include)
{
    split(lines, [&](QStringView line) { return splitFixedLine(line, widths, stripQuotes, include); });
}
