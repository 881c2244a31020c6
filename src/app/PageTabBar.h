#pragma once

#include <QTabBar>

// The tab bar of PageControl. To assistive technology it offers only the
// tabs that are shown: a hidden tab is neither listed nor can it be
// activated from there.
class PageTabBar : public QTabBar
{
    Q_OBJECT

public:
    explicit PageTabBar(QWidget *parent = nullptr);
};
