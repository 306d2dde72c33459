#pragma once

#include <QString>

class QComboBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvalt {

struct AppState;
struct MainControls;

// The pieces of a pane that the listings, the navigation and the actions share.

// Appends one row: Name, Date, Size and Kind columns, and the folder or file picture.
QTreeWidgetItem* AddPaneRow(QTreeWidget* list, const QString& name, const QString& date,
                            const QString& sizeText, const QString& kind, bool folder);

// True for a folder row: its Kind column reads "<DIR>".
bool IsFolderRow(const QTreeWidgetItem* row);

// The controls of one side ("L" the left pane, anything else the right one).
QTreeWidget* PaneList(MainControls& controls, const QString& side);
QComboBox* PaneMediaList(MainControls& controls, const QString& side);
QComboBox* PaneDriveList(MainControls& controls, const QString& side);
QComboBox* PanePathBox(MainControls& controls, const QString& side);
QComboBox* PaneSourceSelector(MainControls& controls, const QString& side);

// The side letter of the other pane.
QString OtherSide(const QString& side);

} // namespace orvalt
