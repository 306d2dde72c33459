#include "window/Startup.h"

#include "core/AppState.h"
#include "core/Settings.h"
#include "window/Icons.h"
#include "window/QtDialogs.h"
#include "window/SingleInstance.h"
#include "window/Toolbar.h"
#include "window/frmMain.h"

#include <QApplication>

namespace orvalt {

int runProgram(QApplication& app)
{
    // A second copy ends at once: no message, no window, nothing saved.
    SingleInstance instance(QCoreApplication::applicationFilePath());
    if (!instance.acquire())
        return 0;

    chooseIconTheme();
    // The desktop entry the window belongs to (Wayland matches them by it), and the icon of every
    // window of the program.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.orvalt.Orvalt"));
    QApplication::setWindowIcon(applicationIcon());
    AppState state;
    QtDialogs dialogs;
    Settings settings(ProgramPaths::ofApplication(), dialogs);
    frmMain window(state, settings, dialogs);
    dialogs.setOwner(&window);
    dialogs.setProgressCancel([&window] { window.dispatcher().dispatch(ToolKeys::Interrupt); });
    dialogs.setBusyTextShown([&window](const QString& text) { window.showBusyText(text); });
    window.load();
    window.show();
    return app.exec();
}

} // namespace orvalt
