#include "commform.h"

#include "devicelist.h"
#include "link/readerlink.h"
#include "ui/actionbutton.h"
#include "ui/controlnames.h"
#include "ui/screenstyle.h"
#include "ui/twips.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>

namespace varo::app {

namespace {

using ui::twipsRect;

// The screen's mapping: each control's object name and the caption it is announced by.
enum class Control {
    ModeGroup,
    ModeCaption,
    TcpOption,
    SerialOption,
    PortGroup,
    PortCaption,
    BaudGroup,
    BaudCaption,
    IpCaption,
    AddressCaption,
    AddressField,
    PortNumberCaption,
    PortNumberField,
    ConnectButton,
    DisconnectButton,
};

constexpr ui::NamedControl<Control> kControls[] = {
    {Control::ModeGroup, {"modeGroup", "Comm Mode"}},
    {Control::ModeCaption, {"Label1_0"}},
    {Control::TcpOption, {"Option1"}},
    {Control::SerialOption, {"Option2"}},
    {Control::PortGroup, {"portGroup", "Comm Port"}},
    {Control::PortCaption, {"Label3"}},
    {Control::BaudGroup, {"baudGroup", "Baud Rate"}},
    {Control::BaudCaption, {"Label4"}},
    {Control::IpCaption, {"Label6"}},
    {Control::AddressCaption, {"Label2"}},
    {Control::AddressField, {"Text1", "IP Address"}},
    {Control::PortNumberCaption, {"Label5"}},
    {Control::PortNumberField, {"Text3", "Port"}},
    {Control::ConnectButton, {"Label10"}},
    {Control::DisconnectButton, {"Label7"}},
};
static_assert(ui::coversEveryId(kControls));

template <typename Widget> Widget *named(Widget *control, Control id) {
    return ui::named(control, kControls, id);
}

QFrame *outlineBox(QWidget *parent, const QRect &rect) {
    auto *frame = new QFrame(parent);
    frame->setGeometry(rect);
    frame->setStyleSheet(QStringLiteral("QFrame { border: 1px solid rgb(0, 64, 64); }"));
    frame->lower();
    return frame;
}

QLabel *caption(QWidget *parent, Control control, const QString &text, const QRect &rect) {
    auto *label = named(new QLabel(text, parent), control);
    label->setTextFormat(Qt::PlainText);
    label->setFont(ui::screenFont());
    label->setGeometry(rect);
    return label;
}

struct PortButton {
    const char *control;
    int port;
    int left;
    int top;
};

// Ports 6 to 8 select their devices too: a user who sees the button expects it to work.
constexpr PortButton kPortButtons[] = {
    {"Option5", 1, 360, 480},   {"Option8", 2, 960, 480},   {"Option6", 3, 360, 720},
    {"Option9", 4, 960, 720},   {"Option7", 5, 360, 1020},  {"Option13", 6, 960, 1080},
    {"Option14", 7, 360, 1320}, {"Option15", 8, 960, 1380},
};

struct BaudButton {
    const char *control;
    qint32 baud;
    int left;
    int top;
};

constexpr BaudButton kBaudButtons[] = {
    {"Option11", 9600, 360, 480},  {"Option3", 38400, 1320, 480}, {"Option12", 115200, 2340, 480},
    {"Option10", 19200, 360, 840}, {"Option4", 57600, 1320, 840},
};

} // namespace

CommForm::CommForm(link::ReaderLink *link, QWidget *parent)
    : QWidget(parent)
    , m_link(link) {
    ui::nameScreen(this, QStringLiteral("commform"), QStringLiteral("Communications"));
    ui::fillGrey(this);
    buildLayout();
    buildDevicePanel();
}

void CommForm::buildDevicePanel() {
    m_devices = new DeviceList(this);
    m_devices->setGeometry(twipsRect(480, 5520, 8955, 2700));
    QWidget::setTabOrder(m_disconnectButton, m_devices->reconnectBox());
    connect(m_devices, &DeviceList::deviceChosen, this,
            [this](const QString &path) { m_choices.serialDevice = path; });
    connect(m_devices, &DeviceList::refreshed, this, &CommForm::describePorts);
    connect(m_devices, &DeviceList::reconnectToggled, m_link, &link::ReaderLink::setAutoReconnect);
    connect(m_link, &link::ReaderLink::stateChanged, this, &CommForm::showLinkProblem);
    connect(m_link, &link::ReaderLink::connectFinished, this, &CommForm::showLinkProblem);
}

void CommForm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    // Devices come and go while the screen is hidden; it reads them again when it appears.
    m_devices->refresh();
}

