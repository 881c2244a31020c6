#pragma once

#include "TVaEvent.h"

// A manual-reset event, created unsignalled.
class TVaWaitEvent : public TVaEvent
{
public:
    TVaWaitEvent();
};
