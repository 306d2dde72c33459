#pragma once

#include "core/StatusPanel.h"
#include "link/PexLink.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "window/MainControls.h"
#include "window/Toolbar.h"
#include "window/WindowLayout.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <memory>

class QKeyEvent;
class QTimer;

namespace orvalt {

struct AppState;
class DialogSeam;
class Settings;
class frmAbout;
class SplitterHandle;

// The program's one top-level window: two panes with their selectors, the toolbar, the menus and
// the status bar. It builds its widgets, routes their events and runs the load and unload steps;
// what each action does lives in the subsystems it routes to.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    frmMain(AppState& state, Settings& settings, DialogSeam& dialogs, QWidget* parent = nullptr);
    ~frmMain() override;

    // The load steps, in order; the start-up routine calls this before showing the window.
    void load();

    MainControls& controls() { return m_controls; }
    ToolbarDispatcher& dispatcher() { return m_dispatcher; }
    link::PexLink& link() { return m_link; }
    ProgramContext& context() { return m_ctx; }
    // What the program waits for, in the status bar; an empty text takes it away.
    void showBusyText(const QString& text);
    // The floppy's pause after a format, 30 s as the drive needs; a test sets a shorter one.
    void setFloppyPause(int ms) { m_floppyPauseMs = ms; }

    // The split position in twips: the left list's width.
    double splitTwips() const { return m_splitTwips; }
    // Lays the panes out around split x (twips), within the limits; x may change.
    void SizeControls(double& x);
    double logicalDpi() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void buildToolbar();
    void buildPanes();
    void connectEvents();
    void routeActions();
    void unload();
    void applyStoredGeometry();
    void saveGeometryOnExit();
    // The split and the lists' column widths, kept from one run to the next (frmMainRemember.cpp).
    void restorePanesLayout();
    void savePanesLayout();
    void fillInitialSelectors();
    void setUpList(QTreeView* list, PaneModel& pane);
    // The controls of a side follow its pane's choosers and sort mark.
    void showChoosers(const QString& side);
    void showSortMark(const QString& side);
    void showAbout();
    void showSerialSettings();

    // Keys, the lists' context menus, the active pane's mark, the line's status panel and drops on
    // the lists (frmMainKeys.cpp).
    void buildKeys();
    void showKeysInTips();
    QString activeOrLeft() const;
    QTreeView* listOf(const QString& side) const;
    void dispatchCopyFromActive();
    void showListMenu(const QString& side, const QPoint& pos);
    void markActivePane();
    void showLineStatus();
    // The active pane's frame and the line's panel, after anything that may have changed them
    // (a connect or disconnect may come from a pane's chooser as well as from the toolbar).
    void showPaneAndLine()
    {
        markActivePane();
        showLineStatus();
    }
    void focusOtherList(QTreeView* from);
    bool listKeyPress(QTreeView* list, QKeyEvent* event);
    bool viewportDragEvent(QTreeView* list, QEvent* event);

    // The File menu's entries beyond the two of the program's design, and View (F3): the active
    // pane's file in a viewer window of its own (frmMainFileMenu.cpp).
    void buildFileMenu();
    void viewFromActive();
    // Enter in a pane's path box goes to the folder typed (frmMainPathBoxes.cpp).
    void buildPathBoxes();
    // While the instrument is slow to answer, or a floppy formats, the pointer and the status bar
    // say so; Renew pressed meanwhile runs once it is over (frmMainBusy.cpp).
    void buildBusyStatus();
    void instrumentWaits();
    void formatKeepingRenew();

    AppState& m_state;
    Settings& m_settings;
    DialogSeam& m_dialogs;
    MainControls m_controls;
    ToolbarDispatcher m_dispatcher;
    link::PexLink m_link;
    HostFs m_hostFs;
    PaneModel m_leftPane;
    PaneModel m_rightPane;
    StatusPanel m_statusPanel;
    ProgramContext m_ctx;
    double m_splitTwips = 0;
    SplitterDrag m_drag;
    bool m_unloaded = false;
    QWidget* m_central = nullptr;
    QPointer<frmAbout> m_about; // the About box while it is open
    QElapsedTimer m_waiting;    // since the instrument was first waited for, while it is
    QTimer* m_waitEnded = nullptr;
    bool m_waitShown = false;
    QString m_busyText;
    int m_floppyPauseMs = -1; // -1: the format's own
};

} // namespace orvalt
