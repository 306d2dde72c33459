#include "shell/QtDialogs.h"
#include "shell/ResourceTexts.h"

#include <QMessageBox>
#include <QPushButton>

namespace orvalt {

// Until the overwrite dialog has a window of its own, a message box asks the same question.
int QtDialogs::overwriteQuestion(const QString& name, const QString& source, const QString& destination)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Orvalt"),
                    name + ResourceTexts::text(8100) + QStringLiteral("\n\n") + ResourceTexts::text(8101) +
                        destination + QLatin1Char('\n') + ResourceTexts::text(8102) + source,
                    QMessageBox::NoButton, owner());
    QPushButton* yes = box.addButton(ResourceTexts::text(8200), QMessageBox::YesRole);
    QPushButton* all = box.addButton(ResourceTexts::text(8201), QMessageBox::YesRole);
    QPushButton* no = box.addButton(ResourceTexts::text(8202), QMessageBox::NoRole);
    box.addButton(ResourceTexts::text(8203), QMessageBox::RejectRole);
    box.exec();
    if (box.clickedButton() == yes)
        return 0;
    if (box.clickedButton() == all)
        return 1;
    if (box.clickedButton() == no)
        return 2;
    return 3;
}

void QtDialogs::transferProgress(const QString& /*file*/, qint64 /*done*/, qint64 /*total*/)
{
    // The progress window of the copy shows these figures; without it there is nothing to show.
}

} // namespace orvalt
