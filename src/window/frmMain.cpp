#include "window/frmMain.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "core/SerialSettings.h"
#include "core/Settings.h"
#include "fileops/DeleteAndCreate.h"
#include "fileops/Format.h"
#include "fileops/Rename.h"
#include "panes/ConnectActions.h"
#include "panes/Navigation.h"
#include "panes/PaneSetup.h"
#include "transfer/CopyDriver.h"
#include "window/ActivePane.h"
#include "window/ApplyResourceTexts.h"
#include "window/Icons.h"
#include "window/PaneView.h"
#include "window/frmAbout.h"
#include "window/frmSerial.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

namespace orvalt {

namespace {

struct ColumnInfo
{
    int textNumber;
    int widthTwips;
    Qt::Alignment alignment;
    const char* widest; // the widest text the column shows whole, in the list's own font
};

const ColumnInfo kColumns[] = {
    {1100, 1600, Qt::AlignLeft | Qt::AlignVCenter, ""},
    {1101, 1700, Qt::AlignLeft | Qt::AlignVCenter, "0000/00/00 00:00:00"},
    {1102, 1000, Qt::AlignRight | Qt::AlignVCenter, "  99999999KB"},
    {1103, 700, Qt::AlignLeft | Qt::AlignVCenter, "<DIR>"},
};

} // namespace

frmMain::frmMain(AppState& state, Settings& settings, DialogSeam& dialogs, QWidget* parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_settings(settings)
    , m_dialogs(dialogs)
    , m_dispatcher(state, dialogs)
    , m_link([&state](int portIndex) {
        // The port the user chose in the serial settings, as this machine names it.
        const int port = portIndex + 1;
        return port >= 1 && port < AppState::kPortSlots
                   ? SerialSettings::usableDevice(state.PortDevice[port], port)
                   : QString();
    })
    , m_ctx{{state, settings, dialogs, m_link}, m_hostFs, m_leftPane, m_rightPane, m_statusPanel}
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(applicationIcon());
    // While the link waits for a slow or vanished instrument the window still repaints; user input
    // waits, since it could start a second exchange in the middle of this one.
    m_link.setIdleHook([this] { instrumentWaits(); });
    buildMenus();
    buildToolbar();
    buildPanes();
    connectEvents();
    routeActions();
    buildKeys();
    buildFileMenu();
    buildPathBoxes();
    buildBusyStatus();
}

frmMain::~frmMain()
{
    // The busy pointer is the application's: a window that goes while it shows would leave it to
    // whatever window comes next.
    if (m_waitShown)
        QGuiApplication::restoreOverrideCursor();
}

void frmMain::buildMenus()
{
    // Menu captions carry their text numbers until the resource texts are put on the window.
    auto& c = m_controls;
    c.mnuFile = menuBar()->addMenu(QStringLiteral("1000"));
    c.mnuFile->setObjectName(QStringLiteral("mnuFile"));
    c.mnuCreateFolder = c.mnuFile->addAction(QStringLiteral("1023"));
    c.mnuCreateFolder->setObjectName(QStringLiteral("mnuCreateFolder"));
    c.mnuFile->addSeparator();
    c.mnuFileClose = c.mnuFile->addAction(QStringLiteral("1001"));
    c.mnuFileClose->setObjectName(QStringLiteral("mnuFileClose"));
    c.mnuTools = menuBar()->addMenu(QStringLiteral("1002"));
    c.mnuTools->setObjectName(QStringLiteral("mnuTools"));
    c.mnuToolsOptions = c.mnuTools->addAction(QStringLiteral("1003"));
    c.mnuToolsOptions->setObjectName(QStringLiteral("mnuToolsOptions"));
    c.mnuHelp = menuBar()->addMenu(QStringLiteral("1004"));
    c.mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    c.mnuHelpAbout = c.mnuHelp->addAction(QStringLiteral("1005"));
    c.mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));
}

