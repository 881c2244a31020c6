#include "TVaBuffers.h"

void TVaBuffers::Assign(const TVaPersistent *source)
{
    const auto *other = dynamic_cast<const TVaBuffers *>(source);
    if (!other) {
        TVaPersistent::Assign(source);
        return;
    }
    // Field by field: the batch ends in exactly one notification.
    AssignBatch([this, other] {
        m_readSize = other->m_readSize;
        m_writeSize = other->m_writeSize;
        m_readTimeout = other->m_readTimeout;
        m_writeTimeout = other->m_writeTimeout;
        m_xonLimit = other->m_xonLimit;
        m_xoffLimit = other->m_xoffLimit;
    });
}
