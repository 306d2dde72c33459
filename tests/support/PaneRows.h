#pragma once

// Reading and choosing the rows of a pane's model, as the window's list shows them.

#include "panes/PaneModel.h"

#include <QStringList>

namespace orvalt::test {

inline QStringList rowNames(const PaneModel& pane)
{
    QStringList names;
    for (const PaneRow& row : pane.rows())
        names << row.name;
    return names;
}

// The row of that very name, or nullptr.
inline const PaneRow* rowNamed(const PaneModel& pane, const QString& name)
{
    for (const PaneRow& row : pane.rows())
        if (row.name == name)
            return &row;
    return nullptr;
}

// The row of that name becomes the current row and the only one selected, as a click on it does.
inline void clickRow(PaneModel& pane, const QString& name)
{
    for (int r = 0; r < pane.rowCount(); ++r) {
        if (pane.row(r).name == name) {
            pane.selection()->setCurrentIndex(pane.index(r, 0), QItemSelectionModel::ClearAndSelect |
                                                                    QItemSelectionModel::Rows);
            return;
        }
    }
}

// Selects the rows of those names (the first of them becomes the current row) and nothing else.
inline void selectRows(PaneModel& pane, const QStringList& names)
{
    QItemSelectionModel* selection = pane.selection();
    selection->clearSelection();
    selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    for (const QString& name : names) {
        for (int r = 0; r < pane.rowCount(); ++r) {
            if (pane.row(r).name != name)
                continue;
            if (!selection->currentIndex().isValid())
                selection->setCurrentIndex(pane.index(r, 0), QItemSelectionModel::NoUpdate);
            selection->select(pane.index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
}

} // namespace orvalt::test