void frmMain::buildToolbar()
{
    auto* bar = addToolBar(QStringLiteral("tbToolBar"));
    bar->setObjectName(QStringLiteral("tbToolBar"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    for (const auto& button : toolButtons()) {
        QAction* a = bar->addAction(themedIcon(button.themeIcons, button.fallback), button.key);
        a->setData(button.key);
        a->setToolTip(QString::number(button.tipNumber));
        a->setObjectName(button.image);
        // Copy to Left and Copy to Right stand apart from the rest, Interruption between them.
        if (button.key == ToolKeys::Delete || button.key == ToolKeys::CopyRight ||
            button.key == ToolKeys::Disconnect)
            bar->addSeparator();
    }
    m_controls.tbToolBar = bar;

    m_controls.sbStatusBar = statusBar();
    m_controls.sbStatusBar->setObjectName(QStringLiteral("sbStatusBar"));
    m_controls.statusPanel1 = new QLabel(m_controls.sbStatusBar);
    m_controls.statusPanel1->setObjectName(QStringLiteral("statusPanel1"));
    m_controls.statusPanel1->setMinimumWidth(140);
    m_controls.sbStatusBar->addWidget(m_controls.statusPanel1);
    m_controls.statusLine = new QLabel(m_controls.sbStatusBar);
    m_controls.statusLine->setObjectName(QStringLiteral("statusLine"));
    m_controls.sbStatusBar->addWidget(m_controls.statusLine, 1);
}

void frmMain::setUpList(QTreeView* list, PaneModel& pane)
{
    const double dpi = logicalDpi();
    for (int col = 0; col < PaneModel::ColumnCount; ++col) {
        const ColumnInfo& column = kColumns[col];
        pane.setHeaderData(col, Qt::Horizontal, QString::number(column.textNumber));
        pane.setHeaderData(col, Qt::Horizontal, QString::number(column.textNumber),
                           ResourceTexts::kHeaderTagRole);
        pane.setHeaderData(col, Qt::Horizontal, static_cast<int>(column.alignment), Qt::TextAlignmentRole);
        // The widths suit the instrument's own small font; a wider desktop font must not cut dates
        // and sizes short, so a column is never narrower than its widest text.
        const int textWidth = list->fontMetrics().horizontalAdvance(QString::fromLatin1(column.widest)) + 14;
        list->setColumnWidth(col, qMax(qRound(column.widthTwips * dpi / 1440.0), textWidth));
    }
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setFrameShape(QFrame::Box);
    list->setFrameShadow(QFrame::Plain);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSortingEnabled(false);
    list->header()->setSectionsClickable(true);
    list->header()->setStretchLastSection(false);
    list->setIconSize(QSize(16, 16));
}

void frmMain::buildPanes()
{
    m_central = new QWidget(this);
    m_central->setObjectName(QStringLiteral("central"));
    setCentralWidget(m_central);
    auto& c = m_controls;

    c.picTitles = new QWidget(m_central);
    c.picTitles->setObjectName(QStringLiteral("picTitles"));

    auto makeCombo = [this](const char* name, bool editable = false) {
        auto* box = new QComboBox(m_central);
        box->setObjectName(QString::fromLatin1(name));
        box->setEditable(editable);
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(4);
        return box;
    };
    c.ComboLDev = makeCombo("ComboLDev");
    c.ComboRDev = makeCombo("ComboRDev");
    c.ImageCombo1 = makeCombo("ImageCombo1");
    c.ImageCombo2 = makeCombo("ImageCombo2");
    c.DriveListL = makeCombo("DriveListL");
    c.DriveListR = makeCombo("DriveListR");
    c.Combo1 = makeCombo("Combo1", true);
    c.Combo2 = makeCombo("Combo2", true);
    c.DriveListL->hide();
    c.DriveListR->hide();

    auto makeUp = [this](const char* name) {
        auto* b = new QToolButton(m_central);
        b->setObjectName(QString::fromLatin1(name));
        b->setIcon(themedIcon(QStringLiteral("go-up"), QStyle::SP_FileDialogToParent));
        b->setToolTip(ResourceTexts::text(1006));
        b->setAutoRaise(true);
        return b;
    };
    c.Command1 = makeUp("Command1");
    c.Command2 = makeUp("Command2");

    // Each list shows its pane's model and shares its selection and current row.
    auto makeList = [this](const char* name, PaneModel& pane) {
        auto* list = new QTreeView(m_central);
        list->setObjectName(QString::fromLatin1(name));
        list->setModel(&pane);
        list->setSelectionModel(pane.selection());
        list->setItemDelegate(new PaneRowDelegate(list));
        return list;
    };
    c.L_ListView = makeList("L_ListView", m_leftPane);
    c.lvListView = makeList("lvListView", m_rightPane);

    c.imgSplitter = new QWidget(m_central);
    c.imgSplitter->setObjectName(QStringLiteral("imgSplitter"));
    c.imgSplitter->setCursor(Qt::SplitHCursor);
    c.imgSplitter->installEventFilter(this);

    c.picSplitter = new QFrame(m_central);
    c.picSplitter->setObjectName(QStringLiteral("picSplitter"));
    c.picSplitter->setAutoFillBackground(true);
    QPalette pal = c.picSplitter->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Dark));
    c.picSplitter->setPalette(pal);
    c.picSplitter->hide();
}

