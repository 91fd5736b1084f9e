#pragma once

#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableView;

namespace varo::link {
class ReaderLink;
}

namespace varo::trace {

class TraceModel;
class TraceRecorder;

// The "Trace" window: every chunk written to and received from the reader, one row each, while
// the window is open (or "Keep recording when closed" is on). A window of its own beside the
// main window, so it stays in view next to the screen whose operation it shows.
class TraceWindow : public QWidget {
    Q_OBJECT
public:
    static inline const QString kTitle = QStringLiteral("Trace");
    // Asks for the file to save to without blocking; `done` runs once with the path or nothing.
    using SavePathChooser =
        std::function<void(QWidget *parent, std::function<void(std::optional<QString>)> done)>;

    explicit TraceWindow(link::ReaderLink *link, QWidget *parent = nullptr);
    ~TraceWindow() override;

    TraceModel *model() const { return m_model; }
    TraceRecorder *recorder() const { return m_recorder; }
    QTableView *view() const { return m_view; }

    bool isPaused() const { return m_paused; }
    void setPaused(bool paused);
    void clear();
    // Selects the next rows holding the find text (or hex bytes); false when there is none.
    bool findNext();
    // Saves all kept rows to `path` (".csv": CSV, else text); the error text, or nothing.
    std::optional<QString> saveTo(const QString &path);
    void setSavePathChooser(SavePathChooser chooser) { m_chooser = std::move(chooser); }

signals:
    // A save failed; `text` names the file and the reason.
    void saveFailed(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void updateRecording();
    void updateNotes();
    void chooseSaveFile();
    void followNewest();

    link::ReaderLink *m_link;
    TraceModel *m_model;
    TraceRecorder *m_recorder;
    QTableView *m_view = nullptr;
    QPushButton *m_pause = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_save = nullptr;
    QLineEdit *m_findText = nullptr;
    QCheckBox *m_findHex = nullptr;
    QPushButton *m_find = nullptr;
    QCheckBox *m_follow = nullptr;
    QCheckBox *m_keepRecording = nullptr;
    QSpinBox *m_capacity = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_dropped = nullptr;
    bool m_paused = false;
    SavePathChooser m_chooser;
};

} // namespace varo::trace