void CommForm::describePorts() {
    for (auto it = m_ports.cbegin(); it != m_ports.cend(); ++it) {
        const QString path = link::serialDeviceForPort(it.key());
        QString text = QStringLiteral("Opens %1").arg(path);
        if (const link::DetectedDevice *device = m_devices->deviceAt(path)) {
            if (!device->description.isEmpty())
                text += QStringLiteral(" (%1)").arg(device->description);
        } else {
            text += QStringLiteral(" (not present)");
        }
        it.value()->setToolTip(text);
        it.value()->setAccessibleDescription(text);
    }
}

void CommForm::showLinkProblem() {
    switch (m_link->state()) {
    case link::LinkState::Connected:
    case link::LinkState::Connecting:
        m_devices->showProblem({});
        break;
    case link::LinkState::Lost:
    case link::LinkState::Reconnecting:
        m_devices->showProblem(m_link->unusableReason());
        break;
    case link::LinkState::Disconnected:
        // A failed connect leaves its reason; a disconnect by the user leaves none.
        m_devices->showProblem(m_link->lastError());
        break;
    }
}

QRadioButton *CommForm::addOption(QWidget *group, const char *control, const QString &text,
                                  int left, int top, int width, int height) {
    auto *button = new QRadioButton(text, group);
    button->setObjectName(QString::fromLatin1(control));
    // Numbers alone say little: the group's caption goes with them ("Comm Port 2").
    const QString groupName = group->accessibleName();
    if (!groupName.isEmpty() && text.front().isDigit())
        button->setAccessibleName(groupName + QLatin1Char(' ') + text);
    button->setFont(ui::screenFont());
    button->setGeometry(twipsRect(left, top, width, height));
    return button;
}

void CommForm::buildLayout() {
    // Group 1: the link mode.
    auto *modeGroup = named(new QWidget(this), Control::ModeGroup);
    modeGroup->setGeometry(twipsRect(480, 360, 1935, 1695));
    outlineBox(this, twipsRect(480, 360, 1935, 1695));
    caption(modeGroup, Control::ModeCaption, QStringLiteral("Comm Mode"),
            twipsRect(360, 120, 1095, 375));
    m_tcp = addOption(modeGroup, nameOf(kControls, Control::TcpOption).objectName.data(),
                      QStringLiteral("TCP/IP"), 360, 480, 1455);
    m_serial = addOption(modeGroup, nameOf(kControls, Control::SerialOption).objectName.data(),
                         QStringLiteral("Serial Port"), 360, 840, 1455);
    auto *modes = new QButtonGroup(this);
    modes->addButton(m_tcp);
    modes->addButton(m_serial);
    connect(m_tcp, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_choices.mode = link::LinkMode::Tcp;
    });
    connect(m_serial, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_choices.mode = link::LinkMode::Serial;
    });

    // Group 2: the serial port number.
    auto *portGroup = named(new QWidget(this), Control::PortGroup);
    portGroup->setGeometry(twipsRect(2760, 360, 1935, 1695));
    outlineBox(this, twipsRect(2760, 360, 1935, 1695));
    caption(portGroup, Control::PortCaption, QStringLiteral("Comm Port"),
            twipsRect(480, 120, 1095, 375));
    auto *ports = new QButtonGroup(this);
    for (const PortButton &b : kPortButtons) {
        QRadioButton *button =
            addOption(portGroup, b.control, QString::number(b.port), b.left, b.top, 600, 300);
        ports->addButton(button);
        m_ports.insert(b.port, button);
        connect(button, &QRadioButton::toggled, this, [this, port = b.port](bool on) {
            if (on)
                m_choices.commPort = port;
        });
        // Clicking a number (even the checked one) goes back to the number's mapping.
        connect(button, &QRadioButton::clicked, this, [this] { selectDevice({}); });
    }

    // Group 3: the baud rate.
    auto *baudGroup = named(new QWidget(this), Control::BaudGroup);
    baudGroup->setGeometry(twipsRect(5040, 360, 4395, 1695));
    outlineBox(this, twipsRect(5040, 360, 4395, 1695));
    caption(baudGroup, Control::BaudCaption, QStringLiteral("Baud Rate"),
            twipsRect(360, 120, 1095, 375));
    auto *bauds = new QButtonGroup(this);
    for (const BaudButton &b : kBaudButtons) {
        QRadioButton *button =
            addOption(baudGroup, b.control, QString::number(b.baud), b.left, b.top, 1000, 375);
        bauds->addButton(button);
        m_bauds.insert(b.baud, button);
        connect(button, &QRadioButton::toggled, this, [this, baud = b.baud](bool on) {
            if (on)
                m_choices.baudRate = baud;
        });
    }

    // The IP block.
    outlineBox(this, twipsRect(480, 2340, 8955, 1335));
    caption(this, Control::IpCaption, QStringLiteral("IP Settings"),
            twipsRect(4080, 2460, 1455, 315));
    QLabel *addressCaption = caption(this, Control::AddressCaption, QStringLiteral("IP Address"),
                                     twipsRect(1620, 3120, 1155, 315));
    m_ip = named(new QLineEdit(this), Control::AddressField);
    addressCaption->setBuddy(m_ip);
    m_ip->setGeometry(twipsRect(3000, 3060, 1695, 375));
    m_ip->setMaxLength(kIpMaxLength);
    QLabel *portCaption = caption(this, Control::PortNumberCaption, QStringLiteral("Port"),
                                  twipsRect(5280, 3120, 555, 315));
    m_port = named(new QLineEdit(this), Control::PortNumberField);
    portCaption->setBuddy(m_port);
    m_port->setGeometry(twipsRect(6060, 3060, 855, 375));
    m_port->setMaxLength(kPortMaxLength);
    m_port->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_port));
    for (QLineEdit *edit : {m_ip, m_port}) {
        QPalette pal = edit->palette();
        pal.setColor(QPalette::Base, Qt::white);
        edit->setPalette(pal);
    }

    // The two buttons. Enter in the address or port field connects as well.
    outlineBox(this, twipsRect(1200, 4560, 7020, 795));
    auto addButton = [this](Control control, const QString &text, int boxLeft) {
        auto *button = named(new ui::ActionButton(text, this), control);
        button->setLook(ui::ActionButton::Look::Box);
        button->setFont(ui::screenFont());
        button->setGeometry(twipsRect(boxLeft, 4740, 2715, 435));
        return button;
    };
    m_connectButton = addButton(Control::ConnectButton, QStringLiteral("Co&nnect to Port"), 1500);
    m_disconnectButton = addButton(Control::DisconnectButton, QStringLiteral("&Disconnect"), 5460);
    connect(m_connectButton, &ui::ActionButton::clicked, this, &CommForm::connectClicked);
    connect(m_disconnectButton, &ui::ActionButton::clicked, this, &CommForm::disconnectClicked);
    connect(m_ip, &QLineEdit::returnPressed, this, &CommForm::connectClicked);
    connect(m_port, &QLineEdit::returnPressed, this, &CommForm::connectClicked);

    // Tab goes through the groups as they read: mode, port, baud, address, port number, then
    // the two buttons.
    QList<QWidget *> order{m_tcp, m_serial};
    for (const PortButton &b : kPortButtons)
        order.append(m_ports.value(b.port));
    for (qint32 baud : {9600, 19200, 38400, 57600, 115200})
        order.append(m_bauds.value(baud));
    order << m_ip << m_port << m_connectButton << m_disconnectButton;
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
}

