#include "PortsPanel.h"

#include "platform/SerialDeviceWatcher.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

PortsPanel::PortsPanel(QWidget *parent)
    : QGroupBox(parent), m_list(new QTreeWidget(this)), m_empty(new QLabel(this)),
      m_useAs(new QPushButton(this)), m_watcher(new SerialDeviceWatcher(this))
{
    setObjectName(QStringLiteral("PortsPanel"));
    m_list->setObjectName(QStringLiteral("PortsPanelList"));
    m_useAs->setObjectName(QStringLiteral("PortsPanelUseAs"));
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAlternatingRowColors(true);
    m_list->header()->setStretchLastSection(true);
    m_list->setMinimumHeight(m_list->fontMetrics().height() * 5);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(m_empty);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_useAs);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &PortsPanel::updateButton);
    connect(m_list, &QTreeWidget::itemActivated, this, [this] { m_useAs->click(); });
    connect(m_useAs, &QPushButton::clicked, this, [this] {
        if (!selectedTarget().isEmpty() && m_comNumber > 0)
            emit useAsRequested(m_comNumber, selectedTarget());
    });
    connect(m_watcher, &SerialDeviceWatcher::changed, this, &PortsPanel::refresh);
    setTexts(m_texts);
}

void PortsPanel::setTexts(const Texts &texts)
{
    m_texts = texts;
    setTitle(texts.title);
    m_list->setAccessibleName(texts.title);
    m_list->setHeaderLabels(texts.columns);
    m_empty->setText(texts.none);
    updateButton();
}

void PortsPanel::setSource(std::function<QList<SerialDevices::Device>()> source)
{
    m_source = std::move(source);
    refresh();
}

void PortsPanel::setComNumber(int number)
{
    m_comNumber = number;
    updateButton();
}

void PortsPanel::refresh()
{
    const QString kept = selectedTarget();
    m_devices = m_source();
    m_list->clear();
    for (const SerialDevices::Device &device : std::as_const(m_devices)) {
        auto *item = new QTreeWidgetItem(m_list, {device.node, device.byId.section(u'/', -1),
                                                  device.driver, device.description()});
        item->setToolTip(1, device.byId);
        if (!kept.isEmpty() && (device.byId == kept || device.node == kept))
            item->setSelected(true);
    }
    for (int column = 0; column < m_list->columnCount() - 1; ++column)
        m_list->resizeColumnToContents(column);
    m_empty->setVisible(m_devices.isEmpty());
    updateButton();
}

QString PortsPanel::selectedTarget() const
{
    const QList<QTreeWidgetItem *> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return {};
    const int row = m_list->indexOfTopLevelItem(selected.constFirst());
    if (row < 0 || row >= m_devices.size())
        return {};
    const SerialDevices::Device &device = m_devices.at(row);
    return device.byId.isEmpty() ? device.node : device.byId;
}

void PortsPanel::select(int row)
{
    if (QTreeWidgetItem *item = m_list->topLevelItem(row))
        m_list->setCurrentItem(item);
}

void PortsPanel::showEvent(QShowEvent *event)
{
    QGroupBox::showEvent(event);
    refresh();
    m_watcher->setActive(true);
}

void PortsPanel::hideEvent(QHideEvent *event)
{
    QGroupBox::hideEvent(event);
    m_watcher->setActive(false);
}

void PortsPanel::updateButton()
{
    m_useAs->setText(m_texts.useAs.arg(m_comNumber > 0 ? QString::number(m_comNumber)
                                                       : QStringLiteral("n")));
    m_useAs->setEnabled(m_comNumber > 0 && !selectedTarget().isEmpty());
}
