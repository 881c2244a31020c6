#include "ScrollablePages.h"

#include <QApplication>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// Title bar and borders the window manager adds around the window.
constexpr int WindowFrameAllowance = 40;

class PageScrollArea : public QScrollArea
{
public:
    explicit PageScrollArea(QWidget *parent) : QScrollArea(parent)
    {
        setWidgetResizable(true);
        setFrameShape(QFrame::NoFrame);
        // The page's controls take the focus, the area around them none; it
        // scrolls to whichever control has it instead.
        setFocusPolicy(Qt::NoFocus);
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
            if (now && widget() && widget()->isAncestorOf(now))
                ensureWidgetVisible(now);
        });
    }

    // The room the contents need at least, so that the window asks for as
    // much as before; QScrollArea itself would ask for less.
    QSize sizeHint() const override
    {
        if (!widget())
            return QScrollArea::sizeHint();
        const int frame = 2 * frameWidth();
        return widget()->minimumSizeHint() + QSize(frame, frame);
    }
};

void makeScrollable(QWidget *page)
{
    QLayout *layout = page->layout();
    if (!layout)
        return;
    auto *content = new QWidget;
    content->setObjectName(page->objectName() + QStringLiteral("Content"));
    // Takes the layout over from the page, together with the widgets in it.
    content->setLayout(layout);
    auto *area = new PageScrollArea(page);
    area->setWidget(content);
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addWidget(area);
}

} // namespace

namespace ScrollablePages {

void apply(QTabWidget *pages)
{
    for (int i = 0; i < pages->count(); ++i)
        makeScrollable(pages->widget(i));
}

void fitToScreen(QWidget *window)
{
    QSize size = window->size().expandedTo(window->sizeHint());
    if (const QScreen *screen = window->screen()) {
        const QSize available = screen->availableGeometry().size();
        size = size.boundedTo(QSize(available.width(), available.height() - WindowFrameAllowance));
    }
    window->resize(size);
}

} // namespace ScrollablePages
