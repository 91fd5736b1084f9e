#pragma once

#include "commandmenu.h"
#include "screenregistry.h"

#include "common/asker.h"

#include <QHash>
#include <QMainWindow>

#include <functional>
#include <memory>

class QMdiArea;
class QMdiSubWindow;

namespace varo::link {
class ReaderLink;
}
namespace varo::config {
class ConfigModel;
}
namespace varo::trace {
class TraceWindow;
}

namespace varo::app {

class ProfileActions;

// `stamain`: the multi-document main window. It owns the reader link, the configuration and
// every screen for the whole run, and carries out the command menu's entries. Screens come
// from the screen registry (one entry per screen: id, menu entry, factory), each in its own
// frameless child window; the one brought to front gets the keyboard focus on its first control.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static inline const QString kTitle = QStringLiteral("Ostrel  Varo Utility V1.0");
    // A private local-network address; the utility dials it only when the user connects.
    static inline const QString kDefaultReaderAddress = QStringLiteral("192.168.1.230");
    static inline const QString kDefaultReaderPort = QStringLiteral("57");
    static constexpr int kHeightTwips = 8500;
    static constexpr int kClientWidthTwips = 13365;

    using Asker = common::Asker;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The start-up sequence: defaults, status colour, command menu, Communications in front.
    void startUp();

    link::ReaderLink *link() const { return m_link; }
    config::ConfigModel *config() const { return m_config.get(); }
    CommandMenu *commandMenu() const { return m_menu; }
    CommForm *commForm() const { return m_commForm; }
    // A screen, created (hidden) on first use.
    QWidget *screen(ScreenId id);
    template <ScreenId Id> typename ScreenType<Id>::type *screen() {
        // The registry's factory for Id makes exactly this class.
        return static_cast<typename ScreenType<Id>::type *>(screen(Id));
    }
    // The child window holding a screen; nullptr before the screen is made.
    QMdiSubWindow *hostOf(ScreenId id) const { return m_hosts.value(id); }
    // The screen in front (the one the command menu last brought forward).
    std::optional<ScreenId> frontScreen() const { return m_front; }
    // "Get Settings" and "Save Settings": reader profiles.
    ProfileActions *profileActions() const { return m_profiles; }

    void setAsker(Asker asker) { m_asker = std::move(asker); }
    // Carries out a command menu entry exactly as a click on it does.
    void chooseEntry(MenuEntry entry);
    void escapeOnMenu();
    // `load_defaults`: every setup field and the communications choices back to their defaults.
    void loadDefaults();
    // "Default Settings" from the menu: refused while a programming run reads the screens.
    void chooseDefaults();
    // Why the setup screens must not change now; empty when they may.
    QString screensLockedReason() const;
    void showAbout();
    // "Trace": the wire trace window, a window of its own; made on first use.
    void showTrace();
    trace::TraceWindow *traceWindow();

signals:
    // A notice box was opened with `text`.
    void noticeShown(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildMenuBar();
    QMdiSubWindow *host(ScreenId id, QWidget *screen);
    // `place_form`: right of the command menu, filling the rest of the main window.
    void placeForm(QMdiSubWindow *sub);
    void placeAll();
    // The command menu shows `entry` as the chosen one: every other entry white.
    void selectEntry(MenuEntry entry);
    void bringToFront(ScreenId id);
    // Ctrl+Tab / Ctrl+Shift+Tab: from the command menu to the screen in front and back (the
    // two child windows one sees; both keys reach the other one).
    void switchWindow();
    void showNotice(const QString &text);
    void ask(const QString &question, std::function<void()> onYes);
    bool refuseWhileBusy();
    bool firmwareBaudAllowed();
    void stopTerminal();
    void startTerminal();

    link::ReaderLink *m_link = nullptr;
    std::unique_ptr<config::ConfigModel> m_config;
    QMdiArea *m_mdi = nullptr;
    CommandMenu *m_menu = nullptr;
    QMdiSubWindow *m_menuHost = nullptr;
    CommForm *m_commForm = nullptr;
    QHash<ScreenId, QWidget *> m_screens;
    QHash<ScreenId, QMdiSubWindow *> m_hosts;
    std::optional<ScreenId> m_front;
    Asker m_asker;
    ProfileActions *m_profiles = nullptr;
    trace::TraceWindow *m_trace = nullptr;
};

} // namespace varo::app
