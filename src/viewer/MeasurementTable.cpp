#include "viewer/MeasurementTable.h"

#include <limits>

namespace orvalt {

MeasurementTable::MeasurementTable(QByteArray bytes, std::shared_ptr<const MeasurementFile> file,
                                   TextEncoding encoding, QObject* parent)
    : QAbstractTableModel(parent)
    , m_bytes(std::move(bytes))
    , m_file(std::move(file))
    , m_encoding(encoding)
    , m_numbers(static_cast<size_t>(m_file->header.size()))
{
    for (const MeasurementColumn& s : m_file->series)
        m_numbers[static_cast<size_t>(s.field)] = true;
}

int MeasurementTable::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return static_cast<int>(qMin<qsizetype>(m_file->rows, std::numeric_limits<int>::max()));
}

int MeasurementTable::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_file->header.size());
}

QVariant MeasurementTable::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    if (role == Qt::TextAlignmentRole) {
        const bool number = index.column() < static_cast<int>(m_numbers.size()) &&
                            m_numbers[static_cast<size_t>(index.column())];
        return QVariant(number ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    const auto row = static_cast<size_t>(index.row());
    if (m_splitRow != index.row()) {
        splitFields(m_bytes, m_file->rowBegin[row], m_file->rowEnd[row], m_file->separator, m_fields,
                    m_file->header.size());
        m_splitRow = index.row();
    }
    if (index.column() >= static_cast<int>(m_fields.size()))
        return QVariant();
    return decodeText(unquoteField(m_bytes, m_fields[static_cast<size_t>(index.column())]), m_encoding);
}

QVariant MeasurementTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    return section < m_file->header.size() ? QVariant(m_file->header.at(section)) : QVariant();
}

void MeasurementTable::setEncoding(TextEncoding encoding)
{
    beginResetModel();
    m_encoding = encoding;
    endResetModel();
}

} // namespace orvalt
