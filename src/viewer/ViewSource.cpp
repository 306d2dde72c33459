#include "viewer/ViewSource.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "panes/Endpoint.h"
#include "panes/HostFs.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"
#include "session/ErrorText.h"
#include "transfer/CopyProgress.h"
#include "transfer/FileTransfer.h"
#include "transfer/TransferTexts.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>

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

// The file read into a temporary folder of its own, through the receiver, with the progress window
// and its Cancel; the folder goes when the viewer does.
std::optional<ViewOpened> openInstrumentFile(ProgramContext& ctx, const QString& remotePath, qint64 cap)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return std::nullopt; // a copy holds the line
    if (!st.Connected) {
        ctx.dialogs.plain(ResourceTexts::text(8108));
        return std::nullopt;
    }
    auto temp = std::make_shared<QTemporaryDir>(
        QDir(QDir::tempPath()).filePath(QStringLiteral("orvalt-view-XXXXXX")));
    // The instrument's name is no part of the host's path: nothing it holds can lead elsewhere.
    const QString native = temp->isValid() ? temp->filePath(QStringLiteral("file")) : QString();
    const QString host = native.isEmpty() ? QString() : HostFs::hostPath(native);
    if (host.isEmpty()) {
        ctx.dialogs.message(
            ErrorText::twoLines(
                cannotView(remotePath),
                QStringLiteral("No temporary folder could be made: %1").arg(readCause(temp->errorString()))),
            DialogSeam::Button::Ok, DialogSeam::Icon::Information);
        return std::nullopt;
    }
    st.TransferBusy = true;
    st.StopRequested = false;
    st.StopFileNow = false;
    ProgressOpen(ctx, 1, 1);
    qint64 size = 0;
    QString hostFailure;
    const qint32 result =
        RmtReceiveFile(ctx, remotePath, host, &hostFailure, QDateTime(), ReceivePart{cap, &size});
    ProgressStep(ctx, 1);
    ProgressClose(ctx);
    st.TransferBusy = false;
    st.StopRequested = false;
    st.StopFileNow = false;
    if (result == TransferResult::Stopped)
        return std::nullopt; // the user's own choice: nothing to tell
    QByteArray bytes;
    qint64 kept = 0;
    QString why;
    if (result == TransferResult::Done && readForView(native, cap, bytes, kept, why))
        return ViewOpened{viewDocument(NameOfPath(remotePath), remotePath, std::move(bytes), size), temp};
    QString cause = why.isEmpty() ? QString() : readCause(why);
    if (result != TransferResult::Done) {
        const TransferFailure failure = transferFailure(ctx, result, hostFailure, remotePath);
        cause = !failure.cause.isEmpty() ? failure.cause
                : result == TransferResult::NotReceived
                    ? QStringLiteral("The instrument broke the file off; it may have changed while it was "
                                     "read. Press View to read it again.")
                    : failure.first;
    }
    ctx.dialogs.message(ErrorText::twoLines(cannotView(remotePath), cause), DialogSeam::Button::Ok,
                        DialogSeam::Icon::Information);
    return std::nullopt;
}

} // namespace

std::optional<ViewOpened> openForView(ProgramContext& ctx, const Endpoint& folder, const QString& name,
                                      qint64 cap)
{
    return folder.isInstrument() ? openInstrumentFile(ctx, folder.pathOf(name), cap)
                                 : openHostFile(ctx, folder.pathOf(name), cap);
}

} // namespace orvalt
