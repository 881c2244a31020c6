#include "OpenFailureReport.h"

#include "EVaCommError.h"
#include "StatusLine.h"
#include "platform/PortOpenDiagnosis.h"

#include <cstdio>

void reportOpenFailure(StatusLine &statusLine, const QString &portName, const std::exception &error)
{
    const auto *commError = dynamic_cast<const EVaCommError *>(&error);
    const QString errorText = commError ? commError->message() : QString::fromUtf8(error.what());
    const QString reason =
        PortOpenDiagnosis::explain(portName, errorText, commError ? commError->osError() : 0);
    statusLine.setReason(reason);
    std::fputs(("pantrix: cannot open " + reason + '\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}
