#include "cli/CliSession.h"

#include "cli/ConsoleTerminal.h"
#include "core/ResourceTexts.h"
#include "core/SerialSettings.h"
#include "link/CommandWords.h"
#include "link/ProductReply.h"
#include "panes/ConnectActions.h"
#include "panes/RemoteListing.h"
#include "session/CommandExchange.h"
#include "session/Connection.h"
#include "transfer/TransferTexts.h"

#include <QDir>
#include <QFileInfo>

namespace orvalt::cli {

namespace {

const QString kHost = QStringLiteral("0");
const QString kInstrument = QStringLiteral("1");
const QString kProduct = QStringLiteral("Product");
const QString kMissingMedium = QStringLiteral("medium");
constexpr int kMaxMedia = 64;

// Whether a greeting failed for a reason that may be gone by itself a while later: the instrument
// did not answer (switched off, its cable out), or its port is held by another program; on the
// network, a device server that did not answer or serves another client. Not a device that is not
// there, nor one the user may not open, nor a name that does not resolve: waiting mends none.
bool outOfReachForNow(const link::PexLink& link)
{
    const qint32 failure = link.lastFailure();
    if (failure == link::PexResult::TimeOut)
        return true;
    const link::PortProblem problem = link.portProblem();
    return (failure == link::PexResult::OpenFailed || failure == link::PexResult::NotOpen) &&
           (problem == link::PortProblem::InUse || problem == link::PortProblem::ServerBusy ||
            problem == link::PortProblem::NoAnswer);
}

} // namespace

QString hostPathOf(const QString& localPath)
{
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(localPath));
#ifndef Q_OS_WIN
    // Elsewhere a "\" is an ordinary character of a name; the host path form has no room for it.
    if (absolute.contains(QLatin1Char('\\')))
        return QString();
#endif
    QString host = QDir::toNativeSeparators(absolute).replace(QLatin1Char('/'), QLatin1Char('\\'));
    // The root of a volume is "\" (or "C:\") in this form; nothing else ends with "\".
    if (host.size() > 1 && host.endsWith(QLatin1Char('\\')) && !host.endsWith(QLatin1String(":\\")))
        host.chop(1);
    return host;
}

CliSession::CliSession(const CliRequest& request, ConsoleDialogs& dialogs, const ProgramPaths& paths)
    : m_request(request)
    , m_dialogs(dialogs)
    , m_settings(paths, dialogs)
    , m_link([this](int portIndex) {
        // The port as this machine names it, as the window opens it.
        const int port = portIndex + 1;
        return port >= 1 && port < AppState::kPortSlots
                   ? SerialSettings::usableDevice(m_state.PortDevice[port], port)
                   : QString();
    })
    , m_ctx{{m_state, m_settings, dialogs, m_link}, m_hostFs, m_left, m_right, m_statusPanel}
{
    m_dialogs.setState(&m_state);
    PortIni(m_state, m_settings);
    applyLineOptions();
    ReadModel(m_ctx);
    readMedia();
}

CliSession::~CliSession()
{
    m_dialogs.setState(nullptr);
}

void CliSession::applyLineOptions()
{
    const CliRequest& r = m_request;
    if (r.port)
        m_state.PortNumber = static_cast<int16_t>(*r.port);
    const int slot = SerialSettings::selectedSlot(m_state) < 0 ? SerialSettings::kDefaultPortNumber
                                                               : SerialSettings::selectedSlot(m_state);
    m_state.PortNumber = static_cast<int16_t>(slot);
    if (r.device)
        m_state.PortDevice[slot] = *r.device;
    if (r.speed)
        m_state.PortSpeed[slot] = static_cast<int16_t>(*r.speed);
    if (r.parity)
        m_state.PortParity[slot] = static_cast<int16_t>(*r.parity);
    if (r.stopBits)
        m_state.PortStopBits[slot] = static_cast<int16_t>(*r.stopBits);
    if (r.handShake)
        m_state.PortHandShake[slot] = static_cast<int16_t>(*r.handShake);
}

