#include "shell/QtDialogs.h"

#include <QInputDialog>

namespace orvalt {

// Until the name dialog has a window of its own, an input box asks for the name.
int QtDialogs::nameDialog(const NameDialogView& view, QString& name,
                          const std::function<bool(const QString&)>& accept)
{
    QString text = name;
    for (;;) {
        bool ok = false;
        text = QInputDialog::getText(owner(), QStringLiteral("Orvalt"),
                                     view.fileWarn + QLatin1Char('\n') + view.change + QLatin1Char('\n') +
                                         view.chars,
                                     QLineEdit::Normal, text, &ok);
        if (!ok)
            return 3;
        if (accept(text)) {
            name = text;
            return 0;
        }
        text = name;
    }
}

} // namespace orvalt
