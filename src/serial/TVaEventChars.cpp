#include "TVaEventChars.h"

void TVaEventChars::Assign(const TVaPersistent *source)
{
    const auto *other = dynamic_cast<const TVaEventChars *>(source);
    if (!other) {
        TVaPersistent::Assign(source);
        return;
    }
    AssignBatch([this, other] {
        setXonChar(other->m_xonChar);
        setXoffChar(other->m_xoffChar);
        setErrorChar(other->m_errorChar);
        setEventChar(other->m_eventChar);
        setEofChar(other->m_eofChar);
    });
}
