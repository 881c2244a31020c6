#pragma once

#include "platform/SerialDevices.h"

#include <QGroupBox>
#include <functional>

class QLabel;
class QPushButton;
class QTreeWidget;
class SerialDeviceWatcher;

// The serial devices this computer has, on the "COM-Port" page: node, stable
// by-id name, driver and USB identity of each, refreshed as adapters come
// and go while the page is shown, and a button that maps the chosen COM port
// to the selected device in the ports file.
class PortsPanel : public QGroupBox
{
    Q_OBJECT

public:
    struct Texts
    {
        QString title = QStringLiteral("Serial devices on this computer");
        QString useAs = QStringLiteral("Use as COM %1");
        QString none = QStringLiteral("No serial device found.");
        QStringList columns{QStringLiteral("Device"), QStringLiteral("Name by id"),
                            QStringLiteral("Driver"), QStringLiteral("Description")};
    };

    explicit PortsPanel(QWidget *parent = nullptr);

    // Where the list comes from: SerialDevices::present(), or a test's own.
    void setSource(std::function<QList<SerialDevices::Device>()> source);

    void setTexts(const Texts &texts);
    // The COM port the button maps (1 to 16), 0 when none is chosen.
    void setComNumber(int number);
    // Lists the devices present now.
    void refresh();
    QList<SerialDevices::Device> devices() const { return m_devices; }
    // What the button would write: the selected device's by-id name, which
    // stays when the adapter moves to another USB socket, else its node.
    QString selectedTarget() const;
    void select(int row);

signals:
    // The user asked to map COM `number` to `target`.
    void useAsRequested(int number, const QString &target);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void updateButton();

    Texts m_texts;
    QTreeWidget *m_list;
    QLabel *m_empty;
    QPushButton *m_useAs;
    SerialDeviceWatcher *m_watcher;
    std::function<QList<SerialDevices::Device>()> m_source = SerialDevices::present;
    QList<SerialDevices::Device> m_devices;
    int m_comNumber = 0;
};
