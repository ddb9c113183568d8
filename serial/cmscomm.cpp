#include "serial/cmscomm.h"

#include <QMetaObject>
#include <QString>
#include <algorithm>
#include <filesystem>
#include <limits>
#include <set>
#include <system_error>

#include "serial/open_failure.h"

namespace sphyra {
namespace {

// Devices open through any CMSComm of this process. QSerialPort's own lock is
// keyed by the path as written and the kernel's exclusive mode does not bind
// root, so a second open of the same device under another name (a symlink, the
// /dev/pts path) would otherwise succeed and split the byte stream in two.
std::set<std::string>& OpenDevices() {
    static std::set<std::string> devices;
    return devices;
}

std::string DeviceKey(const std::string& device) {
    std::error_code ec;
    const auto canonical = std::filesystem::canonical(device, ec);
    return ec ? device : canonical.string();
}

std::string PortName(std::int16_t port) {
    return "COM" + std::to_string(port);
}

[[noreturn]] void ThrowInvalid(const char* property) {
    throw CommError(std::string("无效的属性值: ") + property +
                    "\nInvalid property value: " + property);
}

QSerialPort::Parity ToQt(CommSettings::Parity parity) {
    switch (parity) {
        case CommSettings::Parity::Even:
            return QSerialPort::EvenParity;
        case CommSettings::Parity::Odd:
            return QSerialPort::OddParity;
        case CommSettings::Parity::Mark:
            return QSerialPort::MarkParity;
        case CommSettings::Parity::Space:
            return QSerialPort::SpaceParity;
        case CommSettings::Parity::None:
            break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits ToQt(CommSettings::StopBits stopBits) {
    switch (stopBits) {
        case CommSettings::StopBits::OneAndHalf:
            return QSerialPort::OneAndHalfStop;
        case CommSettings::StopBits::Two:
            return QSerialPort::TwoStop;
        case CommSettings::StopBits::One:
            break;
    }
    return QSerialPort::OneStop;
}

}  // namespace

CMSComm::CMSComm(PortResolver resolver, QObject* parent)
    : QObject(parent), m_resolver(std::move(resolver)) {
    connect(&m_port, &QSerialPort::readyRead, this, &CMSComm::OnReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &CMSComm::OnPortError);
}

CMSComm::~CMSComm() {
    disconnect(&m_port, nullptr, this, nullptr);
    CloseDevice();
}

void CMSComm::SetCommPort(std::int16_t port) {
    if (m_port.isOpen()) {
        throw CommError("端口已经打开，不能更改端口号。\nPort already open: " + m_devicePath);
    }
    if (port < 1) ThrowInvalid("CommPort");
    m_commPort = port;
}

void CMSComm::SetSettings(const std::string& settings) {
    const auto parsed = CommSettings::Parse(settings);
    if (!parsed) ThrowInvalid("Settings");
    if (m_port.isOpen() && !ApplySettings(*parsed)) {
        const std::string detail = m_port.errorString().toStdString();
        m_port.clearError();
        ApplySettings(m_settings);
        throw CommError("串口设备 " + m_devicePath + " 不支持参数 " + settings + "：" + detail +
                        "\nThe device " + m_devicePath + " refuses the settings " + settings +
                        ": " + detail);
    }
    m_settings = *parsed;
}

void CMSComm::SetInBufferSize(std::int16_t size) {
    if (size < 1) ThrowInvalid("InBufferSize");
    m_inBufferSize = size;
}

void CMSComm::SetOutBufferSize(std::int16_t size) {
    if (size < 1) ThrowInvalid("OutBufferSize");
    m_outBufferSize = size;
}

void CMSComm::SetInputMode(std::int32_t mode) {
    if (mode != 0 && mode != 1) ThrowInvalid("InputMode");
    m_inputMode = mode;
}

void CMSComm::SetRThreshold(std::int16_t threshold) {
    if (threshold < 0) ThrowInvalid("RThreshold");
    m_rThreshold = threshold;
    if (ReceiveDue()) ScheduleNotification();
}

void CMSComm::SetSThreshold(std::int16_t threshold) {
    if (threshold < 0) ThrowInvalid("SThreshold");
    m_sThreshold = threshold;
}

void CMSComm::SetInputLen(std::int16_t len) {
    if (len < 0) ThrowInvalid("InputLen");
    m_inputLen = len;
}

void CMSComm::SetDTREnable(bool enable) {
    m_dtrEnable = enable;
    if (m_port.isOpen()) {
        m_port.setDataTerminalReady(enable);  // not every device has the line
        m_port.clearError();
    }
}

void CMSComm::SetRTSEnable(bool enable) {
    m_rtsEnable = enable;
    if (m_port.isOpen()) {
        m_port.setRequestToSend(enable);
        m_port.clearError();
    }
}

bool CMSComm::GetPortOpen() const {
    return m_port.isOpen();
}

void CMSComm::SetPortOpen(bool open) {
    if (open) {
        if (m_port.isOpen()) {
            throw CommError("端口已经打开。\nPort already open: " + m_devicePath);
        }
        OpenDevice();
        return;
    }
    CloseDevice();
    m_received.clear();
    m_lostPending = false;
}

std::int16_t CMSComm::GetInBufferCount() const {
    const auto waiting = std::min<std::int64_t>(m_received.size(), DeliveryLimit());
    return static_cast<std::int16_t>(waiting);
}

std::vector<std::uint8_t> CMSComm::GetInput() {
    std::int64_t count = std::min<std::int64_t>(m_received.size(), DeliveryLimit());
    if (m_inputLen > 0) count = std::min<std::int64_t>(count, m_inputLen);
    const auto* first = reinterpret_cast<const std::uint8_t*>(m_received.constData());
    std::vector<std::uint8_t> bytes(first, first + count);
    m_received.remove(0, static_cast<qsizetype>(count));
    m_taken += static_cast<std::uint64_t>(count);
    return bytes;
}

std::int64_t CMSComm::DeliveryLimit() const {
    return std::max<std::int64_t>(1, std::int64_t{m_inBufferSize} - 1);
}

void CMSComm::OpenDevice() {
    const std::string portName = PortName(m_commPort);
    const std::string device = m_resolver ? m_resolver(m_commPort) : std::string();
    if (device.empty()) throw CommError(OpenFailureText(OpenFailure::NoDevice, portName, device));
#ifndef _WIN32
    std::error_code ec;
    if (!std::filesystem::exists(device, ec)) {
        throw CommError(OpenFailureText(OpenFailure::NoDevice, portName, device));
    }
#endif
    const std::string key = DeviceKey(device);
    if (OpenDevices().count(key) != 0) {
        throw CommError(OpenFailureText(OpenFailure::InUse, portName, device));
    }

    m_port.setPortName(QString::fromStdString(device));
    ApplySettings(m_settings);  // stored now, applied by open()
    m_configuring = true;
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_configuring = false;
        const QSerialPort::SerialPortError error = m_port.error();
        const std::string detail = m_port.errorString().toStdString();
        m_port.clearError();
        OpenFailure failure = OpenFailure::Other;
        switch (error) {
            case QSerialPort::DeviceNotFoundError:
                failure = OpenFailure::NoDevice;
                break;
            // Qt reports a refused lock, a busy device and a denied one alike.
            case QSerialPort::PermissionError:
                failure =
                    DeviceAccessible(device) ? OpenFailure::InUse : OpenFailure::PermissionDenied;
                break;
            case QSerialPort::OpenError:
                failure = OpenFailure::InUse;
                break;
            default:
                break;
        }
        throw CommError(OpenFailureText(failure, portName, device, detail, DeviceGroup(device),
                                        DeviceOwnership(device)));
    }
    // Pseudo-terminals and some adapters have no modem lines; that is no reason
    // to refuse the port.
    m_port.setDataTerminalReady(m_dtrEnable);
    m_port.setRequestToSend(m_rtsEnable);
    m_port.clearError();
    m_configuring = false;

    OpenDevices().insert(key);
    m_deviceKey = key;
    m_devicePath = device;
    m_received.clear();
    m_lostPending = false;
    m_pacer.PortOpened();
}

void CMSComm::CloseDevice() {
    m_pacer.PortClosed();
    if (m_port.isOpen()) m_port.close();
    m_port.clearError();
    if (!m_deviceKey.empty()) {
        OpenDevices().erase(m_deviceKey);
        m_deviceKey.clear();
    }
    m_devicePath.clear();
}

bool CMSComm::ApplySettings(const CommSettings& settings) {
    bool ok = m_port.setBaudRate(settings.baud);
    ok = m_port.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)) && ok;
    ok = m_port.setParity(ToQt(settings.parity)) && ok;
    ok = m_port.setStopBits(ToQt(settings.stopBits)) && ok;
    return ok;
}

