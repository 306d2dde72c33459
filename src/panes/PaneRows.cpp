#include "panes/PaneRows.h"

#include "core/AppState.h"
#include "panes/RowText.h"
#include "window/Icons.h"
#include "window/MainControls.h"

#include <QComboBox>
#include <QTreeWidget>

namespace orvalt {

namespace {

// A heading sorts by the texts shown, without regard to case, as a refilled host pane is ordered.
class PaneRow : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem& other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        const QString mine = text(column);
        const QString theirs = other.text(column);
        const int blind = mine.compare(theirs, Qt::CaseInsensitive);
        return blind != 0 ? blind < 0 : mine < theirs;
    }
};

} // namespace

QTreeWidgetItem* AddPaneRow(QTreeWidget* list, const QString& name, const QString& date,
                            const QString& sizeText, const QString& kind, bool folder)
{
    auto* row = new PaneRow(list, QStringList{name, date, sizeText, kind});
    row->setIcon(0, folder ? folderIcon() : fileIcon());
    row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    return row;
}

bool IsFolderRow(const QTreeWidgetItem* row)
{
    return row && row->text(3) == kDirKind;
}

QTreeWidget* PaneList(MainControls& controls, const QString& side)
{
    return AppState::isLeft(side) ? controls.L_ListView : controls.lvListView;
}

QComboBox* PaneMediaList(MainControls& controls, const QString& side)
{
    return AppState::isLeft(side) ? controls.ImageCombo1 : controls.ImageCombo2;
}

QComboBox* PaneDriveList(MainControls& controls, const QString& side)
{
    return AppState::isLeft(side) ? controls.DriveListL : controls.DriveListR;
}

QComboBox* PanePathBox(MainControls& controls, const QString& side)
{
    return AppState::isLeft(side) ? controls.Combo1 : controls.Combo2;
}

QComboBox* PaneSourceSelector(MainControls& controls, const QString& side)
{
    return AppState::isLeft(side) ? controls.ComboLDev : controls.ComboRDev;
}

QString OtherSide(const QString& side)
{
    return AppState::isLeft(side) ? QStringLiteral("R") : QStringLiteral("L");
}

} // namespace orvalt
