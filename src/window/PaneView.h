#pragma once

#include "panes/PaneModel.h"

#include <QIcon>
#include <QStyledItemDelegate>

class QComboBox;

namespace orvalt {

// How the window shows a pane: the picture of each row of its list, and its choosers in combo
// boxes.

// Puts the folder or file picture before a row's name, as the model's folder flag says.
class PaneRowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// The picture of a chooser entry by its key: the media's "FD", "INT", "CARD" and "HDD" (also the
// host's drives), "PC" for the host and "LINK" for the instrument.
QIcon chooserIcon(const QString& imageKey);

// Makes a combo box show these entries (each with its data) with current chosen; a box that shows
// them already is only moved to current. Nothing the box emits reaches its "activated" handlers.
void showEntries(QComboBox* box, const QList<ChooserEntry>& entries, int current);

} // namespace orvalt
