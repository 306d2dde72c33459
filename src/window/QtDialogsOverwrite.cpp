#include "window/QtDialogs.h"
#include "window/frmCheckOverWrite.h"

namespace orvalt {

int QtDialogs::overwriteQuestion(const QString& name, const QString& source, const QString& destination)
{
    frmCheckOverWrite dialog(name, source, destination, owner());
    dialog.exec();
    return dialog.answer();
}

} // namespace orvalt
