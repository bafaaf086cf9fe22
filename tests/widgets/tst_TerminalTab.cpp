// The Terminal tab over a real CommandsService: the list and its form, the rows' states, which view shows,
// the log view's text, links and selection, the QR view, and the file dialog of the form.
#include "fakes/FakeClock.h"
#include "fakes/FakePasteboard.h"
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "fakes/TextInk.h"
#include "platform/ProcessTable.h"
#include "platform/ServiceLauncher.h"
#include "services/ClipboardService.h"
#include "services/CommandsService.h"
#include "services/ServiceSupervisor.h"
#include "views/CommandForm.h"
#include "views/DarkField.h"
#include "views/EmptyHint.h"
#include "views/FileDialogPicker.h"
#include "views/IconButton.h"
#include "views/LogViewer.h"
#include "views/QRViewer.h"
#include "views/StatusDot.h"
#include "views/SystemColors.h"
#include "views/TerminalTab.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedLayout>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>

namespace {

IconButton* buttonWithHelp(QWidget* in, const QString& help) {
    for (IconButton* b : in->findChildren<IconButton*>())
        if (b->help() == help && b->isVisibleTo(in->window()))
            return b;
    return nullptr;
}

QWidget* rowOf(QWidget* tab, const SavedCommand& cmd) {
    return tab->findChild<QWidget*>(QStringLiteral("row-") + cmd.id.toString(QUuid::WithoutBraces));
}

QWidget* currentPage(TerminalTab& tab) {
    return tab.findChild<QStackedLayout*>()->currentWidget();
}

// Records which addresses reach the desktop's opener.
class Opener : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace

class tst_TerminalTab : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TestSupport::ServiceSandbox> m_box;
    CommandsService* m_service = nullptr;
    // The views copy through the clipboard service, onto this fake.
    FakePasteboard m_pasteboard;
    FakeClock m_clock;
    std::unique_ptr<ClipboardService> m_clipboard;

    CommandsService& service() { return *m_service; }
    ClipboardService& clipboard() { return *m_clipboard; }
    [[nodiscard]] bool writeLog(const QString& name, const QByteArray& content) {
        return TestSupport::passes([&] {
            QDir().mkpath(service().logsDir());
            QFile f(service().logPath(name));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(content);
        });
    }

private slots:
    void initTestCase() { m_home = TestSupport::isolateHome(); }
    void init() {
        m_box = std::make_unique<TestSupport::ServiceSandbox>();
        m_service = &m_box->service();
        m_pasteboard.written.clear();
        m_clipboard =
            std::make_unique<ClipboardService>(m_pasteboard, m_clock, m_box->path("clipboard.json"));
    }
    void cleanup() {
        m_clipboard.reset();
        QVERIFY(TestSupport::stopAll(*m_service));
        m_box.reset();
    }

    void emptyListShowsHintUntilTheFormOpens() {
        TerminalTab tab(service(), clipboard());
        tab.show();
        bool header = false;
        for (QLabel* l : tab.findChildren<QLabel*>())
            header |= l->text() == "MY SERVICES";
        QVERIFY(header);
        auto* hint = tab.findChild<EmptyHint*>();
        QCOMPARE(hint->text(), "No commands yet — click + to add a service");
        QVERIFY(hint->isVisible());
        auto* form = tab.findChild<CommandForm*>();
        QVERIFY(!form->isVisible());

        IconButton* toggle = buttonWithHelp(&tab, "Add command");
        QCOMPARE(toggle->symbol(), "plus.circle");
        toggle->click();
        QVERIFY(service().showingForm());
        QVERIFY(form->isVisible());
        QVERIFY(!hint->isVisible());
        QCOMPARE(toggle->symbol(), "minus.circle");

        QStringList placeholders;
        for (DarkField* f : form->findChildren<DarkField*>())
            placeholders << f->placeholder();
        QCOMPARE(placeholders,
                 QStringList({"Name (e.g. LumenCrate)", "Folder to run in (optional — click the folder)",
                              "Command (e.g. npm run dev)"}));
        QVERIFY(buttonWithHelp(form, "Choose the folder the command runs in"));
        QVERIFY(buttonWithHelp(form, "Insert a path into the command"));
    }

