#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace orvalt {

struct AppState;
class Settings;

// The RS-232C settings dialog. Loading it reads the stored settings into the program-wide state
// (discarding changes a cancelled dialog left in memory); choosing a port or a list entry stores
// into the state at once, so it is in force for the next connect whichever button closes the
// dialog; OK also writes the settings to the user settings store. The main window opens it
// modally with exec().
class frmSerial : public QDialog
{
    Q_OBJECT

public:
    // The dialog's controls, under the names the rest of the program knows them by.
    struct Controls
    {
        QGroupBox* fraPortNumber = nullptr;
        QButtonGroup* optPortNumber = nullptr; // ids: 1 Com1, 2 Com2, 3 Com3, 0 Com4
        QLabel* lblDevice = nullptr;
        QComboBox* cboDevice = nullptr; // the chosen port's device, editable
        QGroupBox* fraPortSet = nullptr;
        QLabel* lblBitPerSec = nullptr;
        QLabel* lblParity = nullptr;
        QLabel* lblDataBit = nullptr;
        QLabel* lblStopBit = nullptr;
        QLabel* lblFlow = nullptr;
        QComboBox* cboBaud = nullptr;
        QComboBox* cboParity = nullptr;
        QComboBox* cboDBits = nullptr;
        QComboBox* cboSBits = nullptr;
        QComboBox* cboHandShake = nullptr;
        QPushButton* cmdOK = nullptr;
        QPushButton* cmdCancel = nullptr;
    };

    frmSerial(AppState& state, Settings& settings, QWidget* parent = nullptr);

    const Controls& controls() const { return m_c; }

public slots:
    void optPortNumber_Click(int index);
    void cboBaud_Click(int position);
    void cboParity_Click(int position);
    void cboDBits_Click(int position);
    void cboSBits_Click(int position);
    void cboHandShake_Click(int position);
    void cboDevice_Change(const QString& device);
    void cmdOk_Click();
    void cmdCancel_Click();

private:
    void createControls();
    void connectSignals();
    void centreOnScreen();
    void applyFontRule();
    void applyTexts();
    void fillLists();
    void showStoredPort();
    // Stores a list position into the selected port's slot of one of the per-port arrays.
    void storePosition(std::array<int16_t, 6>& perPort, int position);

    AppState& m_state;
    Settings& m_settings;
    Controls m_c;
};

} // namespace orvalt
