#pragma once

#include "core/DialogSeam.h"

#include <QList>
#include <QString>
#include <deque>

namespace orvalt::test {

// The dialog seam for tests: answers come from a script, and everything shown is recorded.
class ScriptedDialogs : public DialogSeam
{
public:
    struct Shown
    {
        QString text;
        Buttons buttons;
        Icon icon;
        QString caption;
    };

    Button message(const QString& text, Buttons buttons, Icon icon, Button defaultButton,
                   const QString& caption) override;
    // Answers: overwriteAnswers in order (none left: 3 Cancel); nameAnswers in order, each one a
    // press of OK with that text, or of Cancel when it is a null QString (none left: Cancel).
    int overwriteQuestion(const QString& name, const QString& source, const QString& destination) override;
    int nameDialog(const NameDialogView& view, QString& name,
                   const std::function<bool(const QString&)>& accept) override;
    void transferProgress(const QString& file, qint64 done, qint64 total) override;
    void progressOpen(int minimum, int maximum) override;
    void progressStep(int value) override;
    void progressJob(const QList<JobTotals>& items) override;
    void progressNotice(const QString& text) override;
    void progressClose() override;
    // The next of saveAnswers (none left: cancelled), with what was asked kept in saveAsked.
    QString saveFileName(const QString& caption, const QString& suggested, const QString& filter) override
    {
        saveAsked << caption + QLatin1Char('|') + suggested + QLatin1Char('|') + filter;
        if (saveAnswers.empty())
            return QString();
        const QString answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    void setBusyPointer(bool busy) override { busyPointer = busy; }
    void busyText(const QString& text) override { busyTexts << text; }
    void yield() override { ++yields; }

    // Answers for the next message boxes, in order; a box with no scripted answer gets its
    // default button, or else its first button.
    std::deque<Button> answers;
    QList<Shown> shown;

    struct OverwriteAsked
    {
        QString name;
        QString source;
        QString destination;
    };
    std::deque<int> overwriteAnswers;
    QList<OverwriteAsked> overwriteAsked;

    std::deque<QString> nameAnswers;
    QList<NameDialogView> nameViews; // what each opening of the name dialog showed
    QStringList nameOpenedWith;      // the name in the box at each opening

    struct Progress
    {
        QString file;
        qint64 done;
        qint64 total;
    };
    QList<Progress> progress;
    // Called with each figure of the file in hand, so a test can act in the middle of a transfer.
    std::function<void(const Progress&)> onTransferProgress;

    // What the progress window showed: how often it opened and closed, its last range, every step
    // and notice, and whether it is open now.
    struct ProgressWindow
    {
        int opened = 0;
        int closed = 0;
        bool open = false;
        int minimum = 0;
        int maximum = 0;
        QList<int> steps;
        QStringList notices;
        QList<JobTotals> jobItems; // the items counted before the copy, one per row
    };
    ProgressWindow progressWindow;
    // Called at each step of the rows bar.
    std::function<void(int)> onProgressStep;
    std::deque<QString> saveAnswers;
    QStringList saveAsked;
    bool busyPointer = false;
    QStringList busyTexts; // every busyText, the empty ones too
    int yields = 0;

    QStringList texts() const;
};

} // namespace orvalt::test
