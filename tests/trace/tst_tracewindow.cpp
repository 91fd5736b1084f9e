#include "app/commform.h"
#include "app/mainwindow.h"
#include "link/readerlink.h"
#include "support/simwindow.h"
#include "trace/tracemodel.h"
#include "trace/tracerecorder.h"
#include "trace/tracewindow.h"
#include "ui/actionbutton.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace varo;
using app::MainWindow;
using trace::TraceModel;
using trace::TraceWindow;

class TraceWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void menuEntryOpensTheWindowAndEveryControlIsNamed();
    void recordsWhileOpenOnly();
    void findSelectsBytesSplitAcrossChunks();
    void failedSaveIsReported();
    void droppedRowsAreNoted();
    void longRowsLookAsTheStandardDelegateDrawsThem();

private:
    void connectBySimulator();
    TraceWindow *openByMenu();

    std::unique_ptr<SimWindow> m_rig;
    MainWindow *m_window = nullptr;
};

void TraceWindowTest::init() {
    m_rig = std::make_unique<SimWindow>();
    QVERIFY(m_rig->start());
    m_window = m_rig->window.get();
}

void TraceWindowTest::cleanup() {
    m_window = nullptr;
    m_rig.reset();
}

void TraceWindowTest::connectBySimulator() {
    QVERIFY(m_rig->connectByTcp());
}

// Presses the menu-bar entry a screen reader announces as "Trace".
TraceWindow *TraceWindowTest::openByMenu() {
    QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(m_window->menuBar());
    if (!bar)
        return nullptr;
    for (int i = 0; i < bar->childCount(); ++i) {
        QAccessibleInterface *entry = bar->child(i);
        if (entry && entry->text(QAccessible::Name).trimmed() == QLatin1String("Trace")) {
            entry->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            auto *window = m_window->findChild<TraceWindow *>();
            return window && window->isVisible() ? window : nullptr;
        }
    }
    return nullptr;
}

void TraceWindowTest::menuEntryOpensTheWindowAndEveryControlIsNamed() {
    const QList<QAction *> actions = m_window->menuBar()->actions();
    QCOMPARE(actions.size(), 5);
    QCOMPARE(actions[3]->text().trimmed(), QStringLiteral("About"));
    QCOMPARE(actions[4]->text().trimmed(), QStringLiteral("Trace"));
    QVERIFY(!m_window->findChild<TraceWindow *>());

    TraceWindow *window = openByMenu();
    QVERIFY(window);
    QVERIFY(window->isWindow());
    QCOMPARE(window->windowTitle(), QStringLiteral("Trace"));
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QList<QWidget *> controls = window->findChildren<QWidget *>();
    int named = 0;
    for (QWidget *w : controls) {
        if (!w->focusPolicy() || w->objectName().isEmpty() || !w->objectName().startsWith("trace"))
            continue;
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        QVERIFY2(iface && !iface->text(QAccessible::Name).trimmed().isEmpty(),
                 qPrintable(w->objectName()));
        ++named;
    }
    QVERIFY(named >= 8);
    // A second press brings the same window forward.
    QCOMPARE(openByMenu(), window);
}

void TraceWindowTest::recordsWhileOpenOnly() {
    connectBySimulator();
    link::ReaderLink *link = m_window->link();
    QVERIFY(link->sendCommand("V"));
    QTest::qWait(150);
    TraceWindow *window = openByMenu();
    QVERIFY(window);
    QCOMPARE(window->model()->rowCount(), 0);

    QVERIFY(link->sendCommand("V"));
    QTRY_VERIFY(window->model()->rowCount() >= 2);
    QCOMPARE(window->model()->chunk(0).bytes, QByteArray("V\r"));
    QCOMPARE(window->model()->chunk(0).direction, link::WireDirection::ToReader);
    QCOMPARE(window->model()->chunk(1).direction, link::WireDirection::FromReader);

    // Paused, nothing is added; resumed, it is.
    window->setPaused(true);
    const int kept = window->model()->rowCount();
    QVERIFY(link->sendCommand("V"));
    QTest::qWait(200);
    QCOMPARE(window->model()->rowCount(), kept);
    window->findChild<QAbstractButton *>(QStringLiteral("tracePause"))->click();
    QVERIFY(!window->isPaused());
    QVERIFY(link->sendCommand("V"));
    QTRY_VERIFY(window->model()->rowCount() > kept);

    // Closed, it stops recording...
    window->close();
    QVERIFY(!window->recorder()->isRecording());
    // ...unless asked to keep on.
    window->findChild<QCheckBox *>(QStringLiteral("traceKeepRecording"))->setChecked(true);
    QVERIFY(window->recorder()->isRecording());

    window->findChild<QAbstractButton *>(QStringLiteral("traceClear"))->click();
    QCOMPARE(window->model()->rowCount(), 0);
}

