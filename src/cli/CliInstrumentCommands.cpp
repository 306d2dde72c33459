// The commands that stay on the instrument: info, ls, cp, mv, rm, mkdir and format, with the
// window's commands, name rules and texts.

#include "cli/CliCommands.h"
#include "cli/CliFormats.h"
#include "cli/CliSession.h"
#include "cli/ConsoleTerminal.h"
#include "core/ResourceTexts.h"
#include "fileops/CommandFailure.h"
#include "fileops/DeleteAndCreate.h"
#include "fileops/Format.h"
#include "fileops/NameRules.h"
#include "fileops/PaneMoves.h"
#include "fileops/Rename.h"
#include "link/CommandWords.h"
#include "panes/RowText.h"
#include "session/CommandExchange.h"
#include "session/ErrorText.h"
#include "transfer/CheckOverWrite.h"
#include "transfer/TransferTexts.h"

#include <QThread>
#include <optional>

namespace orvalt::cli {

namespace {

QString wirePath(const RemotePath& path)
{
    return SlashPath(path.panePath());
}

QString printable(const QString& name)
{
    QString shown;
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

// Whether a name may be given to an item on the instrument, by the rename's rules: the characters
// allowed (upper case only without long names), no "#" or "$" first, and the form the name dialog
// asks for (8.3 or 32+3 for a file, up to 8 or 32 characters for a folder). A name that fails is
// refused with the name dialog's texts.
bool nameServes(CliSession& s, const QString& name, bool folder)
{
    AppState& st = s.state();
    const QString kind = folder ? kWarnKindFolder : kWarnKindFile;
    st.WarnName = name;
    st.WarnKind = kind;
    st.WarnMode = kWarnModeCheck;
    st.NewFolderMode = false;
    st.WarnShortNames = !st.LongNames;
    const bool serves = nameCharsAllowed(name, st.WarnShortNames) && !name.startsWith(QLatin1Char('#')) &&
                        !name.startsWith(QLatin1Char('$')) && fileWarnAccepts(st, name);
    if (!serves) {
        QString unchanged = name;
        s.ctx().dialogs.nameDialog(fileWarnView(st), unchanged, [](const QString&) { return false; });
    }
    return serves;
}

// Where cp and mv put an item: into dst when that is a folder, else at dst itself. Unknown when a
// folder on the way could not be listed.
struct Target
{
    RemotePath path;
    CliSession::Kind kind = CliSession::Kind::Unknown;
    ListingEntry entry;
    // dst names the item itself, perhaps in another case: a rename of the one entry, with no
    // other entry in its way.
    bool sameEntry = false;
};

// Whether two remote paths name one entry: the media compare names without regard to case.
bool sameEntry(const RemotePath& a, const RemotePath& b)
{
    if (a.medium.compare(b.medium, Qt::CaseInsensitive) != 0 || a.names.size() != b.names.size())
        return false;
    for (qsizetype i = 0; i < a.names.size(); ++i)
        if (a.names.at(i).toCaseFolded() != b.names.at(i).toCaseFolded())
            return false;
    return true;
}

Target targetOf(CliSession& s, const RemotePath& item, const RemotePath& dst)
{
    Target t;
    t.path = dst;
    if (sameEntry(item, dst)) {
        t.sameEntry = true;
        t.kind = CliSession::Kind::Missing;
        return t;
    }
    t.kind = s.lookUp(dst, &t.entry);
    if (t.kind == CliSession::Kind::Folder) {
        t.path = dst.child(item.name());
        t.kind = s.lookUp(t.path, &t.entry);
    }
    return t;
}

} // namespace

QString listingRow(const QString& name, bool folder, const QString& date, const QString& size, int nameWidth)
{
    const QString kind = folder ? QString(kDirKind) : kindText(name);
    const QString row = printable(name).leftJustified(nameWidth) + QStringLiteral("  ") + date +
                        QStringLiteral("  ") + size + QStringLiteral("  ") + printable(kind);
    QString trimmed = row;
    while (trimmed.endsWith(QLatin1Char(' ')))
        trimmed.chop(1);
    return trimmed;
}

void runInfo(CliSession& s)
{
    if (!s.connect())
        return;
    const AppState& st = s.state();
    const InstrumentInfo info{st.ModelName, st.LongNames, s.media()};
    if (s.request().format != OutputFormat::Text) {
        writeStdout(s.request().format == OutputFormat::Tsv ? infoTsv(info) : infoJson(info));
        return;
    }
    QString text = QStringLiteral("Model: %1\n").arg(st.ModelName);
    text += QStringLiteral("Long names: %1\n")
                .arg(st.LongNames ? QStringLiteral("yes (32+3)") : QStringLiteral("no (8.3)"));
    text += QStringLiteral("Media:\n");
    for (const MediumInfo& m : s.media())
        text += QStringLiteral("  %1  %2\n").arg(m.mediumCode, m.name);
    writeStdout(text);
}

void runLs(CliSession& s)
{
    const RemotePath& path = s.request().remotes.constFirst();
    if (!s.connect())
        return;
    s.about(path.path());
    QList<ListingEntry> entries;
    if (s.selectFolder(path, true)) {
        qint32 result = 0;
        const QString listing = DirList(s.ctx(), QString(), &result);
        // What arrived is shown, and the listing told as incomplete.
        if (result != 0)
            s.fail(listingFailureText(s.ctx(), result));
        entries = splitListing(listing);
    } else {
        // Not a folder that can be chosen: a file is shown as its own row, anything else is told
        // with the text of what refused it.
        ListingEntry entry;
        const CliSession::Kind kind = path.isRoot() ? CliSession::Kind::Folder : s.lookUp(path, &entry);
        if (kind == CliSession::Kind::Unknown)
            return;
        if (kind == CliSession::Kind::Missing) {
            s.fail(ResourceTexts::text(8304));
            return;
        }
        if (kind == CliSession::Kind::Folder) {
            const std::optional<QList<ListingEntry>> listed = s.listFolder(path);
            if (!listed)
                return;
            entries = *listed;
        } else {
            entries = {entry};
        }
    }
    if (s.request().format != OutputFormat::Text) {
        writeStdout(s.request().format == OutputFormat::Tsv ? listingTsv(entries) : listingJson(entries));
        return;
    }
    int width = 0;
    for (const ListingEntry& e : std::as_const(entries))
        width = qMax(width, static_cast<int>(printable(e.name).size()));
    QString text;
    for (const ListingEntry& e : std::as_const(entries))
        text +=
            listingRow(e.name, e.folder, listingDateText(e), listingSizeText(e), width) + QLatin1Char('\n');
    writeStdout(text);
}

// What cp and mv share: the item named first must be there, and the target (an existing folder
// to put it in, or a new name) must be one the instrument takes. Empty when either is not so; the
// reason is told already.
struct TwoPaths
{
    ListingEntry entry;
    bool folder = false;
    Target target;
};

std::optional<TwoPaths> itemAndTarget(CliSession& s)
{
    const RemotePath& item = s.request().remotes.at(0);
    if (!s.connect())
        return std::nullopt;
    s.panesOnInstrument();
    s.about(item.path());
    TwoPaths two;
    const CliSession::Kind kind = s.lookUp(item, &two.entry);
    if (kind == CliSession::Kind::Unknown)
        return std::nullopt;
    if (kind == CliSession::Kind::Missing) {
        s.fail(ResourceTexts::text(8304));
        return std::nullopt;
    }
    two.folder = kind == CliSession::Kind::Folder;
    two.target = targetOf(s, item, s.request().remotes.at(1));
    if (two.target.kind == CliSession::Kind::Unknown)
        return std::nullopt;
    if (two.target.path.name() != item.name() && !nameServes(s, two.target.path.name(), two.folder))
        return std::nullopt;
    return two;
}

void runCp(CliSession& s)
{
    const RemotePath& source = s.request().remotes.at(0);
    const auto two = itemAndTarget(s);
    if (!two)
        return;
    const ListingEntry& entry = two->entry;
    const bool folder = two->folder;
    const Target& target = two->target;
    if (target.kind != CliSession::Kind::Missing && target.entry.folder == folder &&
        CheckOverWrite(s.ctx(), target.path.name(), TransferTexts::describeItem(entry),
                       TransferTexts::describeItem(target.entry)) >= 2)
        return;
    // The one-file copy's and the folder copy's "CPY ", with the target's own name: a folder is
    // marked by a final "/" on both paths.
    const QString mark = folder ? QStringLiteral("/") : QString();
    const QString command = CommandWords::kCopy + MediumCode(source.medium) + QLatin1Char(',') +
                            wirePath(source) + mark + QLatin1Char(',') + MediumCode(target.path.medium) +
                            QLatin1Char(',') + wirePath(target.path) + mark;
    const qint32 result = s.ctx().instrument.send(s.ctx(), command);
    if (result != 0)
        s.fail(commandFailureText(s.ctx(), CommandWords::kCopy, result, source.path()));
}

void runMv(CliSession& s)
{
    const RemotePath& old = s.request().remotes.at(0);
    const auto two = itemAndTarget(s);
    if (!two)
        return;
    const ListingEntry& entry = two->entry;
    const bool folder = two->folder;
    const Target& target = two->target;
    if (target.kind != CliSession::Kind::Missing && target.path.path() != old.path()) {
        // "MOV " never replaces: a file in the way is deleted first when the user says so; a folder
        // in the way stays.
        if (target.entry.folder) {
            s.fail(ResourceTexts::text(8107));
            return;
        }
        if (folder) {
            s.fail(ResourceTexts::text(8304));
            return;
        }
        if (CheckOverWrite(s.ctx(), target.path.name(), TransferTexts::describeItem(entry),
                           TransferTexts::describeItem(target.entry)) >= 2)
            return;
        const int failuresBefore = s.dialogs().failures();
        RmtDeleteFile(s.ctx(), s.instrumentAt(target.path.parent()), target.path.path(), false);
        if (s.dialogs().failures() != failuresBefore)
            return;
    }
    const Endpoint where = s.instrumentAt(old.parent());
    if (folder)
        MovePaneFolder(s.ctx(), where, old.path(), target.path.path());
    else
        MovePaneFile(s.ctx(), where, old.path(), target.path.path());
}

void runRm(CliSession& s)
{
    if (!s.connect())
        return;
    s.panesOnInstrument();
    for (const RemotePath& path : s.request().remotes) {
        if (s.stopping())
            break;
        s.about(path.path());
        const CliSession::Kind kind = s.lookUp(path);
        if (kind == CliSession::Kind::Unknown)
            continue;
        if (kind == CliSession::Kind::Missing) {
            s.fail(ResourceTexts::text(8304));
        } else if (kind == CliSession::Kind::File) {
            RmtDeleteFile(s.ctx(), s.instrumentAt(path.parent()), path.path(), false);
        } else if (!s.request().recursive) {
            s.fail(QStringLiteral("a folder: give -r to delete folders"));
        } else if (s.selectFolder(path.parent())) {
            // The same "FDL " as a file's, in the folder that holds it. The window's folder delete
            // passes a refusal over and lets the refilled pane show it; here it must be told.
            const qint32 result = s.ctx().instrument.sendIn(s.ctx(), MediumCode(path.medium),
                                                            wireFolder(path.parent().panePath()),
                                                            CommandWords::kDelete + path.name());
            if (result != 0)
                s.fail(commandFailureText(s.ctx(), CommandWords::kDelete, result, path.path()));
        }
    }
}

void runMkdir(CliSession& s)
{
    const RemotePath& path = s.request().remotes.constFirst();
    if (!s.connect())
        return;
    s.panesOnInstrument();
    s.about(path.path());
    // The new folder's test of the window: a name the instrument cannot hold is refused.
    if (nameIsBadFor(s.state(), path.name(), kWarnModeCheck, s.instrumentAt(path.parent()))) {
        s.fail(ResourceTexts::text(8305));
        return;
    }
    const CliSession::Kind kind = s.lookUp(path);
    if (kind == CliSession::Kind::Unknown)
        return;
    if (kind == CliSession::Kind::Folder) {
        s.fail(ResourceTexts::text(8107));
        return;
    }
    // The window's new folder does not look at the answer and lets the refilled pane show what
    // exists; a script is told.
    const qint32 result = s.ctx().instrument.sendIn(s.ctx(), MediumCode(path.medium), QString(),
                                                    CommandWords::kMakeFolder + wirePath(path));
    if (result != 0)
        s.fail(commandFailureText(s.ctx(), CommandWords::kMakeFolder, result, path.path()));
}

void runFormat(CliSession& s)
{
    const RemotePath& medium = s.request().remotes.constFirst();
    const QString code = MediumCode(medium.medium);
    if (code.isEmpty()) {
        s.fail(ResourceTexts::text(8104) + QStringLiteral(" (") + medium.medium + QLatin1Char(')'));
        return;
    }
    if (!s.connect())
        return;
    const qint32 result = s.ctx().instrument.send(s.ctx(), CommandWords::kFormat + code);
    // As in the window: a floppy that answered no text is still formatting; the line stays open
    // until it can take the next command.
    if (s.state().LastReplyCode == QLatin1String("   ") && medium.medium == QLatin1String("D:"))
        QThread::msleep(kFloppyFormatWaitMs);
    if (result != 0)
        s.fail(ErrorText::twoLines(ResourceTexts::text(8112) + QStringLiteral(" (") + medium.medium +
                                       QLatin1Char(')'),
                                   commandCause(s.ctx(), result, medium.path())));
}

} // namespace orvalt::cli
