#include "panes/PaneModel.h"

#include <QMimeData>
#include <algorithm>
#include <numeric>

namespace orvalt {

namespace {

const QString& columnText(const PaneRow& row, int column)
{
    switch (column) {
    case PaneModel::DateColumn:
        return row.date;
    case PaneModel::SizeColumn:
        return row.sizeText;
    case PaneModel::KindColumn:
        return row.kind;
    default:
        return row.name;
    }
}

// A heading sorts by the texts shown, without regard to case, as a refilled host pane is ordered.
bool textLess(const QString& mine, const QString& theirs)
{
    const int blind = mine.compare(theirs, Qt::CaseInsensitive);
    return blind != 0 ? blind < 0 : mine < theirs;
}

} // namespace

PaneModel::PaneModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_selection(this)
{}

int PaneModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int PaneModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PaneModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const PaneRow& r = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return columnText(r, index.column());
    case Qt::TextAlignmentRole:
        if (index.column() == SizeColumn)
            return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    case FolderRole:
        return r.folder;
    default:
        return QVariant();
    }
}

QVariant PaneModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    return m_header.value({section, role == Qt::EditRole ? Qt::DisplayRole : role});
}

bool PaneModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return false;
    m_header.insert({section, role == Qt::EditRole ? Qt::DisplayRole : role}, value);
    emit headerDataChanged(orientation, section, section);
    return true;
}

void PaneModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<int> from(m_rows.size());
    std::iota(from.begin(), from.end(), 0);
    const auto less = [this, column](int a, int b) {
        return textLess(columnText(m_rows.at(a), column), columnText(m_rows.at(b), column));
    };
    if (order == Qt::AscendingOrder)
        std::stable_sort(from.begin(), from.end(), less);
    else
        std::stable_sort(from.begin(), from.end(), [&less](int a, int b) { return less(b, a); });
    QList<PaneRow> sorted;
    sorted.reserve(m_rows.size());
    QList<int> to(m_rows.size());
    for (int i = 0; i < from.size(); ++i) {
        sorted.append(m_rows.at(from.at(i)));
        to[from.at(i)] = i;
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(index.row() < to.size() ? this->index(to.at(index.row()), index.column())
                                             : QModelIndex());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void PaneModel::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void PaneModel::appendRows(const QList<PaneRow>& rows)
{
    if (rows.isEmpty())
        return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    m_rows.append(rows);
    endInsertRows();
}

int PaneModel::rowNamed(const QString& name) const
{
    int sameButCase = -1;
    for (int i = 0; i < m_rows.size(); ++i) {
        const QString& n = m_rows.at(i).name;
        if (n == name)
            return i;
        if (sameButCase < 0 && n.compare(name, Qt::CaseInsensitive) == 0)
            sameButCase = i;
    }
    return sameButCase;
}

int PaneModel::currentRow() const
{
    const QModelIndex current = m_selection.currentIndex();
    return current.isValid() ? current.row() : -1;
}

bool PaneModel::isSelected(int r) const
{
    return r >= 0 && r < m_rows.size() && m_selection.isRowSelected(r, QModelIndex());
}

QList<int> PaneModel::selectedRows() const
{
    QList<int> selected;
    for (int r = 0; r < m_rows.size(); ++r)
        if (m_selection.isRowSelected(r, QModelIndex()))
            selected.append(r);
    return selected;
}

QList<PaneRow> PaneModel::selectedItems() const
{
    QList<PaneRow> selected;
    for (int r : selectedRows())
        selected.append(m_rows.at(r));
    return selected;
}

void PaneModel::sortByClick(int column, Qt::SortOrder order)
{
    m_sortOrder = order;
    m_sortColumn = column;
    m_sortShown = true;
    sort(column, order);
    emit sortMarkChanged();
}

void PaneModel::hideSortMark()
{
    if (!m_sortShown)
        return;
    m_sortShown = false;
    emit sortMarkChanged();
}

void PaneModel::setSources(const QList<ChooserEntry>& entries, int current)
{
    m_choosers.sources = entries;
    m_choosers.source = entries.isEmpty() ? -1 : qBound(0, current, static_cast<int>(entries.size()) - 1);
    emit choosersChanged();
}

void PaneModel::setMedia(const QList<ChooserEntry>& entries, int current)
{
    m_choosers.media = entries;
    m_choosers.medium = entries.isEmpty() ? -1 : qBound(0, current, static_cast<int>(entries.size()) - 1);
    emit choosersChanged();
}

void PaneModel::setDrives(const QList<ChooserEntry>& entries, int current)
{
    m_choosers.drives = entries;
    m_choosers.drive = entries.isEmpty() ? -1 : qBound(0, current, static_cast<int>(entries.size()) - 1);
    emit choosersChanged();
}

void PaneModel::setCurrentSource(int position)
{
    if (position >= -1 && position < m_choosers.sources.size())
        m_choosers.source = position;
    emit choosersChanged();
}

void PaneModel::setCurrentMedium(int position)
{
    if (position >= -1 && position < m_choosers.media.size())
        m_choosers.medium = position;
    emit choosersChanged();
}

void PaneModel::setCurrentDrive(int position)
{
    if (position >= -1 && position < m_choosers.drives.size())
        m_choosers.drive = position;
    emit choosersChanged();
}

void PaneModel::showDrives(bool shown)
{
    m_choosers.drivesShown = shown;
    emit choosersChanged();
}

void PaneModel::setPathText(const QString& path)
{
    m_choosers.path = path;
    emit choosersChanged();
}

Qt::ItemFlags PaneModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && !m_dragTag.isEmpty())
        f |= Qt::ItemIsDragEnabled;
    return f;
}

QStringList PaneModel::mimeTypes() const
{
    return {QString::fromLatin1(kRowsMimeType)};
}

QMimeData* PaneModel::mimeData(const QModelIndexList& indexes) const
{
    if (indexes.isEmpty() || m_dragTag.isEmpty())
        return nullptr;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kRowsMimeType), m_dragTag.toUtf8());
    return data;
}

} // namespace orvalt