void frmMain::connectEvents()
{
    auto& c = m_controls;
    // Each button's action, whether clicked or reached by its key, goes to the dispatcher once.
    for (QAction* a : c.tbToolBar->actions()) {
        if (!a->isSeparator())
            connect(a, &QAction::triggered, this, [this, a] { m_dispatcher.dispatch(a->data().toString()); });
    }
    connect(c.mnuFileClose, &QAction::triggered, this, &QWidget::close);
    for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")}) {
        const bool left = AppState::isLeft(side);
        QComboBox* source = left ? c.ComboLDev : c.ComboRDev;
        QComboBox* media = left ? c.ImageCombo1 : c.ImageCombo2;
        QComboBox* drives = left ? c.DriveListL : c.DriveListR;
        QToolButton* up = left ? c.Command1 : c.Command2;
        QTreeView* list = left ? c.L_ListView : c.lvListView;
        PaneModel* pane = left ? &m_leftPane : &m_rightPane;
        // "activated" comes from the user alone; the program's own selections stay quiet. The
        // pane takes the user's choice first, then the logic acts on it.
        connect(source, &QComboBox::activated, this, [this, side, pane](int index) {
            pane->setCurrentSource(index);
            sourceChosen(m_ctx, side, index);
            showPaneAndLine();
        });
        connect(media, &QComboBox::activated, this, [this, side, pane](int index) {
            pane->setCurrentMedium(index);
            mediaListChosen(m_ctx, side);
            showPaneAndLine();
        });
        connect(drives, &QComboBox::activated, this, [this, side, pane](int index) {
            pane->setCurrentDrive(index);
            driveListChanged(m_ctx, side);
            listFocused(m_ctx, side);
            showPaneAndLine();
        });
        connect(up, &QToolButton::clicked, this, [this, side] {
            upButtonClicked(m_ctx, side);
            showPaneAndLine();
        });
        connect(list, &QTreeView::doubleClicked, this, [this] {
            listDoubleClicked(m_ctx, activeSide(m_state));
            showPaneAndLine();
        });
        connect(list->header(), &QHeaderView::sectionClicked, this,
                [pane](int column) { columnClicked(*pane, column); });
        list->installEventFilter(this);
        // What the logic changes in a pane, the controls show.
        connect(pane, &PaneModel::choosersChanged, this, [this, side] { showChoosers(side); });
        connect(pane, &PaneModel::sortMarkChanged, this, [this, side] { showSortMark(side); });
        connect(pane, &PaneModel::focusRequested, list, [list] { list->setFocus(); });
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, side](const QPoint& pos) { showListMenu(side, pos); });
        list->viewport()->installEventFilter(this);
    }
    connect(&m_statusPanel, &StatusPanel::textChanged, c.statusPanel1, &QLabel::setText);
    connect(c.mnuToolsOptions, &QAction::triggered, this, &frmMain::showSerialSettings);
    connect(c.mnuHelpAbout, &QAction::triggered, this, &frmMain::showAbout);
    connect(c.mnuCreateFolder, &QAction::triggered, this, [this] { newFolder(m_ctx, activeSide(m_state)); });
    m_dispatcher.setAfterAction([this] { showPaneAndLine(); });
}