void CommForm::connectClicked() {
    if (m_link->isConnected()) {
        emit noticeRaised(QStringLiteral("Disconnect first before connecting"));
        return;
    }
    // The outcome shows only in the command menu's status label. An invalid port or an empty
    // address fails the attempt.
    m_link->connectReader(linkSettings());
}

void CommForm::disconnectClicked() {
    if (!m_link->disconnectReader())
        emit noticeRaised(QStringLiteral("Already disconnected"));
}

void CommForm::selectSerial() {
    m_serial->setChecked(true);
    m_choices.mode = link::LinkMode::Serial;
}

void CommForm::selectTcp() {
    m_tcp->setChecked(true);
    m_choices.mode = link::LinkMode::Tcp;
}

void CommForm::selectPort(int port) {
    if (QRadioButton *button = m_ports.value(port)) {
        button->setChecked(true);
        m_choices.commPort = port;
        selectDevice({});
    }
}

void CommForm::selectDevice(const QString &path) {
    m_devices->chooseDevice(path);
    m_choices.serialDevice = path;
}

void CommForm::selectBaud(qint32 baud) {
    if (QRadioButton *button = m_bauds.value(baud)) {
        button->setChecked(true);
        m_choices.baudRate = baud;
    }
}

void CommForm::setIpAddress(const QString &address) {
    m_ip->setText(address);
}

void CommForm::setTcpPort(const QString &port) {
    m_port->setText(port);
}

link::LinkSettings CommForm::linkSettings() const {
    link::LinkSettings settings = m_choices;
    settings.host = m_ip->text().trimmed();
    settings.tcpPort = link::tcpPortFromText(m_port->text());
    return settings;
}

bool CommForm::isSerialSelected() const {
    return m_serial->isChecked();
}

} // namespace varo::app
