#pragma once

#include "core/JobTotals.h"

#include <QFlags>
#include <QList>
#include <QString>
#include <functional>

namespace orvalt {

// Every question, notice, pointer change and event-loop pass that the program's logic needs goes
// through this one interface. The program answers with real Qt dialogs (QtDialogs); the tests answer
// with scripted replies and keep a record of what was shown, so behaviour is tested headless with
// the exact texts a user would see.
class DialogSeam
{
public:
    enum class Icon
    {
        None,
        Information,
        Question,
        Warning,
        Critical
    };
    enum class Button
    {
        NoButton = 0x0,
        Ok = 0x1,
        Cancel = 0x2,
        Yes = 0x4,
        No = 0x8
    };
    Q_DECLARE_FLAGS(Buttons, Button)

    virtual ~DialogSeam() = default;

    // A modal message box. An empty caption means the program's title ("Orvalt").
    // Returns the button pressed; closing the box counts as its escape button.
    virtual Button message(const QString& text, Buttons buttons = Button::Ok, Icon icon = Icon::None,
                           Button defaultButton = Button::NoButton, const QString& caption = QString()) = 0;

    // Shorthands for the program's three kinds of box.
    Button notice(const QString& text) { return message(text, Button::Ok, Icon::Information); }
    Button plain(const QString& text) { return message(text, Button::Ok, Icon::None); }
    // Something the user should know that stops nothing: a box in the window, a line on standard
    // error from the command line, which does not count it as a failure.
    virtual void warning(const QString& text) { message(text, Button::Ok, Icon::Warning); }
    bool ask(const QString& text)
    {
        return message(text, Buttons(Button::Yes) | Button::No, Icon::Question, Button::No) == Button::Yes;
    }

    // The overwrite question for a target that exists: 0 Yes, 1 Completely Yes, 2 No, 3 Cancel
    // (closing the dialog counts as Cancel). source and destination describe the two items.
    virtual int overwriteQuestion(const QString& name, const QString& source, const QString& destination) = 0;

    // What the name dialog shows: the warning with the name, the form the name must have (with a
    // sample), and the characters allowed.
    struct NameDialogView
    {
        QString fileWarn;
        QString change;
        QString chars;
    };
    // The name dialog: opens with name in its box; OK offers the box's text to accept, which says
    // whether the dialog may close with it (a refused text puts the opening name back and the dialog
    // stays open). Returns 0 for OK, with name the accepted text, or 3 for Cancel (name unchanged).
    virtual int nameDialog(const NameDialogView& view, QString& name,
                           const std::function<bool(const QString&)>& accept) = 0;

    // Bytes done of the file in hand, reported by the sender and the receiver after every block.
    virtual void transferProgress(const QString& file, qint64 done, qint64 total) = 0;

    // The progress window of a copy: open shows it modeless over the main window with its rows bar
    // from minimum to maximum (at minimum) and no notice; step moves the bar; notice puts a text
    // under it; close takes it away. While it is open, transferProgress above shows the file in hand.
    // A seam that shows no such window leaves these as they are.
    virtual void progressOpen(int /*minimum*/, int /*maximum*/) {}
    virtual void progressStep(int /*value*/) {}
    virtual void progressNotice(const QString& /*text*/) {}
    // The items of the copy counted before it starts, one entry per row of the rows bar: the window
    // shows the files and bytes done of the whole job beside the rows.
    virtual void progressJob(const QList<JobTotals>& /*items*/) {}
    virtual void progressClose() {}

    // Where to save a file the program made (a picture of a plot): the system's save dialog,
    // opened at suggested with the filter's kinds of file. Empty when the user cancelled; a seam
    // that asks no one saves nothing.
    virtual QString saveFileName(const QString& /*caption*/, const QString& /*suggested*/,
                                 const QString& /*filter*/)
    {
        return QString();
    }

    // What the program waits for while the window takes no input (a floppy's format): shown where
    // the window shows its state until an empty text takes it away.
    virtual void busyText(const QString& /*text*/) {}

    // The hourglass pointer for long work; the toolbar dispatcher puts the default one back.
    virtual void setBusyPointer(bool busy) = 0;

    // One pass of the event loop, so the window repaints and Interruption can be pressed.
    virtual void yield() = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(DialogSeam::Buttons)

} // namespace orvalt
