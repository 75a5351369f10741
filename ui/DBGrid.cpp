#include "ui/DBGrid.h"

#include "ui/Dialogs.h"
#include "ui/ErrorGuard.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

// ---------------------------------------------------------------- model

DBGridModel::DBGridModel(DataSource &source, QList<DBGridColumn> columns, QObject *parent)
    : QAbstractTableModel(parent), m_source(&source), m_columns(std::move(columns))
{
    readFields();
    m_signature = signature();
    // A few repaints a second while a large table's list is completed.
    m_loadTimer.setInterval(250);
    connect(&m_loadTimer, &QTimer::timeout, this, [this] { grow(); });
    followLoading();
}

void DBGridModel::followLoading()
{
    if (m_signature.active && m_source->DataSet().Loading())
        m_loadTimer.start();
    else
        m_loadTimer.stop();
}

bool DBGridModel::onlyGrew(const Signature &now) const
{
    Signature grown = m_signature;
    grown.count = now.count;
    grown.last = now.last;
    return now.count > m_signature.count && now == grown &&
           (m_signature.count == 0 ||
            m_source->DataSet().VisibleAt(m_signature.count - 1) == m_signature.last);
}

void DBGridModel::grow()
{
    const Signature now = signature();
    if (!onlyGrew(now)) {
        if (!(now == m_signature))
            refresh();
        followLoading();
        return;
    }
    // Only more rows at the end: the rows listed stay as they are.
    beginInsertRows({}, rowCount(), int(std::min<qint64>(now.count, std::numeric_limits<int>::max())) - 1);
    m_signature = now;
    endInsertRows();
    followLoading();
}

void DBGridModel::readFields()
{
    m_hasField.clear();
    const TDbfTable &t = m_source->DataSet();
    for (const DBGridColumn &c : m_columns)
        m_hasField << (t.Active() && !c.FieldName.isEmpty() && t.FieldByName(c.FieldName).has_value());
}

DBGridModel::Signature DBGridModel::signature() const
{
    const TDbfTable &t = m_source->DataSet();
    Signature s;
    s.active = t.Active();
    if (!s.active)
        return s;
    s.count = t.LoadedCount(); // all of them once the pass after open is done
    s.filtered = t.Filtered();
    s.filter = t.Filter();
    if (s.count > 0) {
        s.first = t.VisibleAt(0);
        s.last = t.VisibleAt(s.count - 1);
    }
    return s;
}

void DBGridModel::refresh()
{
    const Signature now = signature();
    if (onlyGrew(now)) {
        grow();
    } else if (!(now == m_signature)) {
        beginResetModel();
        m_signature = now;
        readFields();
        endResetModel();
        followLoading();
        return;
    }
    if (rowCount() > 0) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
    }
}

int DBGridModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_signature.active)
        return 0;
    return int(std::min<qint64>(m_signature.count, std::numeric_limits<int>::max()));
}

int DBGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

Bookmark DBGridModel::bookmarkAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return 0;
    return m_source->DataSet().VisibleAt(row);
}

int DBGridModel::rowOf(Bookmark b) const
{
    if (!m_signature.active || b == 0)
        return -1;
    return int(m_source->DataSet().VisibleIndexOf(b));
}

int DBGridModel::currentRow() const
{
    if (!m_signature.active)
        return -1;
    return rowOf(m_source->DataSet().GetBookmark());
}

QVariant DBGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole) {
        if (!m_hasField.value(index.column()))
            return QString();
        return m_source->DataSet().DisplayText(bookmarkAt(index.row()), m_columns[index.column()].FieldName);
    }
    return {};
}

QVariant DBGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= m_columns.size())
            return {};
        const DBGridColumn &c = m_columns[section];
        return c.Title.isEmpty() ? c.FieldName : c.Title;
    }
    // The row indicator: the current record, and whether it is being changed.
    if (section != currentRow())
        return QString();
    switch (m_source->State()) {
    case DatasetState::Edit:
        return QStringLiteral("I");
    case DatasetState::Insert:
        return QStringLiteral("*");
    default:
        return QStringLiteral("\u25B6");
    }
}

Qt::ItemFlags DBGridModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

// ---------------------------------------------------------------- painting

