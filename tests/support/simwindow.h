#pragma once

#include "app/commform.h"
#include "app/mainwindow.h"
#include "link/readerlink.h"
#include "sim/readersimulator.h"
#include "sim/simtcpserver.h"
#include "support/rawpty.h"
#include "ui/actionbutton.h"

#include <QTest>

#include <memory>

// The main window, shown and started up, beside a simulated reader listening on 127.0.0.1.
// The window goes first when the fixture ends, so no link outlives its reader.
struct SimWindow {
    // Listens, makes the window and starts it up; false when a step fails.
    [[nodiscard]] bool start() {
        server = std::make_unique<varo::sim::SimTcpServer>(&sim);
        if (!server->listen(0))
            return false;
        window = std::make_unique<varo::app::MainWindow>();
        window->show();
        window->startUp();
        return QTest::qWaitForWindowExposed(window.get());
    }

    // Fills in the Communications screen as a user does (TCP/IP, 127.0.0.1, the simulator's port)
    // and presses "Connect to Port"; true once the link is connected.
    [[nodiscard]] bool connectByTcp() {
        varo::app::CommForm *form = window->commForm();
        form->selectTcp();
        form->setIpAddress(QStringLiteral("127.0.0.1"));
        form->setTcpPort(QString::number(server->port()));
        form->connectButton()->click();
        return QTest::qWaitFor([this] { return window->link()->isConnected(); }, 5000);
    }

    varo::sim::ReaderSimulator sim;
    std::unique_ptr<varo::sim::SimTcpServer> server;
    std::unique_ptr<varo::app::MainWindow> window;
};

// Points serial port 2, the Communications screen's default, at `pty` (a reader played by hand)
// and presses "Connect to Port"; true once the link is connected.
[[nodiscard]] inline bool connectBySerial(varo::app::MainWindow &window, const RawPty &pty) {
    if (!pty.isValid())
        return false;
    qputenv("VARO_COM2", pty.slavePath().toLocal8Bit());
    window.commForm()->connectButton()->click();
    return QTest::qWaitFor([&window] { return window.link()->isConnected(); }, 5000);
}
