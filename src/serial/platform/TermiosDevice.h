#pragma once

#include "CommDevice.h"

#include <atomic>
#include <linux/serial.h>

// A local serial device (/dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*) or a
// pseudo-terminal, driven through termios and the tty ioctls.
//
// The device is opened non-blocking, locked against other programs (flock and
// TIOCEXCL), refused as busy (EBUSY) while another process has it open, and
// switched to raw transfer at once; line parameters come with
// writeLineSettings(). A pseudo-terminal carries data and line settings but has
// no modem lines: driving RTS or DTR there does nothing.
class TermiosDevice : public CommDevice
{
public:
    static std::unique_ptr<CommDevice> open(const QString &path);
    ~TermiosDevice() override;

    QString path() const override { return m_path; }
    WaitItem inputWait() const override { return {m_fd, WaitFor::Input}; }
    WaitItem outputWait() const override { return {m_fd, WaitFor::Output}; }

    bool readLineSettings(LineSettings &settings) override;
    bool writeLineSettings(const LineSettings &settings) override;
    bool setQueueSizes(int readSize, int writeSize) override;
    bool setImmediateReads() override;
    bool setEventMask(quint32 mask) override;

    int read(char *buffer, int max) override;
    int write(const char *buffer, int count) override;
    bool escape(CommFunction function) override;
    bool clearErrors(quint32 &errors, CommStatus &status) override;
    quint32 sampleLineEvents() override;
    int lineEventInterval() const override { return m_hasModemLines ? 50 : -1; }
    bool removed() const override { return m_removed.load(); }
    QString removalCause() const override;

private:
    TermiosDevice(int fd, const QString &path);
    bool setModemLine(int line, bool high);
    bool hungUp() const;
    // `error` is the errno value behind the loss, 0 for a hang-up.
    void markRemoved(int error);
    void waitForOutputToDrain();

    int m_fd;
    QString m_path;
    bool m_hasModemLines;
    std::atomic<bool> m_removed{false};
    // The removal is reported once by clearErrors().
    std::atomic<bool> m_removalUnreported{false};
    std::atomic<int> m_removalError{0};
    // Counters seen by the last clearErrors() (main thread) and by the last
    // sampleLineEvents() (event thread); each thread has its own.
    serial_icounter_struct m_errorBaseline{};
    serial_icounter_struct m_eventBaseline{};
    int m_lastModemBits = 0;
    // DTR and RTS control modes of the last line settings written; none yet.
    static constexpr quint32 NoControl = ~quint32(0);
    quint32 m_dtrControl = NoControl;
    quint32 m_rtsControl = NoControl;
};
