#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "serial/comm_control.h"
#include "serial/comm_settings.h"
#include "serial/read_pacer.h"

namespace sphyra {

// The serial communications control over QSerialPort, driven by the event loop
// of the thread it lives on (no threads of its own). Properties keep the
// control's types and meanings; OnComm() is raised with CommEvent
// kCommEvReceive while received bytes wait (at least RThreshold of them; 0 turns
// receive notifications off) and once with kCommEvDeviceLost when the device
// goes away, after which the port reads closed.
//
// One notification never offers more than InBufferSize - 1 bytes (further
// notifications follow from the event loop while bytes remain), and Input never
// returns more than InputLen bytes when InputLen is set, so a reader with a
// fixed buffer of InBufferSize bytes can take everything without overflowing.
class CMSComm final : public QObject, public CommControl {
    Q_OBJECT

public:
    // Turns a port number into a device path; empty when the number has none.
    // Asked again at every open.
    using PortResolver = std::function<std::string(int)>;

    explicit CMSComm(PortResolver resolver, QObject* parent = nullptr);
    ~CMSComm() override;

    // Port number 1 and up; CommError when it is out of range or the port is open.
    void SetCommPort(std::int16_t port) override;
    // CommError when the text is not "baud,parity,data,stop" or, while open, the
    // device refuses it.
    void SetSettings(const std::string& settings) override;
    void SetInBufferSize(std::int16_t size) override;   // CommError when < 1
    void SetOutBufferSize(std::int16_t size) override;  // CommError when < 1
    void SetInputMode(std::int32_t mode) override;      // 0 text, 1 binary; same bytes either way
    void SetRThreshold(std::int16_t threshold) override;
    void SetSThreshold(std::int16_t threshold) override;  // kept; nothing is sent
    void SetInputLen(std::int16_t len) override;
    void SetDTREnable(bool enable) override;
    void SetRTSEnable(bool enable) override;

    bool GetPortOpen() const override;
    // true: resolves the port number and opens that device, throwing CommError
    // with the reason (no such device, permission denied, in use, ...).
    // false: closes the port and discards bytes not yet taken.
    void SetPortOpen(bool open) override;

    std::int16_t GetInBufferCount() const override;  // at most InBufferSize - 1
    std::vector<std::uint8_t> GetInput() override;
    std::int16_t GetCommEvent() const override { return m_commEvent; }

    std::int16_t GetCommPort() const { return m_commPort; }
    std::string GetSettings() const { return m_settings.ToString(); }
    std::int16_t GetInBufferSize() const { return m_inBufferSize; }
    std::int16_t GetOutBufferSize() const { return m_outBufferSize; }
    std::int32_t GetInputMode() const { return m_inputMode; }
    std::int16_t GetRThreshold() const { return m_rThreshold; }
    std::int16_t GetSThreshold() const { return m_sThreshold; }
    std::int16_t GetInputLen() const { return m_inputLen; }
    bool GetDTREnable() const { return m_dtrEnable; }
    bool GetRTSEnable() const { return m_rtsEnable; }
    // Reads the device at most once per `ms` milliseconds instead of at every arrival (0, the
    // default): fewer wake-ups while nobody watches, at the cost of that much delay.
    void SetReadBatchMs(int ms) { m_pacer.SetIntervalMs(ms); }
    int GetReadBatchMs() const { return m_pacer.IntervalMs(); }
    // While reading in batches: bytes that should not wait are due in about `ms` milliseconds;
    // what arrives from shortly before then until the next call is read at once.
    void ExpectUrgentBytesInMs(int ms) { m_pacer.ExpectUrgentInMs(ms); }
    const ReadPacer& Pacer() const { return m_pacer; }
    // The device the port is open on, empty while closed.
    const std::string& DevicePath() const { return m_devicePath; }

signals:
    void OnComm();

private:
    void OpenDevice();
    void CloseDevice();
    bool ApplySettings(const CommSettings& settings);
    void OnReadyRead();
    void ReceivedRead(const char* bytes, qint64 n);
    void OnPortError(QSerialPort::SerialPortError error);
    bool ReceiveDue() const;
    void ScheduleNotification();
    void DeliverNotifications();
    bool DeliverRound();
    std::int64_t DeliveryLimit() const;

    PortResolver m_resolver;
    QSerialPort m_port;
    ReadPacer m_pacer{m_port, [this](const char* bytes, qint64 n) { ReceivedRead(bytes, n); }};
    QByteArray m_received;  // bytes read from the device, not yet taken through Input
    std::string m_devicePath;
    std::string m_deviceKey;  // the device as registered while open (symlinks resolved)

    std::int16_t m_commPort = 1;
    CommSettings m_settings;
    std::int16_t m_inBufferSize = 1024;
    std::int16_t m_outBufferSize = 512;
    std::int32_t m_inputMode = 0;
    std::int16_t m_rThreshold = 0;
    std::int16_t m_sThreshold = 0;
    std::int16_t m_inputLen = 0;
    bool m_dtrEnable = false;
    bool m_rtsEnable = false;
    std::int16_t m_commEvent = 0;

    bool m_configuring = false;   // errors while opening are reported by the open itself
    bool m_notifyQueued = false;  // a DeliverNotifications call is waiting in the loop
    bool m_delivering = false;    // inside OnComm
    bool m_redeliver = false;     // data arrived during a nested delivery attempt
    bool m_lostPending = false;   // the device went away; say so once the data is out
    std::uint64_t m_taken = 0;    // bytes handed out through Input so far
};

}  // namespace sphyra
