#include "shell/QtDialogs.h"
#include "transfer/frmCheckOverWrite.h"

namespace orvalt {

int QtDialogs::overwriteQuestion(const QString& name, const QString& source, const QString& destination)
{
    frmCheckOverWrite dialog(name, source, destination, owner());
    dialog.exec();
    return dialog.answer();
}

void QtDialogs::transferProgress(const QString& /*file*/, qint64 /*done*/, qint64 /*total*/)
{
    // The progress window of the copy shows these figures; until it is there, nothing is shown and
    // nothing is done, so a transfer runs as it would without it.
}

} // namespace orvalt
