#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace varo::link {
class ReaderLink;
}
namespace varo::ui {
class ValueLabel;
}

namespace varo::loopback {

class LoopbackEngine;

// The `loopback` screen ("Loopback Test"): start, stop and clear buttons, the result list
// `List1` and the characters-sent display `Label1`. Both are redrawn at most once per frame
// however fast the count runs or result lines come, so showing them costs the test no
// throughput.
class LoopbackScreen : public QWidget {
    Q_OBJECT
public:
    // How often the display may be redrawn during a test.
    static constexpr int kDisplayIntervalMs = 40;

    explicit LoopbackScreen(link::ReaderLink *link, QWidget *parent = nullptr);
    ~LoopbackScreen() override;

    LoopbackEngine *engine() const { return m_engine; }
    QPlainTextEdit *resultList() const { return m_list; }

private:
    void showCount(qint32 count);
    void flushCount();
    void appendLine(const QString &line);
    void scheduleDisplay();
    void flushDisplay();

    LoopbackEngine *m_engine;
    QPushButton *m_start;
    QPushButton *m_stop;
    QPushButton *m_clearList;
    QPlainTextEdit *m_list;
    ui::ValueLabel *m_count;
    QLabel *m_heading;
    QTimer *m_displayTimer;
    qint32 m_shownCount = -1;
    qint32 m_latestCount = -1;
    QStringList m_pendingLines;
};

} // namespace varo::loopback
