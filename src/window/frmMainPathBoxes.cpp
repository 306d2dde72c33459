// The path box above each pane takes a typed folder: Enter goes there (pathTyped), and the box
// shows whatever folder the pane then shows.

#include "panes/TypedPath.h"
#include "window/frmMain.h"

#include <QComboBox>
#include <QLineEdit>

namespace orvalt {

void frmMain::buildPathBoxes()
{
    for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")}) {
        QComboBox* box = AppState::isLeft(side) ? m_controls.Combo1 : m_controls.Combo2;
        // The box is a place to type, not a list that grows with every folder typed.
        box->setInsertPolicy(QComboBox::NoInsert);
        box->lineEdit()->setToolTip(QStringLiteral("Type a folder and press Enter to go there"));
        connect(box->lineEdit(), &QLineEdit::returnPressed, this, [this, side, box] {
            pathTyped(m_ctx, side, box->currentText());
            showPaneAndLine();
        });
    }
}

} // namespace orvalt