    void saveNeedsNameAndCommand() {
        TerminalTab tab(service(), clipboard());
        tab.show();
        buttonWithHelp(&tab, "Add command")->click();
        auto* name = tab.findChild<DarkField*>("draftName");
        auto* command = tab.findChild<DarkField*>("draftCommand");
        auto* save = tab.findChild<QPushButton*>("saveDraft");
        QCOMPARE(save->text(), "Save");

        QTest::keyClicks(name, "  web  ");
        QCOMPARE(service().draftName(), "  web  ");
        save->click();
        QVERIFY(service().commands().isEmpty());
        QVERIFY(service().showingForm());
        QCOMPARE(name->text(), "  web  "); // nothing cleared

        QTest::keyClicks(command, "npm run dev");
        save->click();
        QCOMPARE(service().commands().size(), 1);
        QCOMPARE(service().commands()[0].name, "web");
        QVERIFY(!tab.findChild<CommandForm*>()->isVisible());
        QVERIFY(name->text().isEmpty());
        QVERIFY(!tab.findChild<EmptyHint*>()->isVisible());
        // The first row of a list that was empty on screen draws at once, at its full height.
        QWidget* row = rowOf(&tab, service().commands()[0]);
        QVERIFY(row);
        QCoreApplication::processEvents();
        QVERIFY(row->isVisible());
        auto* shownName = row->findChild<QLabel*>("name");
        QCOMPARE(shownName->text(), "web");
        QVERIFY(shownName->isVisible());
        QVERIFY2(row->height() >= shownName->fontMetrics().height() + 8,
                 qPrintable(QString::number(row->height())));
        QVERIFY(row->width() > 100);
    }

    void returnInTheFormSaves_data() {
        QTest::addColumn<QString>("field");
        QTest::newRow("in the name") << "draftName";
        QTest::newRow("in the folder") << "draftFolder";
        QTest::newRow("in the command") << "draftCommand";
    }
    void returnInTheFormSaves() {
        QFETCH(QString, field);
        TerminalTab tab(service(), clipboard());
        tab.show();
        buttonWithHelp(&tab, "Add command")->click();
        auto* name = tab.findChild<DarkField*>("draftName");
        auto* command = tab.findChild<DarkField*>("draftCommand");
        // Incomplete: Return keeps the form open and its text.
        QTest::keyClicks(name, "web");
        QTest::keyClick(tab.findChild<DarkField*>(field), Qt::Key_Return);
        QVERIFY(service().commands().isEmpty());
        QVERIFY(service().showingForm());
        QCOMPARE(name->text(), "web");

        QTest::keyClicks(command, "npm run dev");
        QTest::keyClick(tab.findChild<DarkField*>(field), Qt::Key_Return);
        QCOMPARE(service().commands().size(), 1);
        QCOMPARE(service().commands()[0].command, "npm run dev");
        QVERIFY(!service().showingForm());
    }

    void toggleAfterEditReturnsToAddMode() {
        service().add("api", "make serve", QString("/tmp/app"));
        TerminalTab tab(service(), clipboard());
        tab.show();
        const SavedCommand cmd = service().commands()[0];
        buttonWithHelp(rowOf(&tab, cmd), "Edit")->click();
        auto* save = tab.findChild<QPushButton*>("saveDraft");
        QCOMPARE(save->text(), "Update");
        QCOMPARE(tab.findChild<DarkField*>("draftFolder")->text(), "/tmp/app");

        IconButton* toggle = buttonWithHelp(&tab, "Add command");
        toggle->click(); // closes, leaves add mode, keeps the drafts
        QVERIFY(!service().showingForm());
        QVERIFY(service().editingID().isNull());
        toggle->click();
        QCOMPARE(save->text(), "Save");
        QCOMPARE(tab.findChild<DarkField*>("draftName")->text(), "api");
        save->click();
        QCOMPARE(service().commands().size(), 2);
        QVERIFY(service().commands()[1].id != cmd.id);
    }

