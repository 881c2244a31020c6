#include "PageTabBar.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

namespace {

QString withoutMnemonic(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text.at(i) == u'&')
            text.remove(i, 1); // "&&" leaves one ampersand: the loop skips it
    return text;
}

// One visible tab, addressed by its index in the tab bar.
class AccessiblePageTab : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    AccessiblePageTab(QTabBar *bar, int index) : m_bar(bar), m_index(index) {}

    bool isValid() const override
    {
        return m_bar && m_index < m_bar->count() && m_bar->isTabVisible(m_index);
    }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_bar ? m_bar->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_bar.data());
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        if (t == QAccessible::Name)
            return withoutMnemonic(m_bar->tabText(m_index));
        if (t == QAccessible::Description)
            return m_bar->tabToolTip(m_index);
        return {};
    }
    void setText(QAccessible::Text, const QString &) override {}
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.selected = m_index == m_bar->currentIndex();
        s.focused = s.selected && m_bar->hasFocus();
        s.disabled = !m_bar->isTabEnabled(m_index);
        return s;
    }
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect tab = m_bar->tabRect(m_index);
        return QRect(m_bar->mapToGlobal(tab.topLeft()), tab.size());
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface
                   ? static_cast<QAccessibleActionInterface *>(this)
                   : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action == pressAction() && isValid() && m_bar->isTabEnabled(m_index))
            m_bar->setCurrentIndex(m_index);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<QTabBar> m_bar;
    int m_index;
};

class AccessiblePageTabBar : public QAccessibleWidget
{
public:
    explicit AccessiblePageTabBar(QTabBar *bar) : QAccessibleWidget(bar, QAccessible::PageTabList)
    {}
    ~AccessiblePageTabBar() override
    {
        for (const QAccessible::Id id : std::as_const(m_tabs))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return int(visibleTabs().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QList<int> tabs = visibleTabs();
        if (index < 0 || index >= tabs.size())
            return nullptr;
        const int tab = tabs.at(index);
        if (!m_tabs.contains(tab)) {
            auto *iface = new AccessiblePageTab(bar(), tab);
            m_tabs.insert(tab, QAccessible::registerAccessibleInterface(iface));
        }
        return QAccessible::accessibleInterface(m_tabs.value(tab));
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (auto it = m_tabs.cbegin(); it != m_tabs.cend(); ++it)
            if (QAccessible::accessibleInterface(it.value()) == child)
                return int(visibleTabs().indexOf(it.key()));
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (child(i)->rect().contains(x, y))
                return child(i);
        return nullptr;
    }

private:
    QTabBar *bar() const { return static_cast<QTabBar *>(widget()); }
    QList<int> visibleTabs() const
    {
        QList<int> tabs;
        for (int i = 0; i < bar()->count(); ++i)
            if (bar()->isTabVisible(i))
                tabs << i;
        return tabs;
    }

    mutable QHash<int, QAccessible::Id> m_tabs;
};

QAccessibleInterface *pageTabBarAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("PageTabBar") && object && object->isWidgetType())
        return new AccessiblePageTabBar(static_cast<QTabBar *>(object));
    return nullptr;
}

} // namespace

PageTabBar::PageTabBar(QWidget *parent) : QTabBar(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(pageTabBarAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
}
