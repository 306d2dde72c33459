#pragma once

#include "viewer/MeasurementFile.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <memory>
#include <vector>

namespace orvalt {

// The rows of a measurement file as a table, every column as written. A cell is read from the
// file's bytes only when a view asks for it, so a table of 60,000 rows costs no more than the file.
class MeasurementTable : public QAbstractTableModel
{
    Q_OBJECT

public:
    MeasurementTable(QByteArray bytes, std::shared_ptr<const MeasurementFile> file, TextEncoding encoding,
                     QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void setEncoding(TextEncoding encoding);

private:
    QByteArray m_bytes;
    std::shared_ptr<const MeasurementFile> m_file;
    TextEncoding m_encoding;
    std::vector<bool> m_numbers; // a column of numbers, aligned right
    // The row last split: a view asks for its cells one after the other.
    mutable int m_splitRow = -1;
    mutable std::vector<FieldSpan> m_fields;
};

} // namespace orvalt
