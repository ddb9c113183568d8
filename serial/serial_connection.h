#pragma once

#include <optional>
#include <string>

#include "acquisition/sensor_acquisition.h"
#include "acquisition/tick_clock.h"
#include "serial/comm_control.h"
#include "serial/port_settings_file.h"
#include "serial/receive_tap.h"

namespace sphyra {

// What the Open/Close button did, for the window to show. `message`, when not
// empty, goes into a plain modal message box.
struct OpenCloseOutcome {
    enum class Kind { Closed, Opened, Refused, Failed };
    Kind kind = Kind::Refused;
    std::string message;
};

// What one OnComm notification turned out to be.
enum class CommNotice { Ignored, DataReceived, DeviceLost };

// The connection logic between the Open/Close button, the port control, the
// settings file and the acquisition core, free of any window so it can be tested
// on its own. CommError from the control passes through to the caller.
class SerialConnection {
public:
    SerialConnection(CommControl& comm, TickClock& clock, SensorAcquisition& acquisition,
                     PortSettingsFile& settings);

    bool OpenPort(int port, int baud, std::string* message = nullptr);
    void ClosePort();
    bool IsOpen() const;

    // portIndex: the port combo's selection (0 = COM1), none when nothing is selected.
    OpenCloseOutcome OnOpenClose(std::optional<int> portIndex, const std::string& baudText);

    // kCommEvReceive: takes the waiting bytes (never more than the receive ring
    // has room for), appends them to the ring and applies every complete frame.
    // kCommEvDeviceLost: nothing is read; the port already reads closed.
    CommNotice OnCommEvent();

    // Who else sees the bytes and the port's comings and goings; null for nobody.
    // The tap must outlive the connection or be taken off first.
    void SetReceiveTap(ReceiveTap* tap) { m_tap = tap; }

    // The baud text as a signed integer: leading digits only, "abc" is 0.
    static int ParseBaud(const std::string& text);

    // The operator's messages.
    static constexpr const char* kPortNumberError = "端口号错误!";
    static constexpr const char* kChoosePort = "请选择通信端口号!";
    static constexpr const char* kBadBaud = "请输入正确的波特率!";
    static constexpr const char* kOpenFailed = "通信端口打开失败!";

private:
    CommControl& m_comm;
    TickClock& m_clock;
    SensorAcquisition& m_acquisition;
    PortSettingsFile& m_settings;
    ReceiveTap* m_tap = nullptr;
};

}  // namespace sphyra
