#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QItemSelectionModel>
#include <QList>
#include <QString>

namespace orvalt {

// One row of a pane as it is shown: the texts of its four columns, and whether it is a folder.
struct PaneRow
{
    QString name;
    QString date;
    QString sizeText;
    QString kind;
    bool folder = false;
    qint64 bytes = -1; // a file's exact size where the listing gave one
};

// One entry of a chooser above a pane.
struct ChooserEntry
{
    QString text;
    QString data;     // the medium code of a media list entry, the drive prefix of a drive list entry
    QString imageKey; // the picture the window shows beside it: "FD", "INT", "CARD", "HDD", "PC", "LINK"

    friend bool operator==(const ChooserEntry& a, const ChooserEntry& b)
    {
        return a.text == b.text && a.data == b.data && a.imageKey == b.imageKey;
    }
};

// The choosers above a pane as plain data: the source selector (Host PC or the instrument), the
// instrument's media list and the host's drive list (one of the two is shown), and the path box.
// A current position of -1 means nothing is chosen (an empty list).
struct PaneChoosers
{
    QList<ChooserEntry> sources;
    int source = -1;
    QList<ChooserEntry> media;
    int medium = -1;
    QList<ChooserEntry> drives;
    int drive = -1;
    bool drivesShown = false;
    QString path;

    // The text and data of the chosen entries; empty when nothing is chosen.
    QString mediumText() const
    {
        return medium >= 0 && medium < media.size() ? media.at(medium).text : QString();
    }
    QString driveData() const
    {
        return drive >= 0 && drive < drives.size() ? drives.at(drive).data : QString();
    }
};

// A pane: its rows in the order shown, the selection and the current row, its sort order and the
// choosers above it. The logic fills and reads it; the window shows it (a QTreeView on this model
// and its selection model, combo boxes that follow the choosers) and forwards what the user does.
// orvalt-cli uses it with no view at all.
class PaneModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        NameColumn,
        DateColumn,
        SizeColumn,
        KindColumn,
        ColumnCount
    };
    // Whether a row is a folder, for the window's pictures.
    static constexpr int FolderRole = Qt::UserRole + 1;

    explicit PaneModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    // Puts the rows in the order of a column's texts, without regard to case (then with it); rows
    // that compare equal keep their order. The selection and the current row go with their rows.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Rows dragged out of a pane carry only the pane's tag: what is copied is the pane's
    // selection, read by the copy itself, as for Copy to Left / Copy to Right.
    static constexpr const char* kRowsMimeType = "application/x-orvalt-pane-rows";
    void setDragTag(const QString& tag) { m_dragTag = tag; }
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

    const PaneRow& row(int r) const { return m_rows.at(r); }
    const QList<PaneRow>& rows() const { return m_rows; }
    void clear();
    void appendRows(const QList<PaneRow>& rows);
    // The row of that very name, else the first whose name differs only in case; -1 for none.
    int rowNamed(const QString& name) const;

    // The selection and the current row, which the window's view shares.
    QItemSelectionModel* selection() { return &m_selection; }
    // -1 when there is none.
    int currentRow() const;
    bool isSelected(int r) const;
    // The rows selected, in the order shown.
    QList<int> selectedRows() const;
    QList<PaneRow> selectedItems() const;

    // The order the next click on a heading sorts in (each click reverses it), and the heading's
    // sort mark: shown after a click, hidden after a refill.
    Qt::SortOrder lastSortOrder() const { return m_sortOrder; }
    int sortColumn() const { return m_sortColumn; }
    bool sortShown() const { return m_sortShown; }
    void sortByClick(int column, Qt::SortOrder order);
    void hideSortMark();

    const PaneChoosers& choosers() const { return m_choosers; }
    void setSources(const QList<ChooserEntry>& entries, int current);
    void setMedia(const QList<ChooserEntry>& entries, int current);
    void setDrives(const QList<ChooserEntry>& entries, int current);
    void setCurrentSource(int position);
    void setCurrentMedium(int position);
    void setCurrentDrive(int position);
    void showDrives(bool shown);
    void setPathText(const QString& path);

    // Asks the window to give this pane's list the keyboard focus.
    void requestFocus() { emit focusRequested(); }

signals:
    void choosersChanged();
    void sortMarkChanged();
    void focusRequested();

private:
    QList<PaneRow> m_rows;
    QItemSelectionModel m_selection;
    QHash<QPair<int, int>, QVariant> m_header; // (section, role)
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    int m_sortColumn = 0;
    bool m_sortShown = false;
    PaneChoosers m_choosers;
    QString m_dragTag;
};

} // namespace orvalt
