#pragma once

#include "cli/CliRequest.h"
#include "cli/ConsoleTerminal.h"
#include "core/DialogSeam.h"
#include "transfer/JobProgress.h"
#include "transfer/TransferMeter.h"

#include <QElapsedTimer>
#include <QString>

namespace orvalt {
struct AppState;
}

namespace orvalt::cli {

// The start of each progress line with --progress-lines, which tells it from the messages beside it.
inline const QString kProgressLineMark = QStringLiteral("progress: ");

// The progress line fitted into width columns (the last one left free, where a terminal would wrap):
// the file's name shortened first ("..." and its end), then the job's figures dropped, then the
// file's own from the last; the name cut to what is left when nothing else is.
QString fitProgressLine(const QString& name, const QStringList& fileFigures, const QString& jobFigures,
                        int width);

// A failure told during a run: the item it concerns (empty for the run as a whole) and the text.
struct ToldFailure
{
    QString item;
    QString cause;
};

// The dialog seam on a console. Every message the program's routines show is a failure of the
// item in hand: it goes to standard error, named after that item, and is counted. The overwrite
// question is answered by --yes or --no-clobber, else asked on the terminal, and refused when there
// is none. A name that needs the name dialog is refused with the dialog's texts (the short name
// that serves has been taken before it comes to that). The file in hand shows as one progress line
// on standard error when that is a terminal; with progressLines, as whole lines that begin with
// kProgressLineMark, at most one a second, wherever standard error goes.
class ConsoleDialogs : public DialogSeam
{
public:
    ConsoleDialogs(ExistingTarget existing, bool quiet, bool progressLines = false);

    // The program-wide state whose StopRequested a Ctrl+C sets, at the next yield.
    void setState(AppState* state) { m_state = state; }
    // The item the next messages concern ("M:\DATA\A.DAT", a host path); empty for none.
    void setSubject(const QString& subject) { m_subject = subject; }
    const QString& subject() const { return m_subject; }

    // With -v: each file is told on standard output once its last block is in, and each item
    // skipped with why (skipped). Into the journal each file is told in any case, on standard
    // error as a line of its own priority (Info), and no progress is shown.
    void setVerbose(bool verbose) { m_verbose = verbose; }
    void skipped(const QString& item, const QString& why);

    // A failure of the command line's own, told and counted as a message is.
    void failure(const QString& text);
    int failures() const { return m_failures; }
    // The failures told so far, the first kKeptFailures of them, for a report.
    static constexpr int kKeptFailures = 1000;
    const QList<ToldFailure>& toldFailures() const { return m_told; }
    // Whether the user answered Cancel to a question: the rest of the command is not done.
    bool cancelled() const { return m_cancelled; }

    Button message(const QString& text, Buttons buttons, Icon icon, Button defaultButton,
                   const QString& caption) override;
    // One line on standard error; not a failure of the run.
    void warning(const QString& text) override;
    // A line on standard error as a failure is told, about the subject, but not counted as one.
    void note(const QString& text) { say(text, Priority::Notice); }
    int overwriteQuestion(const QString& name, const QString& source, const QString& destination) override;
    int nameDialog(const NameDialogView& view, QString& name,
                   const std::function<bool(const QString&)>& accept) override;
    void transferProgress(const QString& file, qint64 done, qint64 total) override;
    // The items of the command line counted before the copy, and how many of them are done: the
    // progress line adds the files and the share of the bytes done of the whole job.
    void progressJob(const QList<JobTotals>& items) override { m_job.start(items); }
    void progressStep(int value) override { m_job.itemsDone(value); }
    // Whether the progress is shown (standard error is a terminal or progress lines were asked for,
    // and --quiet not given).
    bool showsProgress() const { return m_progress; }
    void setBusyPointer(bool) override {}
    void yield() override;

    // The answer a typed line gives to the overwrite question: 0 Yes, 1 Completely Yes, 2 No,
    // 3 Cancel; -1 when it is none of them.
    static int overwriteAnswerOf(const QString& typed);

private:
    void say(const QString& text, Priority priority = Priority::Error);
    void tell(const QString& text);
    void endProgressLine();

    ExistingTarget m_existing;
    bool m_progress;
    bool m_lines; // whole lines rather than one line redrawn
    bool m_verbose = false;
    QString m_toldFile;     // the last file told as copied, with its size: a repeated last report is not
    qint64 m_toldSize = -1; // told twice
    AppState* m_state = nullptr;
    QString m_subject;
    int m_failures = 0;
    QList<ToldFailure> m_told;
    bool m_cancelled = false;
    int m_toldStops = 0; // the Ctrl+C presses told so far

    TransferMeter m_meter;
    JobProgress m_job;
    QElapsedTimer m_clock;
    qint64 m_lastDrawnMs = -1;
    qsizetype m_lineLength = 0; // of the progress line on the terminal now, 0 when there is none
};

} // namespace orvalt::cli
