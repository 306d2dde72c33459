#include "transfer/JobProgress.h"

#include "link/CommandWords.h"
#include "panes/Endpoint.h"
#include "panes/HostFs.h"
#include "panes/ListingText.h"
#include "panes/ProgramContext.h"
#include "panes/RemoteListing.h"
#include "panes/RemotePaths.h"
#include "session/CommandExchange.h"
#include "transfer/FileTransfer.h"
#include "transfer/TransferMeter.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QLocale>

namespace orvalt {

namespace {

// As deep as the folder copy follows folders.
constexpr int kMaxDepth = 128;

QString grouped(qint64 n)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(n);
}

JobTotals countHostItem(const QString& hostPath, bool folder)
{
    const QString native = HostFs::nativePath(hostPath);
    if (native.isEmpty())
        return {};
    if (!folder) {
        const QFileInfo info(native);
        return info.isFile() ? JobTotals{1, info.size()} : JobTotals{};
    }
    // Links to folders are not followed: a link back up the tree would never end the count.
    JobTotals totals;
    QDirIterator it(native, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        totals += {1, qMax<qint64>(0, it.fileInfo().size())};
    }
    return totals;
}

// The instrument's folders listed for the count, each once.
class InstrumentCount
{
public:
    explicit InstrumentCount(ProgramContext& ctx)
        : m_ctx(ctx)
    {}

    JobTotals file(const QString& path)
    {
        const qsizetype cut = path.lastIndexOf(QLatin1Char('\\'));
        const QString name = path.mid(cut + 1);
        for (const ListingEntry& e : listed(path.left(cut + 1)))
            if (!e.folder && e.name == name)
                return {1, qMax<qint64>(0, listingBytes(e).value_or(0))};
        return {};
    }

    JobTotals folder(const QString& path, int depth)
    {
        JobTotals totals;
        if (depth > kMaxDepth)
            return totals;
        for (const ListingEntry& e : listed(path + QLatin1Char('\\'))) {
            if (e.name.isEmpty() || e.name == QLatin1String("."))
                continue;
            if (e.folder)
                totals += folder(path + QLatin1Char('\\') + e.name, depth + 1);
            else
                totals += {1, qMax<qint64>(0, listingBytes(e).value_or(0))};
        }
        return totals;
    }

private:
    // The entries of a folder given as "M:\DATA\" ("M:\" for the root).
    QList<ListingEntry> listed(const QString& folder)
    {
        const auto known = m_listed.constFind(folder);
        if (known != m_listed.constEnd())
            return *known;
        QList<ListingEntry> entries;
        if (!m_linkGone) {
            qint32 result =
                m_ctx.instrument.select(m_ctx, MediumCode(folder), wireFolder(folder.mid(2))).result();
            if (result == 0) {
                entries = splitListing(DirList(m_ctx, QString(), &result));
                m_ctx.instrument.noteResult(result);
            }
            m_linkGone = TransferResult::linkGone(result);
        }
        m_listed.insert(folder, entries);
        return entries;
    }

    ProgramContext& m_ctx;
    QHash<QString, QList<ListingEntry>> m_listed;
    bool m_linkGone = false;
};

} // namespace

QList<JobTotals> countCopyItems(ProgramContext& ctx, const Endpoint& from, const QStringList& paths,
                                const QList<bool>& folders)
{
    QList<JobTotals> items;
    const bool host = from.host;
    InstrumentCount instrument(ctx);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const bool folder = i < folders.size() && folders.at(i);
        if (host)
            items.append(countHostItem(paths.at(i), folder));
        else
            items.append(folder ? instrument.folder(paths.at(i), 1) : instrument.file(paths.at(i)));
    }
    return items;
}

void JobProgress::start(const QList<JobTotals>& items)
{
    m_items = items;
    m_itemsDone = 0;
    m_settled = {};
    m_inItem = {};
    m_file.clear();
    m_lastDone = 0;
    m_fileComplete = false;
}

void JobProgress::itemsDone(int item)
{
    item = qBound(0, item, static_cast<int>(m_items.size()));
    m_settled = {};
    for (int i = 0; i < item; ++i)
        m_settled += m_items.at(i);
    m_itemsDone = item;
    m_inItem = {};
    m_file.clear();
    m_lastDone = 0;
    m_fileComplete = false;
}

void JobProgress::transfer(const QString& file, qint64 done, qint64 total)
{
    done = qMax<qint64>(0, done);
    // The same file sent again from its start: what it had done is undone.
    if (file == m_file && done < m_lastDone) {
        m_inItem.bytes -= m_lastDone;
        if (m_fileComplete)
            --m_inItem.files;
    }
    if (file != m_file || done < m_lastDone) {
        m_file = file;
        m_lastDone = 0;
        m_fileComplete = false;
    }
    m_inItem.bytes += done - m_lastDone;
    m_lastDone = done;
    if (!m_fileComplete && done >= total) {
        m_fileComplete = true;
        ++m_inItem.files;
    }
}

JobFigures JobProgress::figures(qint64 bytesPerSecond) const
{
    JobFigures f;
    for (const JobTotals& item : m_items) {
        f.files += item.files;
        f.bytes += item.bytes;
    }
    // Within an item, never past what was counted for it: a file that grew since does not carry
    // the figures beyond the totals.
    const JobTotals inHand = m_itemsDone < m_items.size() ? m_items.at(m_itemsDone) : JobTotals{};
    f.filesDone = m_settled.files + qMin(m_inItem.files, inHand.files);
    f.bytesDone = m_settled.bytes + qMin(m_inItem.bytes, inHand.bytes);
    f.finished = counted() && m_itemsDone == m_items.size();
    if (bytesPerSecond > 0)
        f.secondsLeft = (f.bytes - f.bytesDone + bytesPerSecond - 1) / bytesPerSecond;
    return f;
}

QString jobFilesText(const JobFigures& figures)
{
    return QStringLiteral("%1 of %2 %3")
        .arg(grouped(figures.filesDone), grouped(figures.files),
             figures.files == 1 ? QStringLiteral("file") : QStringLiteral("files"));
}

QString jobBytesText(const JobFigures& figures)
{
    return QStringLiteral("%1 of %2 bytes in all").arg(grouped(figures.bytesDone), grouped(figures.bytes));
}

QString jobTimeLeftText(const JobFigures& figures)
{
    FileProgress asFile;
    asFile.secondsLeft = figures.secondsLeft;
    const QString left = progressTimeLeftText(asFile);
    return left.isEmpty() ? left : left + QStringLiteral(" in all");
}

int jobPerMille(const JobFigures& figures)
{
    if (figures.bytes <= 0)
        return figures.finished ? 1000 : 0;
    return static_cast<int>(qBound(qint64(0), figures.bytesDone * 1000 / figures.bytes, qint64(1000)));
}

} // namespace orvalt
