#include "window/frmSerial.h"

#include "core/AppState.h"
#include "core/ResourceTexts.h"
#include "core/SerialSettings.h"
#include "core/Settings.h"
#include "link/NetworkDevice.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace orvalt {

static_assert(AppState::kPortSlots == 6, "frmSerial::storePosition takes the per-port arrays");

namespace {

template<typename T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

void fill(QComboBox* box, const QList<SerialSettings::ListEntry>& entries)
{
    // Filling is not a choice of the user: nothing may be stored into the state meanwhile.
    const QSignalBlocker blocker(box);
    box->clear();
    for (const auto& entry : entries)
        box->addItem(entry.text, entry.lineValue);
}

} // namespace

frmSerial::frmSerial(AppState& state, Settings& settings, QWidget* parent)
    : QDialog(parent)
    , m_state(state)
    , m_settings(settings)
{
    createControls();
    connectSignals();

    applyFontRule();
    applyTexts();
    m_c.optPortNumber->button(3)->setEnabled(false);
    m_c.optPortNumber->button(0)->setEnabled(false);
    PortIni(m_state, m_settings);
    fillLists();
    showStoredPort();
    // Centring comes last: the dialog's size is known only once its texts and lists are in.
    centreOnScreen();
}

void frmSerial::createControls()
{
    setObjectName(QStringLiteral("frmSerial"));
    m_c.fraPortNumber = named(new QGroupBox(this), "fraPortNumber");
    m_c.optPortNumber = named(new QButtonGroup(this), "optPortNumber");
    auto* buttons = new QHBoxLayout;
    // Left to right Com1..Com4; the ids are the port button indexes (Com4's is 0).
    for (const int id : {1, 2, 3, 0}) {
        auto* option = new QRadioButton(m_c.fraPortNumber);
        option->setObjectName(QStringLiteral("optPortNumber%1").arg(id));
        m_c.optPortNumber->addButton(option, id);
        buttons->addWidget(option);
    }
    buttons->addStretch();
    m_c.lblDevice = named(new QLabel(m_c.fraPortNumber), "lblDevice");
    m_c.cboDevice = named(new QComboBox(m_c.fraPortNumber), "cboDevice");
    m_c.cboDevice->setEditable(true);
    m_c.cboDevice->setInsertPolicy(QComboBox::NoInsert);
    m_c.cboDevice->lineEdit()->setMaxLength(SerialSettings::kMaxDeviceLength);
    m_c.cboDevice->setMinimumContentsLength(16);
    m_c.cboDevice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_c.lblDevice->setBuddy(m_c.cboDevice);
    auto* device = new QHBoxLayout;
    device->addWidget(m_c.lblDevice);
    device->addWidget(m_c.cboDevice, 1);
    auto* portLayout = new QVBoxLayout(m_c.fraPortNumber);
    portLayout->addLayout(buttons);
    portLayout->addLayout(device);

    m_c.fraPortSet = named(new QGroupBox(this), "fraPortSet");
    m_c.lblBitPerSec = named(new QLabel(m_c.fraPortSet), "lblBitPerSec");
    m_c.lblParity = named(new QLabel(m_c.fraPortSet), "lblParity");
    m_c.lblDataBit = named(new QLabel(m_c.fraPortSet), "lblDataBit");
    m_c.lblStopBit = named(new QLabel(m_c.fraPortSet), "lblStopBit");
    m_c.lblFlow = named(new QLabel(m_c.fraPortSet), "lblFlow");
    m_c.cboBaud = named(new QComboBox(m_c.fraPortSet), "cboBaud");
    m_c.cboParity = named(new QComboBox(m_c.fraPortSet), "cboParity");
    m_c.cboDBits = named(new QComboBox(m_c.fraPortSet), "cboDBits");
    m_c.cboSBits = named(new QComboBox(m_c.fraPortSet), "cboSBits");
    m_c.cboHandShake = named(new QComboBox(m_c.fraPortSet), "cboHandShake");
    auto* form = new QFormLayout(m_c.fraPortSet);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(m_c.lblBitPerSec, m_c.cboBaud);
    form->addRow(m_c.lblParity, m_c.cboParity);
    form->addRow(m_c.lblDataBit, m_c.cboDBits);
    form->addRow(m_c.lblStopBit, m_c.cboSBits);
    form->addRow(m_c.lblFlow, m_c.cboHandShake);

    m_c.cmdOK = named(new QPushButton(this), "cmdOK");
    m_c.cmdCancel = named(new QPushButton(this), "cmdCancel");
    m_c.cmdOK->setDefault(true);
    auto* buttonBox = new QDialogButtonBox(this);
    buttonBox->addButton(m_c.cmdOK, QDialogButtonBox::AcceptRole);
    buttonBox->addButton(m_c.cmdCancel, QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_c.fraPortNumber);
    layout->addWidget(m_c.fraPortSet);
    layout->addWidget(buttonBox);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void frmSerial::connectSignals()
{
    connect(m_c.optPortNumber, &QButtonGroup::idClicked, this, &frmSerial::optPortNumber_Click);
    connect(m_c.cboBaud, &QComboBox::currentIndexChanged, this, &frmSerial::cboBaud_Click);
    connect(m_c.cboParity, &QComboBox::currentIndexChanged, this, &frmSerial::cboParity_Click);
    connect(m_c.cboDBits, &QComboBox::currentIndexChanged, this, &frmSerial::cboDBits_Click);
    connect(m_c.cboSBits, &QComboBox::currentIndexChanged, this, &frmSerial::cboSBits_Click);
    connect(m_c.cboHandShake, &QComboBox::currentIndexChanged, this, &frmSerial::cboHandShake_Click);
    connect(m_c.cboDevice, &QComboBox::editTextChanged, this, &frmSerial::cboDevice_Change);
    connect(m_c.cmdOK, &QPushButton::clicked, this, &frmSerial::cmdOk_Click);
    connect(m_c.cmdCancel, &QPushButton::clicked, this, &frmSerial::cmdCancel_Click);
}

void frmSerial::centreOnScreen()
{
    adjustSize();
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void frmSerial::applyFontRule()
{
    // The dialog was laid out for this font; where the system lacks it, the next family in the
    // list (the program's own) is used at the same size.
    if (ResourceTexts::text(8200).size() != 3)
        return;
    QFont f = font();
    f.setFamilies({QStringLiteral("MS Sans Serif"), f.family()});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(9);
    setFont(f);
    for (QWidget* control : findChildren<QWidget*>())
        control->setFont(f);
}

void frmSerial::applyTexts()
{
    using ResourceTexts::text;
    setWindowTitle(text(7000));
    m_c.fraPortNumber->setTitle(text(7001));
    m_c.optPortNumber->button(1)->setText(text(7002));
    m_c.optPortNumber->button(2)->setText(text(7003));
    m_c.optPortNumber->button(3)->setText(text(7004));
    m_c.optPortNumber->button(0)->setText(text(7005));
    m_c.lblDevice->setText(QStringLiteral("&Device:"));
    m_c.fraPortSet->setTitle(text(7006));
    m_c.lblBitPerSec->setText(text(7007));
    m_c.lblParity->setText(text(7008));
    m_c.lblDataBit->setText(text(7009));
    m_c.lblStopBit->setText(text(7010));
    m_c.lblFlow->setText(text(7011));
    m_c.cmdOK->setText(text(100));
    m_c.cmdCancel->setText(text(101));
}

void frmSerial::fillLists()
{
    fill(m_c.cboBaud, SerialSettings::speedList());
    fill(m_c.cboParity, SerialSettings::parityList());
    fill(m_c.cboDBits, SerialSettings::dataBitsList());
    fill(m_c.cboSBits, SerialSettings::stopBitsList());
    fill(m_c.cboHandShake, SerialSettings::handShakeList());
    const QSignalBlocker blocker(m_c.cboDevice);
    m_c.cboDevice->clear();
    // The box shows and stores the device itself; its list shows beside each one what tells it
    // apart (the stable name's device, description, maker, serial number).
    auto* model = new QStandardItemModel(m_c.cboDevice);
    for (const SerialSettings::PortChoice& choice :
         SerialSettings::portChoices(SerialSettings::systemPorts())) {
        auto* details = new QStandardItem(choice.details);
        details->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
        model->appendRow({new QStandardItem(choice.device), details});
    }
    // The devices on the network the ports were given before: typed once, offered after.
    QStringList network;
    for (int port = SerialSettings::kFirstPort; port <= SerialSettings::kLastReadPort; ++port) {
        const QString device = m_state.PortDevice[static_cast<size_t>(port)];
        const std::optional<link::NetworkDevice> parsed = link::parseNetworkDevice(device);
        if (!parsed || network.contains(device))
            continue;
        network << device;
        auto* details =
            new QStandardItem(parsed->kind == link::NetworkDevice::Kind::Rfc2217
                                  ? QStringLiteral("on the network, line settings sent (RFC 2217)")
                                  : QStringLiteral("on the network, the server's line settings"));
        details->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
        model->appendRow({new QStandardItem(device), details});
    }
    auto* view = new QTableView(m_c.cboDevice);
    view->horizontalHeader()->hide();
    view->verticalHeader()->hide();
    view->setShowGrid(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setWordWrap(false);
    m_c.cboDevice->setModel(model);
    m_c.cboDevice->setView(view);
    m_c.cboDevice->setModelColumn(0);
    view->resizeColumnsToContents();
    view->resizeRowsToContents();
    view->setMinimumWidth(view->horizontalHeader()->length() + view->frameWidth() * 2 +
                          view->verticalScrollBar()->sizeHint().width());
}

void frmSerial::showStoredPort()
{
    if (QAbstractButton* button = m_c.optPortNumber->button(m_state.PortNumber))
        button->setChecked(true);
    optPortNumber_Click(m_state.PortNumber);
}

void frmSerial::optPortNumber_Click(int index)
{
    if (index < SerialSettings::kFirstPort || index > SerialSettings::kLastReadPort)
        return; // no port: Com4's button (index 0) is disabled and nothing else gives such an index
    m_state.PortNumber = static_cast<int16_t>(index);
    if (QAbstractButton* button = m_c.optPortNumber->button(index); button && !button->isChecked())
        button->setChecked(true);
    // Each selection stores its value back through the list's own click action.
    m_c.cboBaud->setCurrentIndex(m_state.PortSpeed[index]);
    m_c.cboParity->setCurrentIndex(m_state.PortParity[index]);
    m_c.cboDBits->setCurrentIndex(m_state.PortDataBits[index]);
    m_c.cboSBits->setCurrentIndex(m_state.PortStopBits[index]);
    m_c.cboHandShake->setCurrentIndex(m_state.PortHandShake[index]);
    m_c.cboDevice->setEditText(m_state.PortDevice[index]);
}

void frmSerial::storePosition(std::array<int16_t, 6>& perPort, int position)
{
    const int slot = SerialSettings::selectedSlot(m_state);
    if (position < 0 || slot < 0)
        return; // a cleared list chooses nothing
    perPort[static_cast<size_t>(slot)] = static_cast<int16_t>(position);
}

void frmSerial::cboBaud_Click(int position)
{
    storePosition(m_state.PortSpeed, position);
}

void frmSerial::cboParity_Click(int position)
{
    storePosition(m_state.PortParity, position);
}

void frmSerial::cboDBits_Click(int position)
{
    storePosition(m_state.PortDataBits, position);
}

void frmSerial::cboSBits_Click(int position)
{
    storePosition(m_state.PortStopBits, position);
}

void frmSerial::cboHandShake_Click(int position)
{
    storePosition(m_state.PortHandShake, position);
}

void frmSerial::cboDevice_Change(const QString& device)
{
    const int slot = SerialSettings::selectedSlot(m_state);
    if (slot < 0)
        return;
    // While the user clears the field to type another device, the port falls back to its default
    // rather than to no device at all.
    m_state.PortDevice[static_cast<size_t>(slot)] = SerialSettings::usableDevice(device, slot);
}

void frmSerial::cmdOk_Click()
{
    saveSerialSettings(m_state, m_settings);
    accept();
}

void frmSerial::cmdCancel_Click()
{
    reject();
}

} // namespace orvalt
