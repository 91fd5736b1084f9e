#pragma once

#include "support/fakelink.h"
#include "support/simlink.h"

// An in-process medium whose peer function answers the terminal's and the loopback's writes.
using ScriptedTransport = FakeTransport;

// A connected ReaderLink on a ScriptedTransport; its host carries the blanks a user may type,
// which the terminal's status line trims.
struct ScriptedLink : FakeLink {
    explicit ScriptedLink(bool tcp)
        : FakeLink(tcp, QStringLiteral(" 127.0.0.1 "), 4001) {}
};

// A ReaderLink connected to the simulated reader over TCP on 127.0.0.1 or a pseudo-terminal.
using SimulatedReader = SimLink;
