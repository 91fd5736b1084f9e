#pragma once

#include <QObject>

namespace varo::cli {

// Ctrl+C as an event: main() calls request() from the event loop (never from the signal
// handler itself); the running command ends its links and reports what it has.
class StopRequest : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    void request() {
        if (!m_requested) {
            m_requested = true;
            emit requested();
        }
    }
    bool isRequested() const { return m_requested; }

signals:
    void requested();

private:
    bool m_requested = false;
};

} // namespace varo::cli
