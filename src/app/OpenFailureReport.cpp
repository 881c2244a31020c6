#include "OpenFailureReport.h"

#include "StatusLine.h"

#include <cstdio>

void reportOpenFailure(StatusLine &statusLine, const QString &reason)
{
    statusLine.setReason(reason);
    std::fputs(("pantrix: cannot open " + reason + '\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}
