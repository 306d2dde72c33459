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

int ScriptedDialogs::overwriteQuestion(const QString& name, const QString& source, const QString& destination)
{
    overwriteAsked.append({name, source, destination});
    if (overwriteAnswers.empty())
        return 3;
    const int answer = overwriteAnswers.front();
    overwriteAnswers.pop_front();
    return answer;
}

int ScriptedDialogs::nameDialog(const NameDialogView& view, QString& name,
                                const std::function<bool(const QString&)>& accept)
{
    nameViews.append(view);
    nameOpenedWith.append(name);
    // Each scripted answer is one press of a button; a refused OK keeps the dialog open.
    while (!nameAnswers.empty()) {
        const QString typed = nameAnswers.front();
        nameAnswers.pop_front();
        if (typed.isNull())
            return 3;
        if (accept(typed)) {
            name = typed;
            return 0;
        }
    }
    return 3;
}

void ScriptedDialogs::transferProgress(const QString& file, qint64 done, qint64 total)
{
    progress.append({file, done, total});
    if (onTransferProgress)
        onTransferProgress(progress.constLast());
}

void ScriptedDialogs::progressOpen(int minimum, int maximum)
{
    ++progressWindow.opened;
    progressWindow.open = true;
    progressWindow.minimum = minimum;
    progressWindow.maximum = maximum;
}

void ScriptedDialogs::progressStep(int value)
{
    progressWindow.steps.append(value);
    if (onProgressStep)
        onProgressStep(value);
}

void ScriptedDialogs::progressJob(const QList<JobTotals>& items)
{
    progressWindow.jobItems = items;
}

void ScriptedDialogs::progressNotice(const QString& text)
{
    progressWindow.notices.append(text);
}

void ScriptedDialogs::progressClose()
{
    ++progressWindow.closed;
    progressWindow.open = false;
}

QStringList ScriptedDialogs::texts() const
{
    QStringList all;
    for (const auto& s : shown)
        all << s.text;
    return all;
}

} // namespace orvalt::test
