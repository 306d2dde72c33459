// The main window's life: the load steps, the close guard and the unload steps.

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "core/SerialSettings.h"
#include "core/Settings.h"
#include "panes/ConnectActions.h"
#include "panes/HostListing.h"
#include "panes/PaneSetup.h"
#include "session/Connection.h"
#include "window/ApplyResourceTexts.h"
#include "window/Icons.h"
#include "window/frmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace orvalt {

namespace {

const QString kSettings = QStringLiteral("Settings");

// A stored pane path is untrusted: it must have the pane form ("\" or "\A\B") and a sane length.
QString validPanePath(const QString& stored)
{
    constexpr int kMaxPathLength = 4096;
    if (stored.isEmpty() || !stored.startsWith(QLatin1Char('\\')) || stored.size() > kMaxPathLength)
        return QStringLiteral("\\");
    if (stored.size() > 1 && stored.endsWith(QLatin1Char('\\')))
        return QStringLiteral("\\");
    return stored;
}

QString validDevId(const QString& stored)
{
    return stored == QLatin1String("1") ? stored : QStringLiteral("0");
}

struct SelectorEntry
{
    const char* text;
    const char* image;
};

// The selectors' entries until the pane set-up rebuilds them from the pane sources.
const SelectorEntry kLeftSelector[] = {{"FD:", "FD"},       {"INT MEM:", "INT"}, {"Card 1:", "CARD"},
                                       {"Card 2:", "CARD"}, {"Drive A:", "FD"},  {"Drive C:", "HDD"}};
const SelectorEntry kRightSelector[] = {{"Drive A:", "FD"},  {"Drive C:", "HDD"}, {"Card 1:", "CARD"},
                                        {"Card 2:", "CARD"}, {"FD:", "FD"},       {"INT MEM:", "INT"}};

QList<ChooserEntry> selectorEntries(const SelectorEntry (&entries)[6])
{
    QList<ChooserEntry> list;
    for (const auto& e : entries)
        list.append(
            {QString::fromLatin1(e.text), QString::fromLatin1(e.image), QString::fromLatin1(e.image)});
    return list;
}

// The stored entry of a selector (1-based), within its entries.
int16_t storedEntry(const Settings& settings, const QString& key, int count)
{
    return static_cast<int16_t>(settings.getInt(settings.exeName(), kSettings, key, 2, 1, count));
}

} // namespace

void frmMain::fillInitialSelectors()
{
    const QList<ChooserEntry> left = selectorEntries(kLeftSelector);
    const QList<ChooserEntry> right = selectorEntries(kRightSelector);
    m_state.Ldrive = storedEntry(m_settings, QStringLiteral("Ldrive"), static_cast<int>(left.size()));
    m_state.Rdrive = storedEntry(m_settings, QStringLiteral("Rdrive"), static_cast<int>(right.size()));
    m_leftPane.setMedia(left, m_state.Ldrive - 1);
    m_rightPane.setMedia(right, m_state.Rdrive - 1);
}

void frmMain::applyStoredGeometry()
{
    const QString title = programTitle();
    const double left = m_settings.getDouble(title, kSettings, QStringLiteral("MainLeft"), 1000);
    const double top = m_settings.getDouble(title, kSettings, QStringLiteral("MainTop"), 1000);
    const double width = m_settings.getDouble(title, kSettings, QStringLiteral("MainWidth"), 6500);
    const double height = m_settings.getDouble(title, kSettings, QStringLiteral("MainHeight"), 6500);
    const double dpi = logicalDpi();
    auto px = [dpi](double twips) {
        return qRound(qBound(-1.0e6, twips, 1.0e6) * dpi / 1440.0);
    };
    QRect rect(px(left), px(top), qMax(1, px(width)), qMax(1, px(height)));

    // A window stored on a monitor that is gone would open where nobody sees it: keep its size and
    // bring it onto the primary screen.
    bool visible = false;
    for (const QScreen* s : QGuiApplication::screens())
        visible = visible || s->availableGeometry().intersects(rect);
    if (!visible) {
        if (const QScreen* primary = QGuiApplication::primaryScreen())
            rect.moveTopLeft(primary->availableGeometry().topLeft());
    }
    move(rect.topLeft());
    resize(rect.size());
}