void CliSession::readMedia()
{
    QStringList names;
    for (int i = 1; i <= kMaxMedia; ++i) {
        const QString name = m_settings.ReadIniValue(m_settings.exeName(), kProduct,
                                                     QStringLiteral("Medium%1").arg(i), kMissingMedium);
        if (name == kMissingMedium)
            break;
        names << name;
    }
    m_media = mediaList(names);
}

bool CliSession::connect()
{
    // The window says "Connected" in a box; a script is told only what went wrong.
    const auto failed = [this] {
        fail(connectionFailedText(m_ctx));
        m_outOfReach = outOfReachForNow(m_link);
        m_state.Connected = false;
        m_link.PexClose();
        return false;
    };
    const Greeting greeting = greetInstrument(m_ctx);
    if (!greeting.answered)
        return failed();
    if (greeting.product) {
        // The window's product check writes the model and media the instrument reports into the
        // settings file for its selectors; here they are only used, and the file is left to the
        // window.
        if (greeting.productResult != 0)
            return failed();
        if (isRzFamily(greeting.product->model) && !greeting.product->media.isEmpty())
            m_media = mediaList(greeting.product->media);
    }
    m_connected = true;
    return true;
}

QString CliSession::mediumName(const QString& code) const
{
    for (const MediumInfo& medium : m_media)
        if (medium.mediumCode == code)
            return medium.name;
    return code;
}

void CliSession::disconnect()
{
    if (!m_connected)
        return;
    leaveInstrument(m_ctx);
    m_connected = false;
}

void CliSession::panesForReceive()
{
    m_state.LDevID = kHost;
    m_state.RDevID = kInstrument;
}

void CliSession::panesForSend()
{
    m_state.LDevID = kHost;
    m_state.RDevID = kInstrument;
}

void CliSession::panesOnInstrument()
{
    m_state.LDevID = kInstrument;
    m_state.RDevID = kInstrument;
}

Endpoint CliSession::instrumentAt(const RemotePath& folder) const
{
    Endpoint e;
    e.host = false;
    e.medium = folder.medium;
    e.folder = folder.panePath();
    // The pane that no view shows, whose rows a look-up fills (instrumentPane).
    e.pane = m_state.RDevID == kInstrument ? QStringLiteral("R") : QStringLiteral("L");
    return e;
}

Endpoint CliSession::hostAt(const QString& hostFolderPath) const
{
    return endpointOf(true, hostFolderPath);
}

PaneModel& CliSession::instrumentPane()
{
    return m_state.RDevID == kInstrument ? m_ctx.rightPane : m_ctx.leftPane;
}

bool CliSession::selectFolder(const RemotePath& folder, bool silent)
{
    // As the instrument pane's listing selects its folder, except that a folder that cannot be
    // chosen always ends the command: a script must not act on whatever folder is current.
    instrumentPane().clear();
    const InstrumentSession::Selected selected =
        m_ctx.instrument.select(m_ctx, MediumCode(folder.medium), wireFolder(folder.panePath()));
    const qint32 medium = selected.medium;
    if (medium != 0) {
        if (!silent)
            fail(mediumRefusedText(m_ctx, medium, mediumName(folder.medium)));
        noteResult(medium);
        return false;
    }
    const qint32 changed = selected.folder;
    if (changed == 0)
        return true;
    if (!silent)
        fail(changed == 60 ? QStringLiteral("DEVICE BUSY")
                           : pathRefusedText(m_ctx, changed, folder.medium + folder.panePath()));
    noteResult(changed);
    return false;
}

std::optional<QList<ListingEntry>> CliSession::listFolder(const RemotePath& folder)
{
    if (!selectFolder(folder))
        return std::nullopt;
    qint32 result = 0;
    const QString listing = DirList(m_ctx, QString(), &result);
    // A listing cut short could miss the very entry asked about, or the one a copy would replace.
    if (result != 0) {
        fail(listingFailureText(m_ctx, result));
        noteResult(result);
        return std::nullopt;
    }
    // The pane holds the folder's rows as the window's would: a file received from it keeps the
    // date its row shows (the one copy routine reads it there).
    QList<ListingEntry> entries = splitListing(listing);
    instrumentPane().appendRows(listingRows(entries));
    return entries;
}

