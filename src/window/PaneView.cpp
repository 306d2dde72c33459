#include "window/PaneView.h"

#include "window/Icons.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace orvalt {

namespace {

// Where a combo box keeps each entry's picture key, to tell whether it shows the entries already.
constexpr int kImageKeyRole = Qt::UserRole + 1;

} // namespace

void PaneRowDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() != PaneModel::NameColumn)
        return;
    option->icon = index.data(PaneModel::FolderRole).toBool() ? folderIcon() : fileIcon();
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->decorationSize = option->icon.actualSize(option->decorationSize);
}

QIcon chooserIcon(const QString& imageKey)
{
    if (imageKey == QLatin1String("PC"))
        return themedIcon(QStringLiteral("computer"), QStyle::SP_ComputerIcon);
    if (imageKey == QLatin1String("LINK"))
        return themedIcon(QStringLiteral("network-transmit-receive"), QStyle::SP_DriveNetIcon);
    return mediumImage(imageKey);
}

void showEntries(QComboBox* box, const QList<ChooserEntry>& entries, int current)
{
    const QSignalBlocker quiet(box);
    bool same = box->count() == entries.size();
    for (int i = 0; same && i < entries.size(); ++i) {
        same = box->itemText(i) == entries.at(i).text && box->itemData(i).toString() == entries.at(i).data &&
               box->itemData(i, kImageKeyRole).toString() == entries.at(i).imageKey;
    }
    if (!same) {
        box->clear();
        for (const ChooserEntry& e : entries) {
            box->addItem(chooserIcon(e.imageKey), e.text, e.data);
            box->setItemData(box->count() - 1, e.imageKey, kImageKeyRole);
        }
    }
    if (box->currentIndex() != current)
        box->setCurrentIndex(current);
}

} // namespace orvalt
