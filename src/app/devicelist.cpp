#include "devicelist.h"

#include "ui/actionbutton.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace varo::app {

namespace {

enum Column { PathColumn, DescriptionColumn, ManufacturerColumn, UsbIdColumn, SerialColumn };

QString canonical(const QString &path) {
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}

} // namespace

DeviceList::DeviceList(QWidget *parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("devicePanel"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    auto *top = new QHBoxLayout;
    auto *caption = new QLabel(QStringLiteral("Detected devices"), this);
    caption->setObjectName(QStringLiteral("deviceCaption"));
    caption->setTextFormat(Qt::PlainText);
    top->addWidget(caption);
    top->addStretch();
    m_reconnect = new QCheckBox(QStringLiteral("Reconnect automatically"), this);
    m_reconnect->setObjectName(QStringLiteral("autoReconnect"));
    top->addWidget(m_reconnect);
    m_refresh = new ui::ActionButton(QStringLiteral("&Refresh"), this);
    m_refresh->setObjectName(QStringLiteral("refreshDevices"));
    m_refresh->setAccessibleName(QStringLiteral("Refresh detected devices"));
    m_refresh->setLook(ui::ActionButton::Look::Box);
    m_refresh->setFixedSize(80, 22);
    top->addWidget(m_refresh);
    layout->addLayout(top);

    m_view = new QTreeWidget(this);
    m_view->setObjectName(QStringLiteral("deviceList"));
    m_view->setAccessibleName(QStringLiteral("Detected devices"));
    caption->setBuddy(m_view);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setHeaderLabels({QStringLiteral("Device"), QStringLiteral("Description"),
                             QStringLiteral("Manufacturer"), QStringLiteral("USB id"),
                             QStringLiteral("Serial number")});
    m_view->header()->setStretchLastSection(true);
    layout->addWidget(m_view, 1);

    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("linkProblem"));
    m_problem->setAccessibleName(QStringLiteral("Link problem"));
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->setWordWrap(true);
    m_problem->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_problem);

    connect(m_refresh, &ui::ActionButton::clicked, this, &DeviceList::refresh);
    connect(m_reconnect, &QCheckBox::toggled, this, &DeviceList::reconnectToggled);
    connect(m_view, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem *> selected = m_view->selectedItems();
        const QString path = selected.isEmpty() ? QString() : selected.first()->text(PathColumn);
        if (path == m_chosen)
            return;
        m_chosen = path;
        emit deviceChosen(path);
    });
}

void DeviceList::refresh() {
    m_devices = link::detectedDevices();
    fill();
    emit refreshed();
}

void DeviceList::fill() {
    const QSignalBlocker blocker(m_view);
    m_view->clear();
    for (const link::DetectedDevice &device : m_devices) {
        auto *item =
            new QTreeWidgetItem(m_view, {device.path, device.description, device.manufacturer,
                                         device.usbId, device.serialNumber});
        if (device.path == m_chosen)
            item->setSelected(true);
    }
    for (int column = 0; column < m_view->columnCount() - 1; ++column)
        m_view->resizeColumnToContents(column);
}

void DeviceList::chooseDevice(const QString &path) {
    if (path == m_chosen)
        return;
    m_chosen = path;
    {
        const QSignalBlocker blocker(m_view);
        m_view->clearSelection();
        for (int row = 0; row < m_view->topLevelItemCount(); ++row) {
            QTreeWidgetItem *item = m_view->topLevelItem(row);
            if (item->text(PathColumn) == path)
                item->setSelected(true);
        }
    }
    emit deviceChosen(path);
}

const link::DetectedDevice *DeviceList::deviceAt(const QString &path) const {
    const QString target = canonical(path);
    for (const link::DetectedDevice &device : m_devices) {
        if (device.path == path || canonical(device.path) == target)
            return &device;
    }
    return nullptr;
}

void DeviceList::showProblem(const QString &text) {
    m_problem->setText(text);
}

QString DeviceList::problem() const {
    return m_problem->text();
}

} // namespace varo::app
