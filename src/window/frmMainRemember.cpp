// What the user arranged in the window stays from one run to the next: where the split between
// the panes lies and how wide each list's columns are. Kept with the window's place and size, in
// twips, so that a screen of another dpi shows the same proportions.

#include "core/Settings.h"
#include "panes/PaneModel.h"
#include "window/WindowLayout.h"
#include "window/frmMain.h"

#include <QTreeView>

namespace orvalt {

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kSplit = QStringLiteral("Split");

QString columnsKey(const QString& side)
{
    return side + QStringLiteral("Columns");
}

} // namespace

void frmMain::restorePanesLayout()
{
    const QString title = programTitle();
    if (const auto split = RememberedLayout::split(m_settings.get(title, kSettings, kSplit, QString())))
        m_splitTwips = *split; // the next layout applies its limits
    const double dpi = logicalDpi();
    for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")}) {
        const QList<double> widths = RememberedLayout::columnWidths(
            m_settings.get(title, kSettings, columnsKey(side), QString()), PaneModel::ColumnCount);
        for (int col = 0; col < widths.size(); ++col)
            listOf(side)->setColumnWidth(col, qRound(twipsToPixels(widths.at(col), dpi)));
    }
}

void frmMain::savePanesLayout()
{
    const QString title = programTitle();
    const double dpi = logicalDpi();
    if (m_splitTwips > 0)
        m_settings.save(title, kSettings, kSplit, QString::number(qRound(m_splitTwips)));
    for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")}) {
        QList<double> widths;
        for (int col = 0; col < PaneModel::ColumnCount; ++col)
            widths << pixelsToTwips(listOf(side)->columnWidth(col), dpi);
        m_settings.save(title, kSettings, columnsKey(side), RememberedLayout::columnWidthsText(widths));
    }
}

} // namespace orvalt
