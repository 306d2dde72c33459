#pragma once

#include "cli/CliRequest.h"
#include "cli/ConsoleDialogs.h"
#include "cli/RemotePath.h"
#include "cli/SyncReport.h"
#include "core/AppState.h"
#include "core/Settings.h"
#include "core/StatusPanel.h"
#include "link/PexLink.h"
#include "panes/Endpoint.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemoteListing.h"
#include "panes/RemotePaths.h"
#include "transfer/CopyFolderTree.h"

#include <QList>
#include <QString>
#include <optional>

namespace orvalt::cli {

// The base name of the window's program: the command line works with its settings, the user
// settings store under that name and the settings file of that name, found as the window finds it
// (settingsFolder).
inline const QString kWindowProgramName = QStringLiteral("orvalt");

// What the window's routines work with, without a window: the state, both settings stores, the
// console dialogs, the link, the host file system and two panes that no view shows. The routines
// used here reach the panes through the state's pane sources, which each command sets as the
// window's panes would stand for the same action.
class CliSession
{
public:
    CliSession(const CliRequest& request, ConsoleDialogs& dialogs, const ProgramPaths& paths);
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    ProgramContext& ctx() { return m_ctx; }
    AppState& state() { return m_state; }
    ConsoleDialogs& dialogs() { return m_dialogs; }
    const CliRequest& request() const { return m_request; }

    // Opens the line with the stored serial settings and what the options replace, and greets the
    // instrument as the window's Connection does ("STS?", "TDIF?"; the RZ family's raw line and
    // "PRODUCT?"). False when it failed, told with the window's text.
    bool connect();
    // Leaves the instrument as the window's Disconnection does and closes the line.
    void disconnect();

    // The media the instrument offers: those the settings file names, or those an instrument of
    // the RZ family reported.
    const QList<MediumInfo>& media() const { return m_media; }
    // The name of the medium of code ("INT MEM" for "M:"); the code when no medium has it.
    QString mediumName(const QString& code) const;

    // The panes as the window would have them for the action in hand: the host on the left and the
    // instrument on the right; or both panes on the instrument.
    void panesForReceive();
    void panesForSend();
    void panesOnInstrument();
    // The places the routines act in: an instrument folder (its rows in the instrument's pane, as a
    // look-up leaves them), a host folder ("\home\me\data\").
    Endpoint instrumentAt(const RemotePath& folder) const;
    Endpoint hostAt(const QString& hostFolderPath) const;

    // Makes a remote folder the instrument's current one ("MED ", "CDR "). False when refused: told
    // with the listing's texts ("This medium can't be chosen", "DEVICE BUSY", "This Path can't be
    // chosen") unless silent.
    bool selectFolder(const RemotePath& folder, bool silent = false);
    // The entries of a remote folder (selected first), ".." left out; nothing when it could not be
    // listed (told).
    std::optional<QList<ListingEntry>> listFolder(const RemotePath& folder);

    enum class Kind
    {
        Unknown, // the folder holding it could not be listed (told)
        Missing,
        File,
        Folder
    };
    // What a remote path names, from a listing of the folder that holds it (a medium's root is a
    // folder once the medium can be chosen). entry is filled for a file or folder below the root.
    Kind lookUp(const RemotePath& path, ListingEntry* entry = nullptr);

    // Tells a failure of the item in hand and counts it.
    void fail(const QString& text) { m_dialogs.failure(text); }
    // Looks at the result of a request (or at a folder copy's run) for an instrument out of reach:
    // from then on linkLost() holds, and a copy sends nothing more, since each request would wait
    // out the time-out in turn.
    void noteResult(qint32 result);
    void noteRun(const CopyRun& run);
    // Records a file the receiver stored without the instrument's date (noteReceivedDate).
    void noteReceived(const QString& remotePath, qint32 result, const QDateTime& modified);
    // Tells, on standard output, the files that got the time of the copy for want of a date they
    // could be given, in the words of the window's closing notice. Not a failure: the files are
    // whole.
    void tellCopyTimeDated();
    bool linkLost() const { return m_lost.linkLost != 0; }
    // Tells, once, that the copy stopped because the instrument is out of reach, and why.
    void tellLinkLost();
    // Settles the writes the instrument never confirmed where it answers again (settleUnconfirmed),
    // and tells how each turned out; those still not known are failures of the run.
    void tellUnconfirmed();
    // Names an item the copy did not come to because the instrument was out of reach.
    void notReached(const QString& item);
    // Names an item the command did not come to because the user stopped it (Ctrl+C); nothing
    // when it was a Cancel, which leaves the rest undone by the user's own choice.
    void notStarted(const QString& item);
    // Names the item the next messages concern.
    void about(const QString& subject) { m_dialogs.setSubject(subject); }
    // Lets Ctrl+C reach StopRequested; true when the run is to stop before the next item.
    bool stopping();
    // Whether an item of the command line is passed over: the run was stopped (the item named as
    // not started) or the instrument is out of reach (why told once, the item named as not reached).
    bool passedOver(const QString& item);
    // The exit status of the run so far: kExitTempFail when it could not connect for a reason that
    // may be gone later (nothing was done then).
    int exitStatus() const;

    // The serial device the run opens: the chosen port's, or the one --device gives.
    QString device() const;
    // What a sync run counted, kept for its report.
    void noteSyncTotals(const SyncTotals& totals) { m_syncTotals = totals; }
    const SyncTotals& syncTotals() const { return m_syncTotals; }

private:
    // The pane that stands for the instrument (the window's would show the folder last listed).
    PaneModel& instrumentPane();
    void applyLineOptions();
    void readMedia();

    const CliRequest& m_request;
    ConsoleDialogs& m_dialogs;
    AppState m_state;
    Settings m_settings;
    PaneModel m_left;
    PaneModel m_right;
    StatusPanel m_statusPanel;
    link::PexLink m_link;
    HostFs m_hostFs;
    ProgramContext m_ctx;
    QList<MediumInfo> m_media;
    bool m_connected = false;
    bool m_outOfReach = false; // the greeting failed, but may not a while later (kExitTempFail)
    CopyRun m_lost;            // linkLost, linkLostWhy and copyTimeDated only
    bool m_toldLinkLost = false;
    SyncTotals m_syncTotals;
};

// The HostFs form of a host path given on the command line (made absolute against the current
// folder): "\home\me\A.DAT" on the root volume, "C:\DATA\A.DAT" on Windows. Empty for a path that
// form cannot carry (a "\" in a name).
QString hostPathOf(const QString& localPath);

} // namespace orvalt::cli
