#pragma once

#include "TVaPersistent.h"
#include "TVaTypes.h"

// Hardware and software flow control of the line. All off by default.
class TVaFlowControl : public TVaPersistent
{
public:
    TVaFlowControl() = default;

    bool OutCtsFlow() const { return m_outCtsFlow; }
    bool OutDsrFlow() const { return m_outDsrFlow; }
    TVaControlDtr ControlDtr() const { return m_controlDtr; }
    TVaControlRts ControlRts() const { return m_controlRts; }
    bool XonXoffOut() const { return m_xonXoffOut; }
    bool XonXoffIn() const { return m_xonXoffIn; }
    bool DsrSensitivity() const { return m_dsrSensitivity; }
    bool TxContinueOnXoff() const { return m_txContinueOnXoff; }

    // Each setter notifies only when the value changes.
    void setOutCtsFlow(bool value) { store(m_outCtsFlow, value); }
    void setOutDsrFlow(bool value) { store(m_outDsrFlow, value); }
    void setControlDtr(TVaControlDtr value) { store(m_controlDtr, value); }
    void setControlRts(TVaControlRts value) { store(m_controlRts, value); }
    void setXonXoffOut(bool value) { store(m_xonXoffOut, value); }
    void setXonXoffIn(bool value) { store(m_xonXoffIn, value); }
    void setDsrSensitivity(bool value) { store(m_dsrSensitivity, value); }
    void setTxContinueOnXoff(bool value) { store(m_txContinueOnXoff, value); }

    void Assign(const TVaPersistent *source) override;
    QString ClassName() const override { return QStringLiteral("TVaFlowControl"); }

private:
    template <typename T> void store(T &field, T value)
    {
        if (field != value) {
            field = value;
            Changed();
        }
    }

    bool m_outCtsFlow = false;
    bool m_outDsrFlow = false;
    TVaControlDtr m_controlDtr = dtrDisabled;
    TVaControlRts m_controlRts = rtsDisabled;
    bool m_xonXoffOut = false;
    bool m_xonXoffIn = false;
    bool m_dsrSensitivity = false;
    bool m_txContinueOnXoff = false;
};
