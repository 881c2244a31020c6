#include "TVaFlowControl.h"

void TVaFlowControl::Assign(const TVaPersistent *source)
{
    const auto *other = dynamic_cast<const TVaFlowControl *>(source);
    if (!other) {
        TVaPersistent::Assign(source);
        return;
    }
    AssignBatch([this, other] {
        setOutCtsFlow(other->m_outCtsFlow);
        setOutDsrFlow(other->m_outDsrFlow);
        setControlDtr(other->m_controlDtr);
        setControlRts(other->m_controlRts);
        setXonXoffOut(other->m_xonXoffOut);
        setXonXoffIn(other->m_xonXoffIn);
        setDsrSensitivity(other->m_dsrSensitivity);
        setTxContinueOnXoff(other->m_txContinueOnXoff);
    });
}
