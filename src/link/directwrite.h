#pragma once

#include <QByteArrayView>
#include <QtGlobal>

namespace varo::link {

// Hands `bytes` to the system on the open, non-blocking descriptor `fd` (a socket when
// `socket`, else a terminal device) without waiting, and returns how many bytes it took: all,
// part, or none when it would block or failed. The caller queues the rest through its Qt
// device, which sends it when the descriptor is ready and reports any error the usual way.
//
// Why: a Qt device that queues a write switches its descriptor's write notification on and
// off for it, and the GLib event loop answers each switch with a wake-up of its own (a write
// and a read on its event descriptor and one more poll). A write the system takes at once
// needs none of that.
qsizetype writeWithoutQueue(qintptr fd, QByteArrayView bytes, bool socket);

} // namespace varo::link
