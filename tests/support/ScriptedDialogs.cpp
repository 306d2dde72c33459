#include "support/ScriptedDialogs.h"

namespace orvalt::test {

DialogSeam::Button ScriptedDialogs::message(const QString& text, Buttons buttons, Icon icon,
                                            Button defaultButton, const QString& caption)
{
    shown.append({text, buttons, icon, caption});
    if (!answers.empty()) {
        const Button answer = answers.front();
        answers.pop_front();
        return answer;
    }
    if (defaultButton != Button::NoButton)
        return defaultButton;
    for (Button b : {Button::Ok, Button::Yes, Button::No, Button::Cancel})
        if (buttons.testFlag(b))
            return b;
    return Button::Ok;
}

QStringList ScriptedDialogs::texts() const
{
    QStringList all;
    for (const auto& s : shown)
        all << s.text;
    return all;
}

} // namespace orvalt::test
