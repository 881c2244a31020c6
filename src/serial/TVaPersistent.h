#pragma once

#include <QString>
#include <functional>

// Base of the component's setting groups. A group tells its owner about every
// change through one handler; BeginUpdate/EndUpdate bracket a batch of changes
// so that the owner hears of them once, at the end.
class TVaPersistent
{
public:
    using ChangeHandler = std::function<void(TVaPersistent *sender)>;

    virtual ~TVaPersistent() = default;

    void BeginUpdate() { ++m_updateCount; }
    void EndUpdate();
    // Calls the change handler when no update is in progress.
    void Changed();

    int UpdateCount() const { return m_updateCount; }
    void SetOnChange(ChangeHandler handler) { m_onChange = std::move(handler); }

    // Copies a group of the same class; any other source raises an EConvertError.
    virtual void Assign(const TVaPersistent *source);
    virtual QString ClassName() const = 0;

protected:
    TVaPersistent() = default;
    TVaPersistent(const TVaPersistent &) = delete;
    TVaPersistent &operator=(const TVaPersistent &) = delete;

    // Runs `copy` inside BeginUpdate/EndUpdate, so a whole copy is one change.
    void AssignBatch(const std::function<void()> &copy);

private:
    qint32 m_updateCount = 0;
    ChangeHandler m_onChange;
};
