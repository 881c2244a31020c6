#pragma once

#include "TVaHandleObject.h"

// An event that stays signalled until it is reset.
class TVaEvent : public TVaHandleObject
{
public:
    using TVaHandleObject::TVaHandleObject;

    void Signal();
    void Reset();
};
