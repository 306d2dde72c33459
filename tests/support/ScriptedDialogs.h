#pragma once

#include "shell/DialogSeam.h"

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
    void setBusyPointer(bool busy) override { busyPointer = busy; }
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
    bool busyPointer = false;
    int yields = 0;

    QStringList texts() const;
};

} // namespace orvalt::test
