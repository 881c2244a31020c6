#pragma once

#include "BrightnessTelegram.h"
#include "SettingsTelegram.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

class DisplayLink;
struct ConnectOutcome;

// What to do with one display.
struct JobPlan
{
    enum class Kind
    {
        ReadSettings,
        ReadBrightness,
        SendSettings,
        SendBrightness,
        Apply,
        UserString
    };
    Kind kind = Kind::ReadSettings;
    std::optional<SettingsTelegram::Bytes> settings;     // to send or apply
    std::optional<BrightnessTelegram::Bytes> brightness; // to send or apply
    QByteArray userText;                                 // Windows-1252, with "#nnn" escapes

    QString operationName() const;
};

// How it ended for one display.
struct JobResult
{
    QString port;
    QString operation;
    // "done", or for apply "changed" / "unchanged"; "failed" otherwise.
    QString outcome;
    // A word a script can test: "cannot-open", "no-ack", "wrong-answer", "time-out",
    // "echo-differs", "verify-differs", "contact-lost", "port-lost", "bad-record",
    // "bad-escape", "cancelled".
    QString reason;
    QString error;                        // the reason in words, naming the port
    QString hint;                         // what to do about a port that did not open, or empty
    std::optional<QByteArray> settings;   // the display's settings record at the end
    std::optional<QByteArray> brightness; // the display's brightness record at the end
    qint64 milliseconds = 0;

    bool failed() const { return outcome == QLatin1String("failed"); }
};

// One display worked through its own link, step after step, driven by the
// link's events: many jobs run side by side on one thread, each bound only by
// its own wire. A job connects with the handshake, does what its plan says,
// and always closes its port (RTS low) at the end, also when aborted.
class DisplayJob : public QObject
{
    Q_OBJECT

public:
    DisplayJob(const QString &port, const JobPlan &plan, QObject *parent = nullptr);
    ~DisplayJob() override;

    void start();
    // Ends the job now (a signal arrived): the port closes, the job fails as cancelled.
    void abort();

    bool isFinished() const { return m_finished; }
    // A step of the job is on the stack (an open that waits for its server
    // serves the other jobs' events meanwhile): the job must not be deleted.
    bool isInStep() const { return m_stepDepth > 0; }
    const JobResult &result() const { return m_result; }
    // What the job does now, e.g. "reading settings".
    QString activity() const { return m_activity; }

signals:
    void activityChanged();
    void finished();

private:
    using Step = std::function<void()>;

    void planSteps();
    void next();
    void setActivity(const QString &activity);
    void fail(const QString &reason, const QString &text);
    void failTransfer(const QString &reason, const QString &text);
    void finish();

    void connectStep();
    void onConnected(const ConnectOutcome &outcome);
    // A read whose record must decode fails as "bad-record" when it does not.
    void readStep(bool settings, bool mustDecode, std::function<void(const QByteArray &)> then);
    void sendStep(bool settings, const QByteArray &telegram);
    void applyStep(bool settings, const QByteArray &wanted);
    void verifyStep(bool settings, const QByteArray &wanted);
    void userStringStep();
    void drainStep(int wireMs);
    // Whether the port's output queue is empty; nothing when the port is gone.
    std::optional<bool> outputDrained();
    std::optional<QByteArray> &recordOf(bool settings);

    QString m_port;
    JobPlan m_plan;
    JobResult m_result;
    DisplayLink *m_link = nullptr;
    QList<Step> m_steps;
    QString m_activity;
    QElapsedTimer m_clock;
    bool m_changed = false;
    bool m_finished = false;
    int m_stepDepth = 0;
};
