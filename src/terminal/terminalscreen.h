#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace varo::link {
class ReaderLink;
}
namespace varo::ui {
class ValueLabel;
}

namespace varo::terminal {

class TerminalSession;
class TerminalView;

// The `termmode` screen: status line `Label2_0`, hint `Label2_1`, the drawing area `pop1` and
// the "Clear Screen" button `Label17`. Keys typed on the drawing area go to the reader while
// the terminal runs, but for Ctrl+Tab / Ctrl+Shift+Tab (switch child windows) and Shift+Tab
// (to "Clear Screen", which hands the focus back to the drawing area when pressed).
class TerminalScreen : public QWidget {
    Q_OBJECT
public:
    explicit TerminalScreen(link::ReaderLink *link, QWidget *parent = nullptr);
    ~TerminalScreen() override;

    // "Terminal Mode": shows the screen in front, wipes it and starts the terminal. Returns
    // false when the link is not connected or held by another operation (nothing changes).
    bool start();
    // Every other command ends the terminal; the screen keeps its content.
    void stop();
    bool isRunning() const;

    TerminalSession *session() const { return m_session; }
    TerminalView *view() const { return m_view; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TerminalSession *m_session;
    TerminalView *m_view;
    ui::ValueLabel *m_status;
    QLabel *m_hint;
    QPushButton *m_clear;
};

} // namespace varo::terminal