    void rowsShowStateAndDetail() {
        service().add("plain", "sleep 30", std::nullopt);
        service().add("inFolder", "sleep 30", m_box->path("app") + "/"); // a typed trailing slash
        service().add("dies", "exit 3", std::nullopt);
        TerminalTab tab(service(), clipboard());
        tab.show();
        const auto cmds = service().commands();

        QCOMPARE(rowOf(&tab, cmds[0])->findChild<QLabel*>("detail")->text(), "sleep 30");
        QCOMPARE(rowOf(&tab, cmds[1])->findChild<QLabel*>("detail")->text(),
                 QStringLiteral("📁 app  ·  sleep 30"));

        // Stopped: dim dot, green play, no QR button.
        QWidget* row = rowOf(&tab, cmds[0]);
        QCOMPARE(row->findChild<StatusDot*>()->color(), SystemColors::white(0.25));
        QVERIFY(row->findChild<StatusDot*>()->toolTip().isEmpty());
        IconButton* run = buttonWithHelp(row, "Start");
        QCOMPARE(run->symbol(), "play.fill");
        QCOMPARE(run->tint(), SystemColors::green());
        QVERIFY(!buttonWithHelp(row, "Open on your phone (local network QR)"));
        QVERIFY(buttonWithHelp(row, "View log"));
        QVERIFY(buttonWithHelp(row, "Remove"));

        // Running: green dot, red stop, QR button. Rows are rebuilt, so look them up again.
        run->click();
        QTRY_VERIFY(service().runningIDs().contains(cmds[0].id));
        // New rows become visible on the next pass of the event loop.
        IconButton* stop = nullptr;
        QTRY_VERIFY((stop = buttonWithHelp(rowOf(&tab, cmds[0]), "Stop")));
        row = rowOf(&tab, cmds[0]);
        QCOMPARE(row->findChild<StatusDot*>()->color(), SystemColors::green());
        QCOMPARE(stop->symbol(), "stop.fill");
        QCOMPARE(stop->tint(), SystemColors::red());
        QVERIFY(buttonWithHelp(row, "Open on your phone (local network QR)"));

        // Ended on its own: red dot with its tooltip.
        service().start(cmds[2]);
        QTRY_VERIFY_WITH_TIMEOUT(service().crashedIDs().contains(cmds[2].id), 10000);
        QTRY_COMPARE(rowOf(&tab, cmds[2])->findChild<StatusDot*>()->color(), SystemColors::red());
        QCOMPARE(rowOf(&tab, cmds[2])->findChild<StatusDot*>()->toolTip(), "Died on its own — check the log");
    }

