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
    void setBusyPointer(bool busy) override { busyPointer = busy; }
    void yield() override { ++yields; }

    // Answers for the next message boxes, in order; a box with no scripted answer gets its
    // default button, or else its first button.
    std::deque<Button> answers;
    QList<Shown> shown;
    bool busyPointer = false;
    int yields = 0;

    QStringList texts() const;
};

} // namespace orvalt::test
