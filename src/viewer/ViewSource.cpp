#include "viewer/ViewSource.h"

#include "core/DialogSeam.h"
#include "panes/Endpoint.h"
#include "panes/HostFs.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"
#include "session/ErrorText.h"

#include <QDir>

namespace orvalt {

namespace {

QString cannotView(const QString& shown)
{
    return QStringLiteral("%1 cannot be viewed.").arg(shown);
}

// What the system said, as a sentence.
QString readCause(const QString& why)
{
    QString cause = why.trimmed();
    if (cause.isEmpty())
        return cause;
    cause[0] = cause.at(0).toUpper();
    return cause.endsWith(QLatin1Char('.')) ? cause : cause + QLatin1Char('.');
}

std::optional<ViewOpened> openHostFile(ProgramContext& ctx, const QString& hostPath, qint64 cap)
{
    const QString native = HostFs::nativePath(hostPath);
    const QString shown = native.isEmpty() ? hostPath : QDir::toNativeSeparators(native);
    QByteArray bytes;
    qint64 size = 0;
    QString why = QStringLiteral("not a valid path");
    if (native.isEmpty() || !readForView(native, cap, bytes, size, why)) {
        ctx.dialogs.message(ErrorText::twoLines(cannotView(shown), readCause(why)), DialogSeam::Button::Ok,
                            DialogSeam::Icon::Information);
        return std::nullopt;
    }
    return ViewOpened{viewDocument(NameOfPath(hostPath), shown, std::move(bytes), size), nullptr};
}

} // namespace

std::optional<ViewOpened> openForView(ProgramContext& ctx, const Endpoint& folder, const QString& name,
                                      qint64 cap)
{
    return openHostFile(ctx, folder.pathOf(name), cap);
}

} // namespace orvalt
