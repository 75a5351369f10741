#pragma once

// The preview grid of the import wizard as a model: 11 columns, a header
// row (the field mapping) and one row per source line. Model row r is the
// grid's row r + 1; the grid's row 0 is the horizontal header.

#include "import/ImportParser.h"

#include <QAbstractTableModel>

#include <vector>

class ImportPreviewModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ImportPreviewModel(QObject *parent = nullptr);

    // Characters of a cell the preview shows; a longer cell ends in "…".
    static constexpr int kPreviewCellLength = 1000;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // In grid terms: rows counted with the header row, which is row 0.
    int gridRowCount() const { return int(m_rows.size()) + 1; }
    QString cell(int column, int gridRow) const;

    QString headerText(int column) const;
    void setHeaderText(int column, const QString &text);
    // Some header cell of columns 0..9 is not blank.
    bool hasMapping() const;

    // Every cell, the header row included, emptied; the row count stays.
    void clearCells();
    // Both set the row count to lines + 1 and fill every data row.
    void splitDelimited(const QStringList &lines, QStringView delimiter, bool stripQuotes,
                        const import::ColumnFlags &include);
    void splitFixed(const QStringList &lines, const import::ColumnWidthList &widths, bool stripQuotes,
                    const import::ColumnFlags &include);

    // Some data cell of columns 0..9 holds text that is not blank.
    bool hasDataText() const { return m_hasDataText; }

private:
    template <typename SplitLine> void split(const QStringList &lines, SplitLine splitLine);
    void setDataRowCount(int rows);

    QStringList m_lines; // the lines the cell spans point into
    std::vector<import::RowSpans> m_rows;
    std::array<QString, import::kGridColumns> m_header;
    bool m_hasDataText = false;
};