void frmMain::load()
{
    auto& c = m_controls;
    const QString exe = m_settings.exeName();

    m_state.CloseAllowed = true; // 1
    setProperty(ResourceTexts::kTagProperty, QStringLiteral("9100"));
    ApplyResourceTexts(this); // 2
    applyStoredGeometry();    // 3
    m_state.Lpath =
        validPanePath(m_settings.get(exe, kSettings, QStringLiteral("Lpath"), QStringLiteral("\\"))); // 4
    m_state.Rpath =
        validPanePath(m_settings.get(exe, kSettings, QStringLiteral("Rpath"), QStringLiteral("\\")));
    fillInitialSelectors();               // 5, 6: with the stored entries chosen
    setUpList(c.L_ListView, m_leftPane);  // 7
    setUpList(c.lvListView, m_rightPane); // 8
    ApplyResourceTexts(this);             // the lists' column headers exist only now
    restorePanesLayout();
    // 9: the pane sources are not read yet, so this takes the instrument's way; with no link open
    // every call returns at once and nothing is shown.
    LoadListviewL(m_ctx);
    m_statusPanel.setText(ResourceTexts::text(1022)); // 10
    m_state.OverwriteAll = false;
    PortIni(m_state, m_settings); // 11
    ReadModel(m_ctx);             // 12
    m_state.RDevID = validDevId(
        m_settings.ReadIniValue(exe, kSettings, QStringLiteral("RDevID"), QStringLiteral("0"))); // 13
    m_state.LDevID =
        validDevId(m_settings.ReadIniValue(exe, kSettings, QStringLiteral("LDevID"), QStringLiteral("0")));
    // An instrument pane's medium is the one it showed at shut-down, known before the product check
    // compares the media list with it: the pane keeps its folder while its medium stays.
    for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")})
        if (m_state.devId(side) == QLatin1String("1"))
            restoreInstrumentMedium(m_ctx, side);
    CheckProduct(m_ctx); // 14
    // 15: a host pane shows its folder at once; an instrument pane waits for Connection.
    for (const QString& side : {QStringLiteral("R"), QStringLiteral("L")}) {
        if (m_state.devId(side) == QLatin1String("0")) {
            restoreHostDrive(m_ctx, side);
            ShowHostDrives(m_ctx, side);
            LoadListview(m_ctx, side);
        } else {
            FillMediaList(m_ctx, side);
        }
    }
    setWindowTitle(ResourceTexts::text(9100)); // 16
    m_state.TransferBusy = false;              // 17
    m_state.StopRequested = false;
    showKeysInTips();
    showLineStatus();
    markActivePane();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (!m_state.CloseAllowed) {
        event->ignore();
        return;
    }
    unload();
    event->accept();
}

void frmMain::saveGeometryOnExit()
{
    const QString title = programTitle();
    const double dpi = logicalDpi();
    auto twips = [dpi](int px) {
        return QString::number(px * 1440.0 / dpi, 'g', 7);
    };
    // A maximised window keeps its maximised place and size; a minimised one keeps what was stored.
    const QRect g = geometry();
    const QPoint p = pos();
    m_settings.save(title, kSettings, QStringLiteral("MainLeft"), twips(p.x()));
    m_settings.save(title, kSettings, QStringLiteral("MainTop"), twips(p.y()));
    m_settings.save(title, kSettings, QStringLiteral("MainWidth"), twips(g.width()));
    m_settings.save(title, kSettings, QStringLiteral("MainHeight"), twips(g.height()));
}

void frmMain::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    const QString exe = m_settings.exeName();

    m_link.PexClose(); // 1: whether or not a link is open; the instrument is not told
    // 2: the other windows go, the most recent first.
    const auto windows = QApplication::topLevelWidgets();
    for (auto it = windows.crbegin(); it != windows.crend(); ++it)
        if (*it != this && (*it)->isVisible() && (*it)->parentWidget() == this)
            (*it)->close();
    if (!isMinimized()) // 3
        saveGeometryOnExit();
    savePanesLayout();
    m_settings.save(programTitle(), kSettings, QStringLiteral("ViewMode"),
                    QStringLiteral("3"));                                    // 4: report view
    m_settings.save(exe, kSettings, QStringLiteral("Lpath"), m_state.Lpath); // 5
    m_settings.save(exe, kSettings, QStringLiteral("Rpath"), m_state.Rpath);
    m_settings.save(exe, kSettings, QStringLiteral("Ldrive"), QString::number(m_state.Ldrive));
    m_settings.save(exe, kSettings, QStringLiteral("Rdrive"), QString::number(m_state.Rdrive));
    saveHostDrive(m_ctx, QStringLiteral("L"));
    saveHostDrive(m_ctx, QStringLiteral("R"));
    m_settings.WriteIniValue(exe, kSettings, QStringLiteral("RDevID"), m_state.RDevID); // 6
    m_settings.WriteIniValue(exe, kSettings, QStringLiteral("LDevID"), m_state.LDevID);
    saveSerialSettingsOnExit(m_state, m_settings); // 7
}

} // namespace orvalt
