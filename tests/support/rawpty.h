#pragma once

#include <QByteArray>
#include <QString>

// The master side of a pseudo-terminal for tests that play the reader by hand. The slave side
// is put in raw mode before anyone opens it, so bytes pass unchanged both ways.
class RawPty {
public:
    RawPty();
    ~RawPty();
    RawPty(const RawPty &) = delete;
    RawPty &operator=(const RawPty &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    bool write(const QByteArray &bytes);
    // Everything readable right now, without waiting.
    QByteArray readAvailable();
    // Reads until `count` bytes arrived or `timeoutMs` passed, letting the event loop run.
    QByteArray readAtLeast(qsizetype count, int timeoutMs = 2000);
    void closeMaster();

private:
    int m_master = -1;
    QString m_slavePath;
};