void TraceWindowTest::findSelectsBytesSplitAcrossChunks() {
    TraceWindow *window = openByMenu();
    QVERIFY(window);
    window->model()->append({{1000, link::WireDirection::ToReader, {}, "V\r"},
                             {2000, link::WireDirection::FromReader, {}, "VA"},
                             {3000, link::WireDirection::FromReader, {}, "RO\r"}});
    window->findChild<QLineEdit *>(QStringLiteral("traceFindText"))->setText("41 52");
    window->findChild<QCheckBox *>(QStringLiteral("traceFindHex"))->setChecked(true);
    window->findChild<QAbstractButton *>(QStringLiteral("traceFind"))->click();
    const QModelIndexList selected = window->view()->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 2);
    QCOMPARE(selected[0].row() + selected[1].row(), 3);

    window->findChild<QLineEdit *>(QStringLiteral("traceFindText"))->setText("zz");
    QVERIFY(!window->findNext());
}

void TraceWindowTest::failedSaveIsReported() {
    TraceWindow *window = openByMenu();
    QVERIFY(window);
    window->model()->append({{1000, link::WireDirection::ToReader, {}, "V\r"}});
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QSignalSpy failed(window, &TraceWindow::saveFailed);
    const QString bad = dir.filePath(QStringLiteral("plain/trace.txt"));
    // Saving goes through the file chooser as a click on "Save..." does.
    window->setSavePathChooser(
        [bad](QWidget *, std::function<void(std::optional<QString>)> done) { done(bad); });
    window->findChild<QAbstractButton *>(QStringLiteral("traceSave"))->click();
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed.first().first().toString().contains(QDir::toNativeSeparators(bad)));
    QTRY_VERIFY(window->findChild<QMessageBox *>() != nullptr);

    const QString good = dir.filePath(QStringLiteral("trace.csv"));
    QVERIFY(!window->saveTo(good));
    QFile saved(good);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll().contains("time_ms,direction,operation,length,hex,text"));
}

void TraceWindowTest::droppedRowsAreNoted() {
    TraceWindow *window = openByMenu();
    QVERIFY(window);
    auto *note = window->findChild<QLabel *>(QStringLiteral("traceDropped"));
    QVERIFY(note);
    QVERIFY(note->isHidden());
    window->findChild<QSpinBox *>(QStringLiteral("traceCapacity"))->setValue(100);
    std::vector<link::WireChunk> batch;
    for (int i = 0; i < 150; ++i)
        batch.push_back({i * 1000, link::WireDirection::FromReader, {}, QByteArray::number(i)});
    window->model()->append(std::move(batch));
    QCOMPARE(window->model()->rowCount(), 100);
    QVERIFY(note->isVisible());
    QVERIFY2(note->text().contains(QStringLiteral("50 older rows were dropped")),
             qPrintable(note->text()));
    window->clear();
    QVERIFY(note->isHidden());
}

// The window's delegate cuts long cells before drawing them; what shows must be exactly what the
// standard delegate draws, elision included.
void TraceWindowTest::longRowsLookAsTheStandardDelegateDrawsThem() {
    link::ReaderLink link;
    trace::TraceWindow window(&link);
    QByteArray bytes(1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 37);
    window.model()->append({{1'234'567, link::WireDirection::ToReader, QStringLiteral("Op"), bytes},
                            {2'345'678, link::WireDirection::FromReader, {}, bytes.left(3)}});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage clipped = window.view()->viewport()->grab().toImage();
    window.view()->setItemDelegate(new QStyledItemDelegate(window.view()));
    const QImage standard = window.view()->viewport()->grab().toImage();
    QCOMPARE(clipped.size(), standard.size());
    QVERIFY(clipped == standard);
}

QTEST_MAIN(TraceWindowTest)
#include "tst_tracewindow.moc"
