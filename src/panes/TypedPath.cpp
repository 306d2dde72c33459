#include "panes/TypedPath.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "link/WireText.h"
#include "panes/HostFs.h"
#include "panes/HostListing.h"
#include "panes/PaneModel.h"
#include "panes/PaneSetup.h"
#include "panes/ProgramContext.h"
#include "panes/RemoteListing.h"
#include "panes/RemotePaths.h"
#include "session/Connection.h"
#include "session/ErrorText.h"
#include "session/InstrumentSession.h"

#include <QDir>
#include <QFileInfo>

namespace orvalt {

namespace {

// The box shows the folder shown again.
void putBack(ProgramContext& ctx, const QString& side)
{
    paneList(ctx, side).setPathText(ctx.state.path(side));
}

void goTo(ProgramContext& ctx, const QString& side, const QString& medium, const QString& folder)
{
    AppState& st = ctx.state;
    st.medium(side) = medium;
    st.path(side) = folder;
    PaneModel& pane = paneList(ctx, side);
    if (st.devId(side) == QLatin1String("0")) {
        // The drive list follows the drive gone to (a right pane's listing takes its drive from it).
        ShowHostDrives(ctx, side);
        st.drive(side) = static_cast<int16_t>(pane.choosers().drive + 1);
    }
    pane.clear();
    LoadListview(ctx, side);
    pane.requestFocus();
}

// The host folder a box names, native and absolute; empty when it names none.
QString typedHostFolder(const QString& typed, const QString& shownNative)
{
    QString path = QDir::fromNativeSeparators(typed);
#ifndef Q_OS_WIN
    path.replace(QLatin1Char('\\'), QLatin1Char('/')); // the pane's own form of a path
#endif
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    return QDir::cleanPath(QDir(shownNative).absoluteFilePath(path));
}

void hostPathTyped(ProgramContext& ctx, const QString& side, const QString& typed)
{
    const QString native =
        typedHostFolder(typed, HostFs::nativePath(ctx.state.medium(side), ctx.state.path(side)));
    const QFileInfo folder(native);
    if (!folder.isDir()) {
        putBack(ctx, side);
        ctx.dialogs.notice(ErrorText::twoLines(
            QStringLiteral("%1 cannot be shown.").arg(QDir::toNativeSeparators(native)),
            folder.exists() ? QStringLiteral("It is a file, not a folder.")
                            : QStringLiteral("There is no such folder on this computer.")));
        return;
    }
    // The drive is the volume the folder lies on: the one whose root is the longest beginning of it.
    const QList<HostDrive> drives = ctx.hostFs.drives();
    const HostDrive* on = nullptr;
    QString onRoot;
    for (const HostDrive& d : drives) {
        const QString root = QDir::cleanPath(d.rootPath);
        const bool under = root.endsWith(QLatin1Char('/'))
                               ? native.startsWith(root)
                               : native == root || native.startsWith(root + QLatin1Char('/'));
        if (under && root.size() > onRoot.size()) {
            on = &d;
            onRoot = root;
        }
    }
    const QString prefix = on ? on->prefix : QString();
    const QString folderPath =
        QLatin1Char('\\') +
        native.mid(onRoot.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('\\'));
    // A name with a "\" in it has no pane path (elsewhere than on Windows it may be a plain name).
    if (!on || QDir::cleanPath(HostFs::nativePath(prefix, folderPath)) != native) {
        putBack(ctx, side);
        ctx.dialogs.notice(
            ErrorText::twoLines(QStringLiteral("%1 cannot be shown.").arg(QDir::toNativeSeparators(native)),
                                QStringLiteral("A pane cannot show a folder whose name holds a \"\\\".")));
        return;
    }
    goTo(ctx, side, prefix, folderPath);
}

void instrumentPathTyped(ProgramContext& ctx, const QString& side, const QString& typed)
{
    AppState& st = ctx.state;
    const QString medium = st.medium(side);
    const QString folder = typedInstrumentFolder(typed, st.path(side), medium);
    QString why;
    QByteArray wire;
    if (folder.isEmpty() || !toWireText(wireFolder(folder), wire, &why)) {
        putBack(ctx, side);
        ctx.dialogs.plain(ErrorText::twoLines(
            ResourceTexts::text(8304),
            folder.isEmpty()
                ? QStringLiteral("%1 is no folder of %2: a pane shows one medium, chosen above it.")
                      .arg(typed.trimmed(), paneList(ctx, side).choosers().mediumText())
                : why));
        return;
    }
    if (!CheckConnect(ctx, paneList(ctx, side).choosers().mediumText(), side)) {
        putBack(ctx, side);
        return;
    }
    const InstrumentSession::Selected selected =
        ctx.instrument.select(ctx, MediumCode(medium), wireFolder(folder));
    if (!selected.ok()) {
        putBack(ctx, side);
        ctx.dialogs.plain(selected.medium != 0 ? mediumRefusedText(ctx, selected.medium, medium)
                                               : pathRefusedText(ctx, selected.folder, medium + folder));
        return;
    }
    goTo(ctx, side, medium, folder);
}

} // namespace

QString typedInstrumentFolder(const QString& typed, const QString& current, const QString& medium)
{
    QString path = typed.trimmed();
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    // A medium code ("M:") names the medium shown or none.
    if (path.size() >= 2 && path.at(1) == QLatin1Char(':')) {
        if (path.left(2).compare(medium, Qt::CaseInsensitive) != 0)
            return QString();
        path = path.mid(2);
        if (!path.startsWith(QLatin1Char('\\')))
            path.prepend(QLatin1Char('\\'));
    }
    QStringList parts;
    if (!path.startsWith(QLatin1Char('\\')))
        parts = current.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& part : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (parts.isEmpty())
                return QString();
            parts.removeLast();
            continue;
        }
        parts << part;
    }
    return QLatin1Char('\\') + parts.join(QLatin1Char('\\'));
}

void pathTyped(ProgramContext& ctx, const QString& side, const QString& typed)
{
    AppState& st = ctx.state;
    if (st.TransferBusy || typed.trimmed().isEmpty()) {
        putBack(ctx, side);
        return;
    }
    st.Interactive = true;
    if (st.devId(side) == QLatin1String("0"))
        hostPathTyped(ctx, side, typed.trimmed());
    else
        instrumentPathTyped(ctx, side, typed);
}

} // namespace orvalt