CliSession::Kind CliSession::lookUp(const RemotePath& path, ListingEntry* entry)
{
    if (path.isRoot())
        return selectFolder(path) ? Kind::Folder : Kind::Unknown;
    const std::optional<QList<ListingEntry>> entries = listFolder(path.parent());
    if (!entries)
        return Kind::Unknown;
    // An instrument's medium does not tell names apart by case: the entry of that very name, else
    // the one whose name differs only in case.
    const ListingEntry* found = nullptr;
    for (const ListingEntry& e : *entries) {
        if (e.name == path.name()) {
            found = &e;
            break;
        }
        if (!found && e.name.compare(path.name(), Qt::CaseInsensitive) == 0)
            found = &e;
    }
    if (!found)
        return Kind::Missing;
    if (entry)
        *entry = *found;
    return found->folder ? Kind::Folder : Kind::File;
}

void CliSession::noteResult(qint32 result)
{
    noteLinkLost(m_ctx, m_lost, result);
}

void CliSession::noteRun(const CopyRun& run)
{
    if (run.linkLost && !m_lost.linkLost) {
        m_lost.linkLost = run.linkLost;
        m_lost.linkLostWhy = run.linkLostWhy;
    }
    m_lost.copyTimeDated += run.copyTimeDated;
    m_lost.notConfirmed += run.notConfirmed;
}

void CliSession::noteReceived(const QString& remotePath, qint32 result, const QDateTime& modified)
{
    noteReceivedDate(m_lost, remotePath, result, modified);
}

void CliSession::tellCopyTimeDated()
{
    const QString text = TransferTexts::copyTimeDated(m_lost.copyTimeDated);
    m_lost.copyTimeDated.clear();
    if (!text.isEmpty())
        writeStdout(text + QLatin1Char('\n'));
}

void CliSession::tellLinkLost()
{
    if (!linkLost() || m_toldLinkLost)
        return;
    m_toldLinkLost = true;
    const QString subject = m_dialogs.subject();
    about(QString());
    fail(linkLostText(m_lost.linkLostWhy));
    about(subject);
}

void CliSession::tellUnconfirmed()
{
    settleUnconfirmed(m_ctx, m_lost);
    const QString subject = m_dialogs.subject();
    about(QString());
    for (const QString& line : std::as_const(m_lost.settled))
        m_dialogs.note(line);
    for (const UnconfirmedWrite& write : std::as_const(m_lost.notConfirmed))
        fail(TransferTexts::notCopied(write.remotePath, TransferTexts::mayHaveBeenWritten()));
    m_lost.settled.clear();
    m_lost.notConfirmed.clear();
    about(subject);
}

void CliSession::notReached(const QString& item)
{
    const QString subject = m_dialogs.subject();
    about(item);
    fail(QStringLiteral("not copied"));
    about(subject);
}

void CliSession::notStarted(const QString& item)
{
    if (!m_state.StopRequested)
        return;
    const QString subject = m_dialogs.subject();
    about(item);
    fail(TransferTexts::notStarted());
    about(subject);
}

bool CliSession::stopping()
{
    m_dialogs.yield();
    return m_state.StopRequested || m_dialogs.cancelled();
}

bool CliSession::passedOver(const QString& item)
{
    if (stopping()) {
        notStarted(item);
        return true;
    }
    if (!linkLost())
        return false;
    tellLinkLost();
    notReached(item);
    return true;
}

QString CliSession::device() const
{
    const int port = m_state.PortNumber;
    return port >= 1 && port < AppState::kPortSlots
               ? SerialSettings::usableDevice(m_state.PortDevice[port], port)
               : QString();
}

int CliSession::exitStatus() const
{
    const bool allDone = m_dialogs.failures() == 0 && !m_dialogs.cancelled() && !m_state.StopRequested;
    if (allDone)
        return kExitDone;
    return m_outOfReach && !m_state.StopRequested ? kExitTempFail : kExitFailed;
}

} // namespace orvalt::cli
