#include "panes/PaneSetup.h"

#include "core/AppState.h"
#include "core/Settings.h"
#include "panes/HostFs.h"
#include "panes/HostListing.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"

#include <algorithm>
#include <limits>

namespace orvalt {

namespace {

// A settings file could name media without end; the list stops here.
constexpr int kMaxMedia = 64;
const QString kMissing = QStringLiteral("medium");

QStringList configuredMedia(ProgramContext& ctx)
{
    QStringList names;
    for (int i = 1; i <= kMaxMedia; ++i) {
        const QString name = ctx.settings.ReadIniValue(ctx.settings.exeName(), QStringLiteral("Product"),
                                                       QStringLiteral("Medium%1").arg(i), kMissing);
        if (name == kMissing)
            break;
        names << name;
    }
    return names;
}

QString driveKey(const QString& side)
{
    return AppState::isLeft(side) ? QStringLiteral("Ldrive") : QStringLiteral("Rdrive");
}

// A drive is known by its root ("/", "/media/usb/", "D:/"): its prefix is empty for the root
// volume, which a stored value could not tell from a missing one.
QString hostDriveKey(const QString& side)
{
    return AppState::isLeft(side) ? QStringLiteral("LHostDrive") : QStringLiteral("RHostDrive");
}

} // namespace

void FillSourceCombos(ProgramContext& ctx)
{
    for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")}) {
        const QList<ChooserEntry> sources{{QStringLiteral("Host PC"), QString(), QStringLiteral("PC")},
                                          {ctx.state.ModelName, QString(), QStringLiteral("LINK")}};
        paneList(ctx, side).setSources(sources, ctx.state.devId(side) == QLatin1String("1") ? 1 : 0);
    }
}

void FillMediaList(ProgramContext& ctx, const QString& side)
{
    PaneModel& pane = paneList(ctx, side);
    pane.showDrives(false);
    QList<ChooserEntry> media;
    for (const MediumInfo& m : mediaList(configuredMedia(ctx)))
        media.append({m.listText, m.mediumCode, m.imageKey});
    if (media.isEmpty()) {
        pane.setMedia(media, -1);
        return;
    }
    int position = ctx.settings.getInt(ctx.settings.exeName(), QStringLiteral("Settings"), driveKey(side), 1,
                                       1, std::numeric_limits<int16_t>::max());
    if (position > media.size())
        position = 1;
    ctx.state.drive(side) = static_cast<int16_t>(position);
    pane.setMedia(media, position - 1);
}

void ShowHostDrives(ProgramContext& ctx, const QString& side)
{
    PaneModel& pane = paneList(ctx, side);
    const QString current = ctx.state.medium(side);
    QList<ChooserEntry> drives;
    int chosen = 0;
    for (const HostDrive& d : ctx.hostFs.drives()) {
        drives.append({d.displayName, d.prefix, QStringLiteral("HDD")});
        if (d.prefix == current)
            chosen = static_cast<int>(drives.size()) - 1;
    }
    pane.setDrives(drives, chosen);
    pane.showDrives(true);
    ctx.state.medium(side) = pane.choosers().driveData();
}

void saveHostDrive(ProgramContext& ctx, const QString& side)
{
    const QString root = HostFs::nativePath(ctx.state.medium(side), QStringLiteral("\\"));
    if (ctx.state.devId(side) == QLatin1String("0") && !root.isEmpty())
        ctx.settings.save(ctx.settings.exeName(), QStringLiteral("Settings"), hostDriveKey(side), root);
}

void restoreHostDrive(ProgramContext& ctx, const QString& side)
{
    const QString stored =
        ctx.settings.get(ctx.settings.exeName(), QStringLiteral("Settings"), hostDriveKey(side), QString());
    if (stored.isEmpty())
        return; // a run before drives were stored: the pane keeps the drive list's own choice
    const QList<HostDrive> drives = ctx.hostFs.drives();
    for (const HostDrive& d : drives) {
        if (HostFs::nativePath(d.prefix, QStringLiteral("\\")) == stored) {
            ctx.state.medium(side) = d.prefix;
            return;
        }
    }
    // The stored path means nothing on another drive.
    const auto system =
        std::find_if(drives.cbegin(), drives.cend(), [](const HostDrive& d) { return d.isRoot; });
    ctx.state.medium(side) =
        system != drives.cend() ? system->prefix : (drives.isEmpty() ? QString() : drives.first().prefix);
    ctx.state.path(side) = QStringLiteral("\\");
}

void restoreInstrumentMedium(ProgramContext& ctx, const QString& side)
{
    const int stored = ctx.settings.getInt(ctx.settings.exeName(), QStringLiteral("Settings"), driveKey(side),
                                           1, 1, std::numeric_limits<int16_t>::max());
    FillMediaList(ctx, side);
    const PaneModel& pane = paneList(ctx, side);
    if (pane.choosers().medium < 0)
        return;
    ctx.state.medium(side) = pane.choosers().mediumText().right(2);
    if (ctx.state.drive(side) != stored)
        ctx.state.path(side) = QStringLiteral("\\");
}

void sourceChosen(ProgramContext& ctx, const QString& side, int position)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    st.devId(side) = QString::number(position == 1 ? 1 : 0);
    if (position == 1)
        FillMediaList(ctx, side);
    else
        ShowHostDrives(ctx, side);
    st.path(side) = QStringLiteral("\\");
    LoadListview(ctx, side);
}

void mediaListChosen(ProgramContext& ctx, const QString& side)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    st.Interactive = true;
    PaneModel& pane = paneList(ctx, side);
    if (pane.choosers().medium >= 0)
        st.drive(side) = static_cast<int16_t>(pane.choosers().medium + 1);
    const QString code = pane.choosers().mediumText().right(2);
    if (code != st.medium(side))
        st.path(side) = QStringLiteral("\\");
    st.medium(side) = code;
    pane.clear();
    LoadListview(ctx, side);
}

} // namespace orvalt
