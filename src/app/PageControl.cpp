#include "PageControl.h"

#include "PageTabBar.h"

PageControl::PageControl(QWidget *parent) : QTabWidget(parent)
{
    setTabBar(new PageTabBar(this));
    tabBar()->setMouseTracking(true); // hot-tracking tabs
    connect(this, &QTabWidget::currentChanged, this, &PageControl::onCurrentChanged);
}

void PageControl::setActivePage(QWidget *page)
{
    ++m_programChange;
    setCurrentWidget(page);
    --m_programChange;
}

void PageControl::setPageTabVisible(QWidget *page, bool visible)
{
    ++m_programChange;
    setTabVisible(indexOf(page), visible);
    --m_programChange;
}

bool PageControl::isPageTabVisible(QWidget *page) const
{
    return isTabVisible(indexOf(page));
}

int PageControl::tabIndex() const
{
    const int current = currentIndex();
    if (current < 0 || !isTabVisible(current))
        return -1;
    int visibleBefore = 0;
    for (int i = 0; i < current; ++i)
        visibleBefore += isTabVisible(i) ? 1 : 0;
    return visibleBefore;
}

void PageControl::selectTabAsUser(int visibleIndex)
{
    for (int i = 0; i < count(); ++i) {
        if (!isTabVisible(i))
            continue;
        if (visibleIndex-- == 0) {
            setCurrentIndex(i);
            return;
        }
    }
}

void PageControl::onCurrentChanged()
{
    const int current = currentIndex();
    if (m_programChange == 0 && current >= 0 && !isTabVisible(current)) {
        // A hidden tab stays out of the user's reach, whoever asks for it.
        ++m_programChange;
        setCurrentIndex(m_lastCurrent);
        --m_programChange;
        return;
    }
    m_lastCurrent = current;
    if (m_programChange == 0)
        emit change();
}
