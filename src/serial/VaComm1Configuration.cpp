#include "VaComm1Configuration.h"

#include "TVaComm.h"

void configureAsVaComm1(TVaComm &comm)
{
    comm.setBaudrate(br300);
    comm.setStopbits(sb2);
    comm.setFlowControl(TVaFlowControl());
    comm.setOptions({coErrorChar, coNullStrip, coParityCheck});
    comm.setPortNum(8);
    comm.setDeviceName(QStringLiteral("COM%d"));
    comm.setMonitorEvents({ceBreak, ceCts, ceError, ceRxChar, cePErr});
    comm.setWritePriority(tpNormal);
}