void CMSComm::OnReadyRead() {
    m_received.append(m_port.readAll());
    if (ReceiveDue()) ScheduleNotification();
}

// From the pacer's own notifier or timer, so in the event loop already and outside QSerialPort:
// the bytes, which may be worth several notifications, are handed on here rather than through
// queued calls, each another pass of the loop (and, at every arrival, another wake-up).
void CMSComm::ReceivedRead(const char* bytes, qint64 n) {
    m_received.append(bytes, static_cast<qsizetype>(n));
    if (m_notifyQueued || !ReceiveDue()) return;
    while (DeliverRound()) {
        // A handler asked for a round in the loop meanwhile; that one follows.
        if (m_notifyQueued) return;
    }
}

void CMSComm::OnPortError(QSerialPort::SerialPortError error) {
    if (m_configuring || !m_port.isOpen()) return;
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError) return;
    // Once the device is gone QSerialPort keeps the descriptor and repeats the
    // read error on every pass of the event loop; only closing ends that. Bytes
    // it had already read still reach the program before the loss is reported.
    m_received.append(m_port.readAll());
    CloseDevice();
    m_lostPending = true;
    ScheduleNotification();
}

bool CMSComm::ReceiveDue() const {
    return m_rThreshold > 0 && m_received.size() >= m_rThreshold;
}

