#pragma once

#include "TVaCustomComm.h"

// The serial port component as the window uses it; all behaviour is in TVaCustomComm.
class TVaComm : public TVaCustomComm
{
public:
    explicit TVaComm(QObject *parent = nullptr);
};
