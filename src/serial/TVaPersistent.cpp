#include "TVaPersistent.h"

#include "Exception.h"

void TVaPersistent::EndUpdate()
{
    if (m_updateCount > 0)
        --m_updateCount;
    Changed();
}

void TVaPersistent::Changed()
{
    if (m_updateCount == 0 && m_onChange)
        m_onChange(this);
}

void TVaPersistent::Assign(const TVaPersistent *source)
{
    const QString sourceName = source ? source->ClassName() : QStringLiteral("nil");
    throw EConvertError(QStringLiteral("Cannot assign a %1 to a %2").arg(sourceName, ClassName()));
}

void TVaPersistent::AssignBatch(const std::function<void()> &copy)
{
    BeginUpdate();
    try {
        copy();
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}