void CMSComm::ScheduleNotification() {
    if (m_notifyQueued) return;
    m_notifyQueued = true;
    QMetaObject::invokeMethod(this, &CMSComm::DeliverNotifications, Qt::QueuedConnection);
}

// Runs from the event loop, never from inside QSerialPort, so a handler may
// close the port or open a message box safely.
void CMSComm::DeliverNotifications() {
    m_notifyQueued = false;
    if (DeliverRound()) ScheduleNotification();
}

// One round of notifications; true when another round is due.
bool CMSComm::DeliverRound() {
    if (m_delivering) {
        // A handler is running a nested event loop; pick this up when it returns
        // rather than re-entering it.
        m_redeliver = true;
        return false;
    }
    m_delivering = true;
    bool progress = false;
    if (ReceiveDue()) {
        const std::uint64_t takenBefore = m_taken;
        m_commEvent = kCommEvReceive;
        emit OnComm();
        progress = m_taken != takenBefore;
    }
    // A handler that leaves bytes waiting hears about them again with the next
    // arrival rather than in a loop.
    if (m_lostPending && (!progress || !ReceiveDue())) {
        m_lostPending = false;
        m_commEvent = kCommEvDeviceLost;
        emit OnComm();
    }
    m_delivering = false;
    const bool more = (progress && ReceiveDue()) || m_lostPending;
    const bool again = m_redeliver || more;
    m_redeliver = false;
    return again;
}

}  // namespace sphyra
