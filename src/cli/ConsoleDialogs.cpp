#include "cli/ConsoleDialogs.h"

#include "cli/ConsoleTerminal.h"
#include "core/AppState.h"
#include "core/ResourceTexts.h"
#include "core/ShownName.h"
#include "transfer/TransferTexts.h"

#include <QLocale>

namespace orvalt::cli {

namespace {

const QString kProgramName = QStringLiteral("orvalt-cli");
// Redraws of the progress line at most this often: a fast line acknowledges hundreds of blocks a
// second, and a terminal drawing each of them would slow the transfer down.
constexpr qint64 kRedrawMs = 100;
// Progress written as lines goes to a log or to a shelf's parent run: one a second tells how a
// transfer goes without filling the log.
constexpr qint64 kLineMs = 1000;
// Progress lines written whole are read in a log, not redrawn: they keep to the usual width.
constexpr int kLogColumns = 80;
// A name shortened to fit keeps at least this much of its end.
constexpr qsizetype kShortestName = 12;
const QString kGap = QStringLiteral("  ");
const QString kCut = QStringLiteral("...");

// A box sets its parts apart by an empty line; on the console one line each is enough.
QString consoleText(const QString& text)
{
    QString body = text.trimmed();
    while (body.contains(QStringLiteral("\n\n")))
        body.replace(QStringLiteral("\n\n"), QStringLiteral("\n"));
    return body;
}

QString shortened(const QString& name, qsizetype room)
{
    if (name.size() <= room)
        return name;
    if (room <= kCut.size())
        return name.right(qMax<qsizetype>(room, 0));
    return kCut + name.right(room - kCut.size());
}

} // namespace

QString fitProgressLine(const QString& name, const QStringList& fileFigures, const QString& jobFigures,
                        int width)
{
    const qsizetype room = qMax(width - 1, 1);
    QStringList figures = fileFigures;
    if (!jobFigures.isEmpty())
        figures << jobFigures;
    for (;;) {
        const QString rest = figures.isEmpty() ? QString() : kGap + figures.join(kGap);
        const qsizetype left = room - rest.size();
        if (figures.isEmpty() || left >= qMin(name.size(), kShortestName))
            return shortened(name, left) + rest;
        figures.removeLast(); // the job's figures first, then the file's from the last
    }
}

ConsoleDialogs::ConsoleDialogs(ExistingTarget existing, bool quiet, bool progressLines)
    : m_existing(existing)
    // The journal keeps every line: progress there would bury what the run did.
    , m_progress(!quiet && !stderrIsJournal() && (progressLines || stderrIsTerminal()))
    , m_lines(m_progress && progressLines)
{}

void ConsoleDialogs::say(const QString& text, Priority priority)
{
    endProgressLine();
    QString line = kProgramName + QStringLiteral(": ");
    if (!m_subject.isEmpty())
        line += m_subject + QStringLiteral(": ");
    writeStderr(line + consoleText(text) + QLatin1Char('\n'), priority);
}

void ConsoleDialogs::tell(const QString& text)
{
    endProgressLine();
    writeStdout(text + QLatin1Char('\n'));
    // Told between progress redraws on one terminal, the line must be out before the next redraw.
    flushStdout();
}

void ConsoleDialogs::skipped(const QString& item, const QString& why)
{
    if (m_verbose)
        tell(QStringLiteral("skipped %1: %2").arg(escapedName(item), why));
}

void ConsoleDialogs::warning(const QString& text)
{
    endProgressLine();
    writeStderr(kProgramName + QStringLiteral(": warning: ") + text.simplified() + QLatin1Char('\n'),
                Priority::Warning);
}

void ConsoleDialogs::failure(const QString& text)
{
    say(text);
    if (m_told.size() < kKeptFailures)
        m_told.append({m_subject, consoleText(text)});
    ++m_failures;
}

DialogSeam::Button ConsoleDialogs::message(const QString& text, Buttons buttons, Icon /*icon*/,
                                           Button defaultButton, const QString& /*caption*/)
{
    failure(text);
    // No routine this program calls asks a question by a message box; were one to, the safe
    // answer is the box's default (No for the program's questions).
    if (defaultButton != Button::NoButton)
        return defaultButton;
    if (buttons.testFlag(Button::Ok))
        return Button::Ok;
    return buttons.testFlag(Button::No) ? Button::No : Button::Cancel;
}

int ConsoleDialogs::overwriteAnswerOf(const QString& typed)
{
    const QString t = typed.trimmed().toLower();
    if (t == QLatin1String("y") || t == QLatin1String("yes"))
        return 0;
    if (t == QLatin1String("a") || t == QLatin1String("all"))
        return 1;
    if (t == QLatin1String("n") || t == QLatin1String("no"))
        return 2;
    if (t == QLatin1String("c") || t == QLatin1String("cancel"))
        return 3;
    return -1;
}

int ConsoleDialogs::overwriteQuestion(const QString& name, const QString& source, const QString& destination)
{
    if (m_existing == ExistingTarget::Replace)
        return 0;
    if (m_existing == ExistingTarget::Keep) {
        skipped(name, QStringLiteral("it exists (--no-clobber)"));
        return 2;
    }
    const QString question = name + ResourceTexts::text(8100);
    if (!canAskOnTerminal()) {
        failure(question + QStringLiteral(" There is no terminal to answer: give --yes or --no-clobber."));
        return 2;
    }
    endProgressLine();
    writeStderr(question + QLatin1Char('\n') + QStringLiteral("  ") + ResourceTexts::text(8102) + source +
                QLatin1Char('\n') + QStringLiteral("  ") + ResourceTexts::text(8101) + destination +
                QLatin1Char('\n'));
    const QString choices = QStringLiteral("[y] %1, [a] %2, [n] %3, [c] %4? ")
                                .arg(ResourceTexts::text(8200), ResourceTexts::text(8201),
                                     ResourceTexts::text(8202), ResourceTexts::text(8203));
    for (;;) {
        writeStderr(choices);
        const std::optional<QString> typed = readAnswerLine();
        const int answer = typed ? overwriteAnswerOf(*typed) : 3; // the end of the input cancels
        if (answer < 0)
            continue;
        if (answer == 3)
            m_cancelled = true;
        if (answer == 2)
            skipped(name, QStringLiteral("it exists, not replaced"));
        return answer;
    }
}

int ConsoleDialogs::nameDialog(const NameDialogView& view, QString& /*name*/,
                               const std::function<bool(const QString&)>& /*accept*/)
{
    // What the dialog would show: the name and why, the form a name needs with a sample, and the
    // characters allowed. There is nobody to type another name, so the name is refused.
    failure(view.fileWarn.trimmed() + QLatin1Char('\n') + view.change.trimmed() + QLatin1Char('\n') +
            view.chars.trimmed());
    return 3;
}

void ConsoleDialogs::transferProgress(const QString& file, qint64 done, qint64 total)
{
    // The journal is the log of a run that nobody watches: each file copied is told there.
    const bool journal = stderrIsJournal();
    if ((m_verbose || journal) && done >= total && (file != m_toldFile || total != m_toldSize)) {
        m_toldFile = file;
        m_toldSize = total;
        const QString size = QLocale(QLocale::English, QLocale::UnitedStates).toString(total);
        const QString copied =
            QStringLiteral("copied %1 (%2 %3)")
                .arg(escapedName(file), size, total == 1 ? QStringLiteral("byte") : QStringLiteral("bytes"));
        if (journal)
            writeStderr(kProgramName + QStringLiteral(": ") + copied + QLatin1Char('\n'), Priority::Info);
        else
            tell(copied);
    } else if (done < total) {
        m_toldFile.clear();
    }
    if (!m_progress)
        return;
    if (!m_clock.isValid())
        m_clock.start();
    const qint64 now = m_clock.elapsed();
    const FileProgress p = m_meter.update(file, done, total, now);
    m_job.transfer(file, done, total);
    const bool complete = p.done >= p.total;
    if (m_lines ? m_lastDrawnMs >= 0 && now - m_lastDrawnMs < kLineMs
                : !complete && m_lineLength > 0 && now - m_lastDrawnMs < kRedrawMs)
        return;
    m_lastDrawnMs = now;

    QStringList figures{progressBytesText(p)};
    for (const QString& more : {progressRateText(p), progressTimeLeftText(p)})
        if (!more.isEmpty())
            figures << more;
    QString job;
    if (m_job.counted()) {
        const JobFigures j = m_job.figures(p.bytesPerSecond);
        job = QStringLiteral("(%1, %2%)").arg(jobFilesText(j)).arg(jobPerMille(j) / 10);
    }
    if (m_lines) {
        writeStderr(kProgressLineMark + fitProgressLine(escapedName(p.file), figures, job, kLogColumns) +
                    QLatin1Char('\n'));
        return;
    }
    // Redrawn in place, the line must never wrap: a "\r" would then leave the wrapped part behind.
    // What the line drawn before showed beyond this one is erased.
    const QString line = fitProgressLine(escapedName(p.file), figures, job, terminalColumns());
    writeStderr(QLatin1Char('\r') + line + QStringLiteral("\x1b[K"));
    m_lineLength = qMax<qsizetype>(line.size(), 1);
    if (complete)
        endProgressLine();
}

void ConsoleDialogs::endProgressLine()
{
    if (m_lineLength == 0)
        return;
    writeStderr(QStringLiteral("\n"));
    m_lineLength = 0;
}

void ConsoleDialogs::yield()
{
    if (!interruptRequested() || !m_state)
        return;
    m_state->StopRequested = true;
    const bool now = secondInterruptRequested();
    if (now)
        m_state->StopFileNow = true;
    // Each press is told once, as the progress window tells it.
    const int told = now ? 2 : 1;
    while (m_toldStops < told) {
        ++m_toldStops;
        const QString subject = m_subject;
        m_subject.clear();
        failure(m_toldStops == 1 ? ResourceTexts::text(8113) : TransferTexts::stoppingFileNow());
        m_subject = subject;
    }
}

} // namespace orvalt::cli
