#include "shell/PendingParts.h"

#include <QDebug>

namespace orvalt::pending {

void notBuiltYet(const QString& what)
{
    qInfo().noquote() << "Orvalt:" << what << "is not available in this build yet.";
}

} // namespace orvalt::pending
