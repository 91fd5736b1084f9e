#pragma once

#include "link/linksettings.h"

#include <QHash>
#include <QWidget>

class QLineEdit;
class QRadioButton;

namespace varo::link {
class ReaderLink;
}
namespace varo::ui {
class ActionButton;
}

namespace varo::app {

class DeviceList;

// `commform`: how the utility reaches the reader. The screen owns its choices and hands them to
// the link as one LinkSettings value when "Connect to Port" is clicked. Changing a choice while
// connected changes only the screen: the open link keeps the settings it was opened with until
// it is disconnected. "Connect to Port" and "Disconnect" are buttons in the tab order (mode,
// port, baud, address, port number, connect, disconnect); Enter in the address or port field
// connects.
class CommForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int kIpMaxLength = 15;
    static constexpr int kPortMaxLength = 5;

    explicit CommForm(link::ReaderLink *link, QWidget *parent = nullptr);

    // Selecting by program has the same effect as a click.
    void selectSerial();
    void selectTcp();
    void selectPort(int port);
    void selectBaud(qint32 baud);
    void setIpAddress(const QString &address);
    void setTcpPort(const QString &port);

    // Chooses a detected device (empty: the selected port number's mapping applies again).
    void selectDevice(const QString &path);
    DeviceList *deviceList() const { return m_devices; }

    bool isSerialSelected() const;
    ui::ActionButton *connectButton() const { return m_connectButton; }
    ui::ActionButton *disconnectButton() const { return m_disconnectButton; }
    // The screen's choices as settings for the next connect (the port text converted; 0 when
    // it is no valid port).
    link::LinkSettings linkSettings() const;

signals:
    // A notice for the user ("Disconnect first before connecting", "Already disconnected").
    void noticeRaised(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildLayout();
    void buildDevicePanel();
    // Tells on each port number button which device it opens.
    void describePorts();
    void showLinkProblem();
    QRadioButton *addOption(QWidget *group, const char *control, const QString &caption, int left,
                            int top, int width = 915, int height = 375);
    void connectClicked();
    void disconnectClicked();

    link::ReaderLink *m_link;
    link::LinkSettings m_choices;
    QRadioButton *m_tcp = nullptr;
    QRadioButton *m_serial = nullptr;
    QHash<int, QRadioButton *> m_ports;
    QHash<qint32, QRadioButton *> m_bauds;
    QLineEdit *m_ip = nullptr;
    QLineEdit *m_port = nullptr;
    ui::ActionButton *m_connectButton = nullptr;
    ui::ActionButton *m_disconnectButton = nullptr;
    DeviceList *m_devices = nullptr;
};

} // namespace varo::app
