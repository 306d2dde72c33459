#include "window/QtDialogs.h"
#include "window/frmFileWarn.h"

#include <QGuiApplication>

namespace orvalt {

int QtDialogs::nameDialog(const NameDialogView& view, QString& name,
                          const std::function<bool(const QString&)>& accept)
{
    frmFileWarn dialog(view, name, accept, owner());
    // The user types here: a busy pointer left by the work before would sit over the box.
    const bool busy = QGuiApplication::overrideCursor() != nullptr;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = dialog.exec();
    if (busy)
        QGuiApplication::restoreOverrideCursor();
    if (result != QDialog::Accepted)
        return 3;
    name = dialog.name();
    return 0;
}

} // namespace orvalt
