#pragma once

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QStatusBar;
class QToolBar;
class QToolButton;
class QTreeView;
class QWidget;

namespace orvalt {

// The main window's controls under the names the rest of the program knows them by. They show the
// panes' models and forward what the user does; the main window owns them.
struct MainControls
{
    QTreeView* L_ListView = nullptr;  // left pane list
    QTreeView* lvListView = nullptr;  // right pane list
    QComboBox* ImageCombo1 = nullptr; // left medium selector
    QComboBox* ImageCombo2 = nullptr; // right medium selector
    QComboBox* ComboLDev = nullptr;   // left source selector: Host PC or the instrument
    QComboBox* ComboRDev = nullptr;
    QComboBox* Combo1 = nullptr; // left path box
    QComboBox* Combo2 = nullptr;
    QComboBox* DriveListL = nullptr; // left host drive list
    QComboBox* DriveListR = nullptr;
    QToolButton* Command1 = nullptr; // left "up one folder"
    QToolButton* Command2 = nullptr;
    QToolBar* tbToolBar = nullptr;
    QStatusBar* sbStatusBar = nullptr;
    QLabel* statusPanel1 = nullptr;  // first status bar panel: "Replacement" / "Replacement skip"
    QLabel* statusLine = nullptr;    // the line: "Not connected", or model, device and settings
    QLabel* statusBusy = nullptr;    // what the program waits for, while it waits
    QAction* actCopyOther = nullptr; // F5: Copy to Left or Copy to Right, away from the active pane
    QWidget* imgSplitter = nullptr;
    QWidget* picSplitter = nullptr;
    QWidget* picTitles = nullptr;
    QAction* mnuCreateFolder = nullptr;
    QAction* mnuView = nullptr;   // F3: the active pane's file in a viewer
    QAction* mnuRename = nullptr; // the toolbar's Change of the filename, Delete and Format
    QAction* mnuDelete = nullptr;
    QAction* mnuFormat = nullptr;
    QAction* mnuFileClose = nullptr;
    QAction* mnuToolsOptions = nullptr;
    QAction* mnuHelpAbout = nullptr;
    QMenu* mnuFile = nullptr;
    QMenu* mnuTools = nullptr;
    QMenu* mnuHelp = nullptr;
};

} // namespace orvalt