    // A row's name and command line stay one line each and end in "…" when the row is too narrow,
    // never cut mid-word at its edge.
    void longRowTextsEndInAnEllipsis_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("ellipsis");
        const QString longCommand =
            "npm run dev -- --host 127.0.0.1 --port 58945 --strictPort --open false --config vite.config.ts";
        const QString longName = "LumenCrate development server with hot reload, the mock API and the docs";
        QTest::newRow("short name") << "web" << longCommand << "name" << false;
        QTest::newRow("long name") << longName << "sleep 30"
                                   << "name" << true;
        QTest::newRow("short command") << "web"
                                       << "sleep 30"
                                       << "detail" << false;
        QTest::newRow("long command") << "web" << longCommand << "detail" << true;
    }
    void longRowTextsEndInAnEllipsis() {
        QFETCH(QString, name);
        QFETCH(QString, command);
        QFETCH(QString, label);
        QFETCH(bool, ellipsis);
        service().add(name, command, std::nullopt);
        TerminalTab tab(service(), clipboard());
        tab.resize(612, 280);
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        QWidget* text = nullptr;
        QTRY_VERIFY((text = rowOf(&tab, service().commands()[0])) &&
                    (text = text->findChild<QLabel*>(label)) && text->isVisible() && text->width() > 0);
        const QImage img = TextInk::drawn(text);
        const auto bands = TextInk::bands(img);
        QCOMPARE(bands.size(), 1);
        QVERIFY(TextInk::wholeLines(bands, text->fontMetrics().height()));
        QCOMPARE(TextInk::endsInEllipsis(img, bands.last()), ellipsis);
    }

    // A service that died on its own: its log view shows the red dot the row shows, and how it ended.
    void logViewShowsHowACrashedServiceEnded_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("ending");
        QTest::newRow("exit status") << "exit 3"
                                     << "Exited with status 3";
        QTest::newRow("killed") << "kill -KILL $$"
                                << "Ended by signal SIGKILL";
        QTest::newRow("segmentation fault") << "kill -SEGV $$"
                                            << "Ended by signal SIGSEGV";
    }
    void logViewShowsHowACrashedServiceEnded() {
        QFETCH(QString, command);
        QFETCH(QString, ending);
        service().add("dies", command, std::nullopt);
        const SavedCommand cmd = service().commands()[0];
        TerminalTab tab(service(), clipboard());
        tab.resize(612, 280);
        tab.show();
        buttonWithHelp(rowOf(&tab, cmd), "View log")->click();
        auto* log = qobject_cast<LogViewer*>(currentPage(tab));
        QVERIFY(log);
        auto* label = log->findChild<QLabel*>("ending");
        QVERIFY(label && !label->isVisible());
        QCOMPARE(log->findChild<StatusDot*>()->color(), SystemColors::white(0.25));

        service().start(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(service().crashedIDs().contains(cmd.id), 10000);
        QTRY_COMPARE(log->findChild<StatusDot*>()->color(), SystemColors::red());
        QCOMPARE(label->text(), ending);
        QVERIFY(label->isVisible());
        // Drawn: red ink for the dot, and the status in one line of text.
        const QImage dot = TextInk::drawn(log->findChild<StatusDot*>());
        bool red = false;
        for (int y = 0; y < dot.height(); ++y)
            for (int x = 0; x < dot.width(); ++x)
                red = red || (qRed(dot.pixel(x, y)) > 200 && qGreen(dot.pixel(x, y)) < 120);
        QVERIFY(red);
        QCOMPARE(TextInk::bands(TextInk::drawn(label)).size(), 1);
    }

    // A stop that takes the grace (the service ignores SIGTERM): the row says so, in orange, and offers no
    // second stop, until the process is gone and the row turns stopped.
    void stoppingRowUntilTheServiceIsGone() {
        service().add("stubborn", "trap '' TERM; exec sleep 3000", std::nullopt);
        const SavedCommand cmd = service().commands().first();
        TerminalTab tab(service(), clipboard());
        tab.show();
        service().start(cmd);
        // Stopped only once the shell has set its trap and become the sleep, so the stop takes the grace.
        const auto runsTheSleep = [&] {
            const QJsonObject running = QJsonDocument::fromJson([&] {
                                            QFile f(m_box->path("support/running.json"));
                                            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
                                        }())
                                            .object();
            const int pid = running.value(cmd.id.toString(QUuid::WithoutBraces).toUpper()).toInt();
            return pid > 0 && m_box->table.cmdline(pid) == "sleep 3000";
        };
        QTRY_VERIFY_WITH_TIMEOUT(runsTheSleep(), 10000);
        IconButton* stop = nullptr;
        QTRY_VERIFY((stop = buttonWithHelp(rowOf(&tab, cmd), "Stop")));
        stop->click();
        QVERIFY(service().stoppingIDs().contains(cmd.id));
        QTRY_COMPARE(rowOf(&tab, cmd)->findChild<QLabel*>("detail")->text(), "Stopping…");
        QWidget* row = rowOf(&tab, cmd);
        QCOMPARE(row->findChild<StatusDot*>()->color(), SystemColors::orange());
        QVERIFY(!row->findChild<IconButton*>("runStop")->isEnabled());
        QCOMPARE(m_box->tickers.fire(ServiceSupervisor::kStopGraceMs), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!service().runningIDs().contains(cmd.id), 30000);
        QTRY_COMPARE(rowOf(&tab, cmd)->findChild<QLabel*>("detail")->text(), cmd.command);
        row = rowOf(&tab, cmd);
        QCOMPARE(row->findChild<StatusDot*>()->color(), SystemColors::white(0.25));
        QVERIFY(row->findChild<IconButton*>("runStop")->isEnabled());
    }

    void qrViewGoesOverTheLogViewOverTheList() {
        service().add("web", "npm run dev", std::nullopt);
        const SavedCommand cmd = service().commands()[0];
        TerminalTab tab(service(), clipboard());
        tab.show();
        QCOMPARE(currentPage(tab)->findChild<QWidget*>("commandList") != nullptr, true);

        buttonWithHelp(rowOf(&tab, cmd), "View log")->click();
        auto* log = qobject_cast<LogViewer*>(currentPage(tab));
        QVERIFY(log);
        service().showQR(cmd); // not running: a message and no image
        auto* qr = qobject_cast<QRViewer*>(currentPage(tab));
        QVERIFY(qr);
        QCOMPARE(qr->findChild<QLabel*>("qrTitle")->text(), "Open web on your phone");
        QCOMPARE(qr->findChild<QLabel*>("qrMessage")->text(), "Start the service first (▶)");
        QVERIFY(!qr->findChild<QWidget*>("qrImage")->isVisible());
        QVERIFY(!buttonWithHelp(qr, "Copy URL"));

        buttonWithHelp(qr, "Close")->click();
        QVERIFY(!service().qrInfo());
        QCOMPARE(currentPage(tab), log);
        buttonWithHelp(log, "Back")->click();
        QVERIFY(!service().viewingLog());
        QTRY_VERIFY(currentPage(tab)->findChild<QWidget*>("commandList"));
    }

    void qrResultShowsImageAddressAndCopy() {
        TerminalTab tab(service(), clipboard());
        tab.show();
        service().setQrInfo(CommandsService::QRInfo{"web", std::nullopt, QImage(), QString("Looking…")});
        auto* qr = qobject_cast<QRViewer*>(currentPage(tab));
        QVERIFY(qr);
        QCOMPARE(qr->findChild<QLabel*>("qrMessage")->text(), "Looking…");
        QImage code(300, 300, QImage::Format_RGB32);
        code.fill(Qt::black);
        service().setQrInfo(
            CommandsService::QRInfo{"web", QString("http://192.168.1.20:5173"), code, std::nullopt});
        QCOMPARE(qobject_cast<QRViewer*>(currentPage(tab)), qr); // updated in place
        QVERIFY(qr->findChild<QWidget*>("qrImage")->isVisible());
        QVERIFY(!qr->findChild<QLabel*>("qrMessage")->isVisible());
        QCOMPARE(qr->findChild<QLabel*>("qrURL")->text(),
                 "http://192.168.1.20:5173  ·  phone on the same Wi-Fi");
        buttonWithHelp(qr, "Copy URL")->click();
        QCOMPARE(m_pasteboard.written, QStringList{"http://192.168.1.20:5173"});

        // Neither image nor message: a single ellipsis.
        service().setQrInfo(CommandsService::QRInfo{"web", std::nullopt, QImage(), std::nullopt});
        QCOMPARE(qr->findChild<QLabel*>("qrMessage")->text(), "…");
    }

    void logTextIsShownAsWrittenWithLinks() {
        service().add("web", "npm run dev", std::nullopt);
        const SavedCommand cmd = service().commands()[0];
        const QByteArray content = "<b>not bold</b> <img src=\"file:///etc/passwd\"> &amp;\n"
                                   "  ➜  Local:   http://localhost:5173/\nready on 0.0.0.0:8000\n";
        QVERIFY(writeLog(cmd.name, content));
        TerminalTab tab(service(), clipboard());
        tab.show();
        service().showLog(cmd);
        auto* text = currentPage(tab)->findChild<QTextBrowser*>("logText");
        QCOMPARE(service().logText(), QString::fromUtf8(content));
        QCOMPARE(text->toPlainText(), QString::fromUtf8(content));

        QStringList anchors;
        for (QTextBlock b = text->document()->begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().isAnchor())
                    anchors << it.fragment().text() + " -> " + it.fragment().charFormat().anchorHref();
        QCOMPARE(anchors, QStringList({"http://localhost:5173/ -> http://localhost:5173/",
                                       "0.0.0.0:8000 -> http://localhost:8000"}));
    }

    void onlyWebLinksOpen() {
        service().add("web", "x", std::nullopt);
        TerminalTab tab(service(), clipboard());
        service().showLog(service().commands()[0]);
        auto* text = currentPage(tab)->findChild<QTextBrowser*>("logText");
        Opener opener;
        for (const char* scheme : {"http", "https", "file", "javascript", "vscode"})
            QDesktopServices::setUrlHandler(scheme, &opener, "open");
        emit text->anchorClicked(QUrl("file:///etc/passwd"));
        emit text->anchorClicked(QUrl("javascript:alert(1)"));
        emit text->anchorClicked(QUrl("vscode://file/tmp"));
        emit text->anchorClicked(QUrl("http://localhost:5173"));
        for (const char* scheme : {"http", "https", "file", "javascript", "vscode"})
            QDesktopServices::unsetUrlHandler(scheme);
        QCOMPARE(opener.opened, QList<QUrl>{QUrl("http://localhost:5173")});
    }

    // The log is read only: focused, it shows no caret and takes no typing, yet copies what is selected.
    void logViewHasNoCaret() {
        service().add("web", "x", std::nullopt);
        const SavedCommand cmd = service().commands()[0];
        QVERIFY(writeLog(cmd.name, "line one\nline two\n"));
        TerminalTab tab(service(), clipboard());
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        service().showLog(cmd);
        auto* text = currentPage(tab)->findChild<QTextBrowser*>("logText");
        text->setFocus();
        QVERIFY(!(text->textInteractionFlags() & (Qt::TextEditable | Qt::TextSelectableByKeyboard)));
        QTest::keyClick(text, Qt::Key_X);
        QCOMPARE(text->toPlainText(), "line one\nline two\n");
        QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), "line one\nline two\n");
    }

    void copyPutsTheShownTextPlaceholderIncluded() {
        service().add("never started", "x", std::nullopt);
        TerminalTab tab(service(), clipboard());
        service().showLog(service().commands()[0]);
        QCOMPARE(service().logText(), "(sem log ainda — inicie o serviço)");
        buttonWithHelp(currentPage(tab), "Copy whole log")->click();
        QCOMPARE(m_pasteboard.written, QStringList{"(sem log ainda — inicie o serviço)"});
        // Recorded as a copy made elsewhere is, as when the view wrote to the desktop's clipboard itself.
        QCOMPARE(clipboard().items().size(), 1);
        QCOMPARE(clipboard().items().first().text, "(sem log ainda — inicie o serviço)");
    }

    void selectionSurvivesRefreshesOfTheSameText() {
        service().add("web", "x", std::nullopt);
        const SavedCommand cmd = service().commands()[0];
        QVERIFY(writeLog(cmd.name, "line one\nline two\n"));
        TerminalTab tab(service(), clipboard());
        tab.show();
        service().showLog(cmd);
        auto* text = currentPage(tab)->findChild<QTextBrowser*>("logText");
        QTextCursor sel(text->document());
        sel.setPosition(0);
        sel.setPosition(4, QTextCursor::KeepAnchor);
        text->setTextCursor(sel);
        QCOMPARE(text->textCursor().selectedText(), "line");

        // The service announces every tick; the view must not redraw an unchanged text.
        emit service().logTextChanged();
        m_box->tickers.fire(1000); // a refresh tick of the same file
        QCOMPARE(text->textCursor().selectedText(), "line");

        QVERIFY(writeLog(cmd.name, "line one\nline two\nline three\n"));
        m_box->tickers.fire(1000);
        QTRY_COMPARE_WITH_TIMEOUT(text->toPlainText(), QString("line one\nline two\nline three\n"), 10000);
        QVERIFY(!text->textCursor().hasSelection());
    }

    void logFollowsTheEnd() {
        service().add("chatty", "x", std::nullopt);
        const SavedCommand cmd = service().commands()[0];
        QByteArray content;
        for (int i = 0; i < 400; ++i)
            content += "request " + QByteArray::number(i) + "\n";
        QVERIFY(writeLog(cmd.name, content));
        TerminalTab tab(service(), clipboard());
        tab.resize(640, 280);
        service().showLog(cmd);
        tab.show();
        QScrollBar* bar = currentPage(tab)->findChild<QTextBrowser*>("logText")->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        QVERIFY(writeLog(cmd.name, content + content));
        m_box->tickers.fire(1000);
        QTRY_VERIFY_WITH_TIMEOUT(
            bar->value() == bar->maximum() && bar->maximum() > 0 &&
                currentPage(tab)->findChild<QTextBrowser*>("logText")->toPlainText().size() > content.size(),
            3000);
    }

    void removeFromARowTakesItAway() {
        service().add("a", "x", std::nullopt);
        service().add("b", "y", std::nullopt);
        TerminalTab tab(service(), clipboard());
        tab.show();
        const SavedCommand first = service().commands()[0];
        // The row holding the pressed button goes away while the click is being handled.
        buttonWithHelp(rowOf(&tab, first), "Remove")->click();
        QCOMPARE(service().commands().size(), 1);
        QVERIFY(!rowOf(&tab, first));
        QTRY_VERIFY(buttonWithHelp(rowOf(&tab, service().commands()[0]), "Remove"));
        buttonWithHelp(rowOf(&tab, service().commands()[0]), "Remove")->click();
        QVERIFY(service().commands().isEmpty());
        QTRY_VERIFY(tab.findChild<EmptyHint*>()->isVisible());
    }

    void longListMakesRowsAsTheyScrollIntoSight() {
        for (int i = 0; i < 120; ++i)
            service().add(QStringLiteral("svc %1").arg(i), QStringLiteral("run %1").arg(i), std::nullopt);
        TerminalTab tab(service(), clipboard());
        tab.resize(640, 320);
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        const auto cmds = service().commands();
        QVERIFY(rowOf(&tab, cmds.first()));
        QVERIFY(!rowOf(&tab, cmds.last()));
        int made = 0;
        for (const SavedCommand& c : cmds)
            made += rowOf(&tab, c) != nullptr;
        QVERIFY2(made < 40, qPrintable(QString::number(made)));

        // Scrolled to the end: the last rows are there and act on their own commands.
        auto* scroll = tab.findChild<QScrollArea*>();
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        QWidget* last = rowOf(&tab, cmds.last());
        QVERIFY(last);
        QCOMPARE(last->findChild<QLabel*>("name")->text(), "svc 119");
        QVERIFY(!rowOf(&tab, cmds.first()));
        buttonWithHelp(last, "Remove")->click();
        QCOMPARE(service().commands().size(), 119);
        QCOMPARE(service().commands().last().id, cmds[118].id);
        QTRY_VERIFY(rowOf(&tab, cmds[118]));
        QCOMPARE(rowOf(&tab, cmds[118])->findChild<QLabel*>("detail")->text(), "run 118");

        // A running state reaches a row made after the change as well.
        buttonWithHelp(rowOf(&tab, cmds[118]), "Start")->click();
        QTRY_VERIFY(service().runningIDs().contains(cmds[118].id));
        scroll->verticalScrollBar()->setValue(0);
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        QTRY_VERIFY(buttonWithHelp(rowOf(&tab, cmds[118]), "Stop"));
        QCOMPARE(rowOf(&tab, cmds[118])->findChild<StatusDot*>()->color(), SystemColors::green());
    }

    void pickersRunADialogWhilePickerOpenIsSet() {
        TerminalTab tab(service(), clipboard());
        tab.show();
        const QString folder = m_box->path("my app");
        QVERIFY(QDir().mkpath(folder));
        bool openDuringDialog = false;
        QString dialogAccept;
        auto answer = [&](const QString& select) {
            QTimer::singleShot(0, [&, select] {
                QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()));
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                openDuringDialog = service().pickerOpen();
                dialogAccept = dialog->labelText(QFileDialog::Accept);
                dialog->selectFile(select);
                QMetaObject::invokeMethod(dialog, "accept");
            });
        };

        answer(folder);
        service().pickFolderForDraft();
        QVERIFY(openDuringDialog);
        QVERIFY(!service().pickerOpen());
        QCOMPARE(dialogAccept, "Usar esta pasta");
        QCOMPARE(service().draftFolder(), folder);

        // The path picker takes a folder as well as a file.
        service().setDraftCommand("ls");
        answer(folder);
        service().pickPathIntoDraft();
        QCOMPARE(dialogAccept, "Usar caminho");
        QCOMPARE(service().draftCommand(), "ls '" + folder + "'");

        // Cancelled: nothing changes, and the island may collapse again.
        QTimer::singleShot(0, [] {
            QTRY_VERIFY(QApplication::activeModalWidget());
            QApplication::activeModalWidget()->close();
        });
        service().pickFolderForDraft();
        QVERIFY(!service().pickerOpen());
        QCOMPARE(service().draftFolder(), folder);
    }
};

QTEST_MAIN(tst_TerminalTab)
#include "tst_TerminalTab.moc"
