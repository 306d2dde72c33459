#pragma once

#include <QFlags>
#include <QString>

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
    bool ask(const QString& text)
    {
        return message(text, Buttons(Button::Yes) | Button::No, Icon::Question, Button::No) == Button::Yes;
    }

    // The hourglass pointer for long work; the toolbar dispatcher puts the default one back.
    virtual void setBusyPointer(bool busy) = 0;

    // One pass of the event loop, so the window repaints and Interruption can be pressed.
    virtual void yield() = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(DialogSeam::Buttons)

} // namespace orvalt
