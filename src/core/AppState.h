#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace orvalt {

// The state that more than one action of the program uses, under the names the rest of the
// code knows it by. The main window owns the one instance and hands it by reference to the
// routines that need it; nothing else is global.
struct AppState
{
    // Per pane: source ("0" Host PC, "1" the instrument), medium or drive code, 1-based entry
    // of the media list, and current folder ("\" for the root, no "\" at the end).
    QString LDevID;
    QString RDevID;
    QString LMedium;
    QString RMedium;
    int16_t Ldrive = 2;
    int16_t Rdrive = 2;
    QString Lpath = QStringLiteral("\\");
    QString Rpath = QStringLiteral("\\");
    bool LActive = false;
    bool RActive = false;

    bool Connected = false;
    // The device and line settings the open link was opened with ("/dev/ttyUSB0 · 115200 8N1"):
    // settings changed in the serial dialog since take effect at the next connect, and the status
    // bar must not show them before.
    QString OpenLine;
    bool Interactive = false;
    bool LongNames = false;
    QString ModelName = QStringLiteral("KD7350");
    QString LastReplyCode;
    // Why the instrument refused the last request, as its refusal said (link::RefusalReason; 0 none).
    int lastRefusal = 0;

    bool TransferBusy = false;
    bool StopRequested = false;
    // Interruption pressed a second time: the file in hand is dropped at once, not finished.
    bool StopFileNow = false;
    bool OverwriteAll = false;
    bool CloseAllowed = true;

    int16_t DialogAnswer = 0;
    QString OverwriteName;
    QString OverwriteSource;
    QString OverwriteDest;
    bool NewFolderMode = false;
    QString NewFolderName;
    QString WarnName;
    QString WarnKind;
    QString WarnMode;
    // The name dialog asks for a name on an instrument that takes 8.3 names only (upper case); set by
    // the routine that opens it, from the place the name is for.
    bool WarnShortNames = false;

    // Serial settings as list positions; slots 1 to 4 are the ports Com1 to Com4.
    static constexpr int kPortSlots = 6;
    int16_t PortNumber = 1;
    std::array<int16_t, kPortSlots> PortSpeed{};
    std::array<int16_t, kPortSlots> PortParity{};
    std::array<int16_t, kPortSlots> PortDataBits{};
    std::array<int16_t, kPortSlots> PortStopBits{};
    std::array<int16_t, kPortSlots> PortHandShake{};
    // The device each port stands for on this machine (COMn on Windows, /dev/ttyS0.. elsewhere,
    // or whatever the user chose: a USB adapter, the virtual instrument).
    std::array<QString, kPortSlots> PortDevice{};

    // Helpers for routines that serve either pane; side is "L" or anything else for the right.
    static bool isLeft(const QString& side) { return side == QLatin1String("L"); }
    QString& devId(const QString& side) { return isLeft(side) ? LDevID : RDevID; }
    QString& medium(const QString& side) { return isLeft(side) ? LMedium : RMedium; }
    int16_t& drive(const QString& side) { return isLeft(side) ? Ldrive : Rdrive; }
    QString& path(const QString& side) { return isLeft(side) ? Lpath : Rpath; }
    const QString& devId(const QString& side) const { return isLeft(side) ? LDevID : RDevID; }
    const QString& medium(const QString& side) const { return isLeft(side) ? LMedium : RMedium; }
    int16_t drive(const QString& side) const { return isLeft(side) ? Ldrive : Rdrive; }
    const QString& path(const QString& side) const { return isLeft(side) ? Lpath : Rpath; }
};

} // namespace orvalt