namespace {
class GridDelegate final : public QStyledItemDelegate {
public:
    explicit GridDelegate(DBGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        const Bookmark b = m_grid->gridModel()->bookmarkAt(index.row());
        const bool current = index.row() == m_grid->gridModel()->currentRow();
        const QPalette &pal = m_grid->palette();
        QColor background;
        QColor text = pal.color(QPalette::Text);
        if (m_grid->isRowSelected(b)) {
            background = pal.color(QPalette::Highlight);
            text = pal.color(QPalette::HighlightedText);
        } else if (current) {
            // The current record without a selection mark: a lighter band.
            QColor h = pal.color(QPalette::Highlight);
            QColor base = pal.color(QPalette::Base);
            background = QColor((h.red() + 2 * base.red()) / 3, (h.green() + 2 * base.green()) / 3,
                                (h.blue() + 2 * base.blue()) / 3);
        }
        if (auto custom = m_grid->cellBackground(index.row(), index.column())) {
            background = *custom;
            text = Qt::black;
        }
        if (background.isValid())
            painter->fillRect(opt.rect, background);
        opt.palette.setColor(QPalette::Text, text);
        opt.backgroundBrush = Qt::NoBrush;
        QStyledItemDelegate::paint(painter, opt, index);
        if (current && m_grid->hasFocus()) {
            painter->save();
            painter->setPen(QPen(pal.color(QPalette::WindowText), 1, Qt::DotLine));
            painter->drawLine(opt.rect.topLeft(), opt.rect.topRight());
            painter->drawLine(opt.rect.bottomLeft(), opt.rect.bottomRight());
            painter->restore();
        }
    }

private:
    DBGrid *m_grid;
};
} // namespace

// ---------------------------------------------------------------- grid

namespace {

// The row indicator column: a fixed width, so that a change of the rows
// never measures header texts (with many rows that costs more than the
// change itself).
class RowIndicatorHeader : public QHeaderView {
public:
    explicit RowIndicatorHeader(QWidget *parent) : QHeaderView(Qt::Vertical, parent) {}
    QSize sizeHint() const override { return {width(), defaultSectionSize()}; }
};

} // namespace

DBGrid::DBGrid(DataSource &source, Dialogs &dialogs, QList<DBGridColumn> columns, QWidget *parent)
    : QTableView(parent), m_source(&source), m_dialogs(&dialogs),
      m_model(new DBGridModel(source, std::move(columns), this))
{
    setVerticalHeader(new RowIndicatorHeader(this));
    setModel(m_model);
    setItemDelegate(new GridDelegate(this));
    setEditTriggers(NoEditTriggers);
    setSelectionMode(NoSelection);
    setSelectionBehavior(SelectRows);
    setTabKeyNavigation(false); // Tab leaves the grid for the next control
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(ScrollPerPixel);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setFixedWidth(14);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int i = 0; i < m_model->columns().size(); ++i) {
        const int w = m_model->columns()[i].Width;
        setColumnWidth(i, w > 0 ? w : 64);
    }

    connect(&source, &DataSource::dataSetChanged, this, [this] { m_model->refresh(); });
    connect(&source, &DataSource::recordChanged, this, [this] { followCurrentRecord(); });
    connect(&source, &DataSource::fieldChanged, this, [this] { viewport()->update(); });
    connect(&source, &DataSource::stateChanged, this, [this] {
        if (!m_source->DataSet().Active())
            ClearSelection();
        verticalHeader()->viewport()->update();
    });
}

void DBGrid::setMultiSelect(bool on)
{
    m_multiSelect = on;
    if (!on)
        ClearSelection();
}

QList<Bookmark> DBGrid::SelectedRows() const
{
    return QList<Bookmark>(m_selected.begin(), m_selected.end());
}

bool DBGrid::CurrentRowSelected() const
{
    const Bookmark b = m_source->DataSet().Active() ? m_source->DataSet().GetBookmark() : 0;
    return b != 0 && m_selected.count(b);
}

void DBGrid::setCurrentRowSelected(bool on)
{
    if (!m_multiSelect || !m_source->DataSet().Active())
        return;
    const Bookmark b = m_source->DataSet().GetBookmark();
    if (b == 0)
        return;
    if (on)
        m_selected.insert(b);
    else
        m_selected.erase(b);
    viewport()->update();
}

void DBGrid::ClearSelection()
{
    m_selected.clear();
    m_selecting = false;
    viewport()->update();
}

void DBGrid::followCurrentRecord()
{
    const int row = m_model->currentRow();
    if (row >= 0) {
        const QModelIndex idx = m_model->index(row, std::max(0, currentIndex().column()));
        // Keep the view's own cursor in step without it moving the table.
        selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
        scrollTo(idx);
    }
    viewport()->update();
    verticalHeader()->viewport()->update();
}

