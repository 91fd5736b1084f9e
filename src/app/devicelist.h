#pragma once

#include "link/serialdevices.h"

#include <QList>
#include <QWidget>

class QCheckBox;
class QLabel;
class QTreeWidget;

namespace varo::ui {
class ActionButton;
}

namespace varo::app {

// The serial devices the system has now, on the Communications screen: path, description,
// manufacturer, USB vendor:product id and serial number, a refresh button, the "Reconnect
// automatically" choice and the last link problem in words. The list is read when the screen is
// shown and on refresh only; nothing polls.
class DeviceList : public QWidget {
    Q_OBJECT
public:
    explicit DeviceList(QWidget *parent = nullptr);

    // Reads the devices again; the chosen device stays chosen while it is present.
    void refresh();
    const QList<link::DetectedDevice> &devices() const { return m_devices; }
    // Chooses the device at `path` (empty: none, the port number's mapping applies).
    void chooseDevice(const QString &path);
    QString chosenDevice() const { return m_chosen; }
    // The detected device at `path` (a symbolic link is followed); nullptr when absent.
    const link::DetectedDevice *deviceAt(const QString &path) const;

    QCheckBox *reconnectBox() const { return m_reconnect; }
    QTreeWidget *view() const { return m_view; }
    // Shows why the link failed or broke (plain text); empty clears it.
    void showProblem(const QString &text);
    QString problem() const;

signals:
    void deviceChosen(const QString &path);
    void refreshed();
    void reconnectToggled(bool on);

private:
    void fill();

    QList<link::DetectedDevice> m_devices;
    QString m_chosen;
    QTreeWidget *m_view = nullptr;
    ui::ActionButton *m_refresh = nullptr;
    QCheckBox *m_reconnect = nullptr;
    QLabel *m_problem = nullptr;
};

} // namespace varo::app