void frmMain::routeActions()
{
    // Each toolbar key reaches the subsystem that carries it out.
    // Only the window knows which pane is active: each routine is told where it acts.
    m_dispatcher.setAction(ToolKeys::Up, [this] { toolbarUp(m_ctx, activeSide(m_state)); });
    m_dispatcher.setAction(ToolKeys::Open, [this] { toolbarOpen(m_ctx, activeSide(m_state)); });
    m_dispatcher.setAction(ToolKeys::Renew, [this] { toolbarRenew(m_ctx); });
    m_dispatcher.setAction(ToolKeys::Connect, [this] { Connect(m_ctx); });
    m_dispatcher.setAction(ToolKeys::Disconnect, [this] { Disconnect(m_ctx); });
    m_dispatcher.setAction(ToolKeys::Delete, [this] { toolbarDelete(m_ctx, activeSide(m_state)); });
    m_dispatcher.setAction(ToolKeys::Rename, [this] { toolbarRename(m_ctx, activeSide(m_state)); });
    m_dispatcher.setAction(ToolKeys::Format, [this] { formatKeepingRenew(); });
    m_dispatcher.setAction(ToolKeys::CopyLeft, [this] { copyToLeft(m_ctx, activeSide(m_state)); });
    m_dispatcher.setAction(ToolKeys::CopyRight, [this] { copyToRight(m_ctx, activeSide(m_state)); });
    m_dispatcher.setAction(ToolKeys::Interrupt, [this] { interruption(m_ctx); });
}

void frmMain::showChoosers(const QString& side)
{
    const bool left = AppState::isLeft(side);
    const PaneChoosers& c = (left ? m_leftPane : m_rightPane).choosers();
    QComboBox* media = left ? m_controls.ImageCombo1 : m_controls.ImageCombo2;
    QComboBox* drives = left ? m_controls.DriveListL : m_controls.DriveListR;
    QComboBox* path = left ? m_controls.Combo1 : m_controls.Combo2;
    showEntries(left ? m_controls.ComboLDev : m_controls.ComboRDev, c.sources, c.source);
    showEntries(media, c.media, c.medium);
    showEntries(drives, c.drives, c.drive);
    media->setVisible(!c.drivesShown);
    drives->setVisible(c.drivesShown);
    if (path->currentText() != c.path)
        path->setEditText(c.path);
}

void frmMain::showSortMark(const QString& side)
{
    const bool left = AppState::isLeft(side);
    const PaneModel& pane = left ? m_leftPane : m_rightPane;
    QHeaderView* header = (left ? m_controls.L_ListView : m_controls.lvListView)->header();
    header->setSortIndicatorShown(pane.sortShown());
    if (pane.sortShown())
        header->setSortIndicator(pane.sortColumn(), pane.lastSortOrder());
}

double frmMain::logicalDpi() const
{
    const QScreen* s = screen();
    return s ? s->logicalDotsPerInchX() : 96.0;
}

void frmMain::showAbout()
{
    // Modeless, owned by the main window; it deletes itself when closed. While it is open the menu
    // brings it to the front rather than opening one more.
    if (m_about) {
        m_about->raise();
        m_about->activateWindow();
        return;
    }
    m_about = new frmAbout(this);
    m_about->show();
}

void frmMain::showSerialSettings()
{
    frmSerial dialog(m_state, m_settings, this);
    dialog.exec();
    showLineStatus();
}

} // namespace orvalt