std::optional<QColor> DBGrid::cellBackground(int row, int column) const
{
    if (!OnDrawColumnCell || column < 0 || column >= m_model->columns().size())
        return std::nullopt;
    DrawCell cell{m_model->bookmarkAt(row), column, &m_model->columns()[column], std::nullopt};
    if (cell.bookmark == 0)
        return std::nullopt;
    OnDrawColumnCell(cell);
    return cell.background;
}

void DBGrid::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    const QModelIndex idx = indexAt(event->position().toPoint());
    if (!idx.isValid() || event->button() != Qt::LeftButton) {
        QTableView::mousePressEvent(event);
        return;
    }
    guard(*m_dialogs, [&] {
        const Bookmark b = m_model->bookmarkAt(idx.row());
        if (b != m_source->DataSet().GetBookmark())
            m_source->gotoBookmark(b);
        selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
        if (m_multiSelect) {
            m_selecting = false;
            if (event->modifiers() & Qt::ControlModifier) {
                setCurrentRowSelected(!CurrentRowSelected());
            } else {
                m_selected.clear();
                setCurrentRowSelected(true);
            }
        }
    });
    viewport()->update();
}

// Dragging does not extend the selection; a double click is only a click.
void DBGrid::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
}
void DBGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    mousePressEvent(event);
}

void DBGrid::moveWithSelection(qint64 delta, bool shift)
{
    TDbfTable &t = m_source->DataSet();
    if (!t.Active())
        return;
    bool addAfter = false;
    if (m_multiSelect) {
        if (shift) {
            const Bookmark here = t.GetBookmark();
            if (!m_selecting) {
                m_anchor = here;
                setCurrentRowSelected(true);
                m_selecting = true;
                addAfter = true;
            } else {
                // Moving back towards the anchor unselects the row left behind.
                const int cmp = here < m_anchor ? -1 : (here > m_anchor ? 1 : 0);
                const int direction = delta < 0 ? -1 : 1;
                addAfter = cmp != -direction;
                if (!addAfter)
                    setCurrentRowSelected(false);
            }
        } else {
            ClearSelection();
        }
    }
    m_source->moveBy(delta);
    if (addAfter)
        setCurrentRowSelected(true);
}

void DBGrid::keyPressEvent(QKeyEvent *event)
{
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const int page = std::max(1, viewport()->height() / std::max(1, verticalHeader()->defaultSectionSize()));
    bool handled = true;
    guard(*m_dialogs, [&] {
        switch (event->key()) {
        case Qt::Key_Up:
            moveWithSelection(-1, shift);
            break;
        case Qt::Key_Down:
            moveWithSelection(1, shift);
            break;
        case Qt::Key_PageUp:
            moveWithSelection(-page, shift);
            break;
        case Qt::Key_PageDown:
            moveWithSelection(page, shift);
            break;
        case Qt::Key_Home:
        case Qt::Key_End:
            if (m_multiSelect && !shift)
                ClearSelection();
            if (event->key() == Qt::Key_Home)
                m_source->first();
            else
                m_source->last();
            break;
        case Qt::Key_Delete:
            if (ctrl)
                deleteSelection();
            else
                handled = false;
            break;
        case Qt::Key_Space:
            if (m_multiSelect && ctrl)
                setCurrentRowSelected(!CurrentRowSelected());
            else
                handled = false;
            break;
        default:
            handled = false;
        }
    });
    if (handled)
        event->accept();
    else if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right)
        QTableView::keyPressEvent(event); // scrolls the columns
    else
        event->ignore();
}

void DBGrid::focusOutEvent(QFocusEvent *event)
{
    QTableView::focusOutEvent(event);
    if (m_cancelOnExit && m_source->State() == DatasetState::Insert && !m_source->Modified())
        guard(*m_dialogs, [this] { m_source->cancel(); });
}

void DBGrid::deleteSelection()
{
    TDbfTable &t = m_source->DataSet();
    if (!m_source->CanModify() || t.IsEmpty())
        return;
    const QList<Bookmark> rows = SelectedRows();
    const QString question =
        rows.size() > 1 ? QStringLiteral("Delete all selected records?") : QStringLiteral("Delete record?");
    if (m_confirmDelete && m_dialogs->messageBox(question, QStringLiteral("Confirm"), MsgButtons::OkCancel,
                                                 MsgIcon::Question) != MsgResult::Ok)
        return;
    if (rows.isEmpty()) {
        m_source->checkBrowseMode();
        t.Delete();
        return;
    }
    m_selected.clear();
    for (Bookmark b : rows) {
        if (!t.BookmarkValid(b) || t.VisibleIndexOf(b) < 0)
            continue;
        m_source->gotoBookmark(b);
        t.Delete();
    }
    m_source->notifyDataSetChanged();
}
