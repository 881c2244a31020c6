#pragma once

#include <QTabWidget>

// Pages with tabs that can be hidden. `tabIndex` counts visible tabs only;
// `change` runs only when the user selects another tab, never for a page
// change the program makes.
class PageControl : public QTabWidget
{
    Q_OBJECT

public:
    explicit PageControl(QWidget *parent = nullptr);

    void setActivePage(QWidget *page);
    QWidget *activePage() const { return currentWidget(); }
    void setPageTabVisible(QWidget *page, bool visible);
    bool isPageTabVisible(QWidget *page) const;

    // Position of the selected tab among the visible tabs, -1 when none.
    int tabIndex() const;
    // Selects the visible tab at `visibleIndex` as a user click would.
    void selectTabAsUser(int visibleIndex);

signals:
    void change();

private:
    void onCurrentChanged();

    int m_programChange = 0;
    int m_lastCurrent = -1;
};
