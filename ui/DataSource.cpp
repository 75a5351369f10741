#include "ui/DataSource.h"

#include <algorithm>

DataSource::DataSource(TDbfTable &table, QObject *parent) : QObject(parent), m_table(&table)
{
    m_table->AfterScroll = [this](TDbfTable &) { onTableAfterScroll(); };
    m_table->OnStateChange = [this](TDbfTable &) { onTableStateChange(); };
}

DataSource::~DataSource()
{
    m_table->AfterScroll = nullptr;
    m_table->OnStateChange = nullptr;
}

bool DataSource::Editing() const
{
    const DatasetState s = m_table->State();
    return s == DatasetState::Edit || s == DatasetState::Insert;
}

bool DataSource::CanModify() const
{
    return m_table->Active();
}

void DataSource::addLink(DataLink *link)
{
    m_links.push_back(link);
}

void DataSource::removeLink(DataLink *link)
{
    m_links.erase(std::remove(m_links.begin(), m_links.end(), link), m_links.end());
}

void DataSource::fieldModified()
{
    m_modified = true;
    emit fieldChanged();
}

void DataSource::checkBrowseMode()
{
    if (!Editing())
        return;
    for (DataLink *link : std::vector<DataLink *>(m_links))
        link->updateData();
    if (m_table->State() == DatasetState::Insert && !m_modified)
        cancel();
    else
        post();
}

void DataSource::post()
{
    for (DataLink *link : std::vector<DataLink *>(m_links))
        link->updateData();
    m_table->Post();
    // A posted record may have left the filter or joined the table.
    notifyDataSetChanged();
}

void DataSource::cancel()
{
    m_table->Cancel();
    notifyDataSetChanged();
}

void DataSource::gotoBookmark(Bookmark b)
{
    checkBrowseMode();
    m_table->GotoBookmark(b);
}

void DataSource::first()
{
    checkBrowseMode();
    m_table->First();
}

void DataSource::prior()
{
    checkBrowseMode();
    m_table->Prior();
}

void DataSource::next()
{
    checkBrowseMode();
    m_table->Next();
}

void DataSource::last()
{
    checkBrowseMode();
    m_table->Last();
}

void DataSource::moveBy(qint64 delta)
{
    if (!m_table->Active() || m_table->IsEmpty())
        return;
    const qint64 count = m_table->VisibleCount();
    const qint64 here = std::max<qint64>(0, m_table->VisibleIndexOf(m_table->GetBookmark()));
    const qint64 target = std::clamp<qint64>(here + delta, 0, count - 1);
    if (target == here) {
        // Still a move attempt: the dataset sets Bof/Eof.
        if (delta < 0)
            prior();
        else if (delta > 0)
            next();
        return;
    }
    gotoBookmark(m_table->VisibleAt(target));
}

void DataSource::notifyDataSetChanged()
{
    emit dataSetChanged();
    emit recordChanged();
}

void DataSource::onTableAfterScroll()
{
    emit dataSetChanged();
    emit recordChanged();
    if (OnAfterScroll)
        OnAfterScroll();
}

void DataSource::onTableStateChange()
{
    m_modified = false;
    emit stateChanged();
    emit dataSetChanged();
    emit recordChanged();
    if (OnStateChange)
        OnStateChange();
}
