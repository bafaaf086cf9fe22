// The settings window's content on real services over a temporary defaults file: the sections and
// their order in both languages, the footer and Escape, every section's setting surviving a new view
// and a new store, the custom tab form's rules, the hot-key rows, the report preview, the update
// statuses, and reaching every control with Tab.
#include "fakes/FakeClock.h"
#include "fakes/FakeTicker.h"
#include "fakes/FakeTrustProbe.h"
#include "fakes/TestSupport.h"
#include "platform/KeyCodes.h"
#include "services/AccessibilityAuth.h"
#include "services/CustomTabsService.h"
#include "services/Defaults.h"
#include "services/LanguageService.h"
#include "services/SettingsService.h"
#include "services/TelemetryService.h"
#include "services/UpdateService.h"
#include "views/Switch.h"
#include "views/settings/AppearanceSection.h"
#include "views/settings/AutoPasteSection.h"
#include "views/settings/CustomTabForm.h"
#include "views/settings/FeaturesSection.h"
#include "views/settings/HotkeyRecorder.h"
#include "views/settings/LanguageSection.h"
#include "views/settings/MonitorSection.h"
#include "views/settings/PrivacySection.h"
#include "views/settings/SettingsMoveButton.h"
#include "views/settings/SettingsView.h"
#include "views/settings/ShortcutsSection.h"
#include "views/settings/UpdatesSection.h"

#include "QuillbayVersion.h"
#include "fakes/TestChecks.h"

#include <QComboBox>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QShortcut>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

// One run of the program's settings: a store on the file and the services over it.
struct Services {
    explicit Services(const QString& file)
        : defaults(file)
        , settings(defaults)
        , customTabs(
              defaults, [](const QString&, double) { return std::optional<QString>(QString()); }, 1.0)
        , accessibility(probe, defaults)
        , updates(defaults, clock)
        , telemetry(defaults, clock, tickers, QUrl(QStringLiteral("http://127.0.0.1:9/api/telemetry")))
        , language(defaults) {
        // The program keeps the order in step with the custom tabs; so does this rig.
        QObject::connect(&customTabs, &CustomTabsService::tabsChanged, &settings, [this] {
            QList<QUuid> ids;
            for (const CustomTab& t : customTabs.tabs())
                ids << t.id;
            settings.syncCustomTabs(ids);
        });
    }
    std::unique_ptr<SettingsView> view(SettingsView::Actions actions = {}) {
        if (!actions.screens)
            actions.screens = [this] { return screens; };
        if (!actions.openUrl)
            actions.openUrl = [this](const QUrl& u) { opened << u; };
        return std::make_unique<SettingsView>(
            SettingsView::Services{settings, customTabs, accessibility, updates, telemetry, language},
            std::move(actions));
    }

    FakeClock clock;
    FakeTickerFactory tickers;
    FakeTrustProbe probe;
    Defaults defaults;
    SettingsService settings;
    CustomTabsService customTabs;
    AccessibilityAuth accessibility;
    UpdateService updates;
    TelemetryService telemetry;
    LanguageService language;
    QList<ScreenChoice> screens;
    QList<QUrl> opened;
};

QStringList titles(const SettingsView& view) {
    QStringList out;
    for (SettingsSection* s : view.sections())
        out << s->title();
    return out;
}

QWidget* row(SettingsView& view, const TabSelection& entry) {
    return view.features()->rowFor(entry);
}

// The custom tab rows are rebuilt once the notices of a change are in.
void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

QStringList comboTexts(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

CustomTab scriptTab(const QString& name, bool enabled = true, qint64 refresh = 0) {
    CustomTab t;
    t.id = QUuid::createUuid();
    t.name = name;
    t.command = QStringLiteral("date");
    t.enabled = enabled;
    t.refreshSeconds = refresh;
    return t;
}

} // namespace

class tst_SettingsView : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_file;
    std::unique_ptr<Services> m_s;

    // The current run ends (its store written) and the next one starts on the same file.
    [[nodiscard]] bool restart() {
        return TestSupport::passes([&] {
            QVERIFY(m_s->defaults.flush());
            m_s.reset();
            m_s = std::make_unique<Services>(m_file);
        });
    }

private slots:
    void init() {
        m_file = m_dir.filePath(QStringLiteral("defaults.json"));
        QFile::remove(m_file);
        m_s = std::make_unique<Services>(m_file);
    }
    void cleanup() { m_s.reset(); }

    void sectionsInOrder() {
        auto view = m_s->view();
        QCOMPARE(titles(*view), (QStringList{"Global shortcuts", "Clipboard auto-paste", "Features",
                                             "Language", "Appearance", "Monitor", "Privacy", "Updates"}));
        QCOMPARE(view->updatesSection()->description(),
                 QStringLiteral("Installed version: " QUILLBAY_VERSION));
        QCOMPARE(view->sections().at(4)->description(),
                 QStringLiteral("Control how the island looks on screens without a physical notch."));
        QCOMPARE(view->minimumSize(), QSize(480, 520));
    }

    void portugueseTranslatesOnlySectionsTwoFourAndSix() {
        auto englishView = m_s->view();
        const QStringList english = titles(*englishView);
        QStringList englishDescriptions;
        for (SettingsSection* s : englishView->sections())
            englishDescriptions << s->description();
        QTranslator pt;
        QVERIFY(pt.load(QStringLiteral(":/i18n/quillbay_pt_BR.qm")));
        QCoreApplication::installTranslator(&pt);
        auto view = m_s->view();
        QCoreApplication::removeTranslator(&pt);
        const QStringList translated = titles(*view);
        for (int i = 0; i < english.size(); ++i) {
            const bool catalogue = i == 1 || i == 3 || i == 5;
            // ("Monitor" is the same word in both languages; its description is not.)
            if (!catalogue)
                QCOMPARE(translated.at(i), english.at(i));
            QCOMPARE(view->sections().at(i)->description() != englishDescriptions.at(i), catalogue);
        }
        QCOMPARE(translated.at(3), QStringLiteral("Idioma"));
        QCOMPARE(view->closeButton()->text(), QStringLiteral("Fechar"));
    }

    void footerButtons() {
        QStringList calls;
        SettingsView::Actions actions;
        actions.onClose = [&] { calls << (m_s->settings.recording() ? "close while recording" : "close"); };
        actions.onQuit = [&] { calls << "quit"; };
        auto view = m_s->view(std::move(actions));
        view->quitButton()->click();
        QCOMPARE(calls, QStringList{"quit"});
        QVERIFY(!view->quitButton()->toolTip().isEmpty());
        // Close ends a recording first.
        m_s->settings.beginRecording(HotkeyTarget::island);
        view->closeButton()->click();
        QCOMPARE(calls, (QStringList{"quit", "close"}));
        QVERIFY(!m_s->settings.recording());
    }

    void escapeCloses() {
        int closes = 0;
        SettingsView::Actions actions;
        actions.onClose = [&] { ++closes; };
        auto view = m_s->view(std::move(actions));
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        view->activateWindow();
        view->features()->addButton()->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(closes, 1);
        // During a recording the first Escape only cancels the recording.
        m_s->settings.beginRecording(HotkeyTarget::clipboardPicker);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!m_s->settings.recording());
        QCOMPARE(closes, 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(closes, 2);
        // Also when the window's Escape shortcut gets the key before the recording does.
        m_s->settings.beginRecording(HotkeyTarget::island);
        auto* shortcut = view->findChild<QShortcut*>("escape");
        QVERIFY(shortcut);
        emit shortcut->activated();
        QVERIFY(!m_s->settings.recording());
        QCOMPARE(closes, 2);
        emit shortcut->activated();
        QCOMPARE(closes, 3);
    }

    // Each case changes one setting through the window; the next run (a new store on the same file and
    // a new window) shows it.
    void settingsSurviveANewRun_data() {
        QTest::addColumn<QString>("change");
        for (const char* c : {"notch off", "screen", "language", "reporting off", "tab off", "tab moved",
                              "custom tab added", "custom tab off", "hot key removed", "hot key recorded"})
            QTest::newRow(c) << QString::fromLatin1(c);
    }
    void settingsSurviveANewRun() {
        QFETCH(QString, change);
        const QString screenID = QStringLiteral("7E1A0000-0000-5000-8000-000000000001");
        m_s->screens = {{screenID, "HDMI-1"}};
        m_s->customTabs.save(scriptTab("Disk"));
        settle();
        {
            auto view = m_s->view();
            view->show();
            QVERIFY(QTest::qWaitForWindowExposed(view.get()));
            if (change == "notch off") {
                view->appearance()->notchSwitch()->click();
            } else if (change == "screen") {
                QComboBox* box = view->monitor()->picker();
                QCOMPARE(comboTexts(box), (QStringList{"Automatic", "HDMI-1"}));
                box->setCurrentIndex(1);
                emit box->activated(1);
            } else if (change == "language") {
                QComboBox* box = view->languageSection()->picker();
                box->setCurrentIndex(2);
                emit box->activated(2);
                QVERIFY(view->languageSection()->restartButton()->isVisible());
            } else if (change == "reporting off") {
                view->privacy()->reportSwitch()->click();
            } else if (change == "tab off") {
                FeaturesSection::rowSwitch(row(*view, DashboardTab::kit))->click();
            } else if (change == "tab moved") {
                qobject_cast<QToolButton*>(
                    FeaturesSection::rowButton(row(*view, DashboardTab::terminal), "chevron.down"))
                    ->click();
            } else if (change == "custom tab added") {
                view->features()->addButton()->click();
                CustomTabForm* form = view->features()->form();
                QTest::keyClicks(form->nameField(), "Site");
                form->webButton()->click();
                QTest::keyClicks(form->urlField(), "localhost:8080");
                form->saveButton()->click();
            } else if (change == "custom tab off") {
                FeaturesSection::rowSwitch(row(*view, TabSelection::custom(m_s->customTabs.tabs().at(0).id)))
                    ->click();
            } else if (change == "hot key removed") {
                view->shortcuts()->row(HotkeyTarget::clipboardPicker).remove->click();
            } else if (change == "hot key recorded") {
                view->shortcuts()->row(HotkeyTarget::island).record->click();
                QTest::keyClick(view->shortcuts()->row(HotkeyTarget::island).record, Qt::Key_J,
                                Qt::ControlModifier | Qt::ShiftModifier);
            }
            settle();
        }
        QVERIFY(restart());
        auto view = m_s->view();
        settle();
        if (change == "notch off") {
            QVERIFY(!m_s->settings.simulateNotch());
            QVERIFY(!view->appearance()->notchSwitch()->isChecked());
        } else if (change == "screen") {
            QCOMPARE(m_s->settings.preferredScreen(), screenID);
            // The screen is gone in this run: it stays chosen, marked as disconnected.
            QCOMPARE(view->monitor()->picker()->currentText(),
                     QStringLiteral("Chosen monitor (disconnected)"));
        } else if (change == "language") {
            QCOMPARE(m_s->language.selected(), AppLanguage(AppLanguage::portuguese));
            QCOMPARE(view->languageSection()->picker()->currentText(), QStringLiteral("Português"));
        } else if (change == "reporting off") {
            QVERIFY(!m_s->telemetry.enabled());
            QVERIFY(!view->privacy()->reportSwitch()->isChecked());
        } else if (change == "tab off") {
            QVERIFY(m_s->settings.disabledTabs().contains(DashboardTab::kit));
            QVERIFY(!FeaturesSection::rowSwitch(row(*view, DashboardTab::kit))->isChecked());
        } else if (change == "tab moved") {
            QCOMPARE(m_s->settings.tabOrder().mid(0, 2),
                     (QList<TabSelection>{DashboardTab::ai, DashboardTab::terminal}));
        } else if (change == "custom tab added") {
            QCOMPARE(m_s->customTabs.tabs().size(), 2);
            const CustomTab t = m_s->customTabs.tabs().at(1);
            QCOMPARE(t.name, QStringLiteral("Site"));
            QCOMPARE(t.kind, CustomTab::Kind::web);
            QCOMPARE(t.url, QStringLiteral("localhost:8080"));
            QVERIFY(t.enabled);
            QCOMPARE(m_s->settings.tabOrder().last(), TabSelection::custom(t.id));
            QVERIFY(row(*view, TabSelection::custom(t.id)));
        } else if (change == "custom tab off") {
            QVERIFY(!m_s->customTabs.tabs().at(0).enabled);
            QVERIFY(
                !FeaturesSection::rowSwitch(row(*view, TabSelection::custom(m_s->customTabs.tabs().at(0).id)))
                     ->isChecked());
        } else if (change == "hot key removed") {
            QCOMPARE(m_s->settings.clipboardHotkeyKeyCode(), -1);
            QCOMPARE(view->shortcuts()->row(HotkeyTarget::clipboardPicker).key->text(),
                     QString::fromUtf8("—"));
        } else if (change == "hot key recorded") {
            QCOMPARE(m_s->settings.hotkeyKeyCode(), 38); // J
            QCOMPARE(view->shortcuts()->row(HotkeyTarget::island).key->text(), QString("Ctrl+Shift+J"));
        }
    }

    void lastBuiltInTabCannotBeSwitchedOff() {
        QList<TabSelection> order = m_s->settings.tabOrder();
        QSet<DashboardTab> off;
        for (const DashboardTab& t : DashboardTab::allCases())
            if (t != DashboardTab::clip)
                off.insert(t);
        m_s->settings.setDisabledTabs(off);
        auto view = m_s->view();
        settle();
        Switch* clip = FeaturesSection::rowSwitch(row(*view, DashboardTab::clip));
        QVERIFY(clip->isChecked());
        QVERIFY(!clip->isEnabled());
        FeaturesSection::rowSwitch(row(*view, DashboardTab::news))->click();
        settle();
        clip = FeaturesSection::rowSwitch(row(*view, DashboardTab::clip));
        QVERIFY(clip->isEnabled());
        // Custom tabs may all be off: their switches stay usable.
        m_s->customTabs.save(scriptTab("Off", false));
        settle();
        QVERIFY(FeaturesSection::rowSwitch(row(*view, TabSelection::custom(m_s->customTabs.tabs().at(0).id)))
                    ->isEnabled());
    }

    void moveButtonsAtTheEnds() {
        m_s->customTabs.save(scriptTab("Last"));
        auto view = m_s->view();
        settle();
        const QList<TabSelection> order = m_s->settings.tabOrder();
        QCOMPARE(order.size(), 12);
        for (int i = 0; i < order.size(); ++i) {
            QWidget* r = row(*view, order.at(i));
            QVERIFY2(r, qPrintable(order.at(i).id()));
            QCOMPARE(FeaturesSection::rowButton(r, "chevron.up")->isEnabled(), i > 0);
            QCOMPARE(FeaturesSection::rowButton(r, "chevron.down")->isEnabled(), i < order.size() - 1);
        }
        // A custom tab can sit between built-in ones.
        qobject_cast<QToolButton*>(FeaturesSection::rowButton(row(*view, order.last()), "chevron.up"))
            ->click();
        settle();
        QCOMPARE(m_s->settings.tabOrder().at(10), order.last());
        QCOMPARE(m_s->settings.tabOrder().at(11), order.at(10));
    }

    // The up and down arrows of every row stand in one column, custom tabs' rows with their edit and
    // delete buttons included.
    void moveArrowsLineUp() {
        m_s->customTabs.save(scriptTab("Custom"));
        auto view = m_s->view();
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        settle();
        QSet<int> ups;
        QSet<int> downs;
        for (const TabSelection& entry : m_s->settings.tabOrder()) {
            QWidget* r = row(*view, entry);
            QVERIFY(r);
            QWidget* up = FeaturesSection::rowButton(r, "chevron.up");
            QWidget* down = FeaturesSection::rowButton(r, "chevron.down");
            ups << up->mapTo(view.get(), QPoint(0, 0)).x();
            downs << down->mapTo(view.get(), QPoint(0, 0)).x();
        }
        QCOMPARE(ups.size(), 1);
        QCOMPARE(downs.size(), 1);
    }

    void formValidity_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("web");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("valid");
        QTest::newRow("script") << "Disk" << false << "df -h"
                                << "" << true;
        QTest::newRow("name of spaces and tabs") << " \t " << false << "df -h"
                                                 << "" << false;
        QTest::newRow("empty name") << "" << false << "df -h"
                                    << "" << false;
        QTest::newRow("command of line breaks") << "Disk" << false << "\n\n \t\n"
                                                << "" << false;
        QTest::newRow("web, loopback with port, no scheme") << "Dev" << true << ""
                                                            << "localhost:3000" << true;
        QTest::newRow("web, 127. address") << "Dev" << true << ""
                                           << "127.0.0.1:5173/x" << true;
        QTest::newRow("web, full address") << "Site" << true << ""
                                           << "https://example.org" << true;
        QTest::newRow("web, file") << "Page" << true << ""
                                   << "file:///tmp/a.html" << true;
        QTest::newRow("web, blank address") << "Site" << true << ""
                                            << "  \t" << false;
        QTest::newRow("web, text that is no address") << "Site" << true << ""
                                                      << "http://[::1" << false;
        QTest::newRow("web ignores the command") << "Site" << true << "echo"
                                                 << "" << false;
        QTest::newRow("script ignores the address") << "Disk" << false << ""
                                                    << "localhost" << false;
    }
    void formValidity() {
        QFETCH(QString, name);
        QFETCH(bool, web);
        QFETCH(QString, command);
        QFETCH(QString, url);
        QFETCH(bool, valid);
        CustomTabForm::Draft d;
        d.name = name;
        d.kind = web ? CustomTab::Kind::web : CustomTab::Kind::script;
        d.command = command;
        d.url = url;
        QCOMPARE(CustomTabForm::isValid(d), valid);
        // The form's Save button agrees with the rule, typed in through the fields.
        CustomTabForm form;
        (web ? form.webButton() : form.scriptButton())->click();
        form.nameField()->setText(name);
        form.commandField()->setPlainText(command);
        form.urlField()->setText(url);
        QCOMPARE(form.saveButton()->isEnabled(), valid);
    }

    void savingAfterTheEditedTabWasDeletedMakesANewTab() {
        const CustomTab original = scriptTab("Disk", false, 15);
        m_s->customTabs.save(original);
        auto view = m_s->view();
        settle();
        QWidget* r = row(*view, TabSelection::custom(original.id));
        qobject_cast<QToolButton*>(FeaturesSection::rowButton(r, "pencil"))->click();
        QVERIFY(view->features()->showingTabForm());
        QCOMPARE(view->features()->form()->nameField()->text(), QStringLiteral("Disk"));
        qobject_cast<QToolButton*>(FeaturesSection::rowButton(r, "trash"))->click();
        settle();
        QVERIFY(m_s->customTabs.tabs().isEmpty());
        QVERIFY(!row(*view, TabSelection::custom(original.id)));
        view->features()->form()->saveButton()->click();
        QCOMPARE(m_s->customTabs.tabs().size(), 1);
        const CustomTab again = m_s->customTabs.tabs().first();
        QVERIFY(again.id != original.id);
        QVERIFY(again.enabled);
        QCOMPARE(again.refreshSeconds, 15);
        QVERIFY(!view->features()->showingTabForm());
    }

    void editingKeepsIdSwitchAndAnOddRefresh() {
        const CustomTab original = scriptTab("Disk", false, 42);
        m_s->customTabs.save(original);
        auto view = m_s->view();
        settle();
        view->features()->startEditForm(original);
        CustomTabForm* form = view->features()->form();
        QCOMPARE(form->refreshMenu()->currentIndex(), -1); // 42 s is none of the choices
        form->nameField()->setText("  Disk usage\t");
        form->commandField()->setPlainText("\n df -h \n");
        form->saveButton()->click();
        const CustomTab saved = m_s->customTabs.tabs().first();
        QCOMPARE(saved.id, original.id);
        QVERIFY(!saved.enabled);
        QCOMPARE(saved.refreshSeconds, 42);
        QCOMPARE(saved.name, QStringLiteral("Disk usage"));
        QCOMPARE(saved.command, QStringLiteral("df -h"));
        // A chosen value is taken.
        view->features()->startEditForm(saved);
        form->refreshMenu()->setCurrentIndex(4);
        form->saveButton()->click();
        QCOMPARE(m_s->customTabs.tabs().first().refreshSeconds, 60);
    }

    void cancelKeepsTheDraftsAndAddClearsThem() {
        auto view = m_s->view();
        FeaturesSection* f = view->features();
        f->addButton()->click();
        f->form()->nameField()->setText("Half");
        f->form()->cancelButton()->click();
        QVERIFY(!f->showingTabForm());
        QVERIFY(m_s->customTabs.tabs().isEmpty());
        QCOMPARE(f->form()->draft().name, QStringLiteral("Half"));
        f->addButton()->click();
        QCOMPARE(f->form()->nameField()->text(), QString());
        QVERIFY(!f->editingTabID());
    }

    void recordingRows() {
        auto view = m_s->view();
        ShortcutsSection* s = view->shortcuts();
        QVERIFY(s->row(HotkeyTarget::island).remove->isVisibleTo(s));
        s->row(HotkeyTarget::island).record->click();
        QCOMPARE(s->row(HotkeyTarget::island).key->text(), QStringLiteral("Press the keys…"));
        QCOMPARE(s->row(HotkeyTarget::island).record->text(), QStringLiteral("Cancel"));
        QCOMPARE(s->row(HotkeyTarget::clipboardPicker).key->text(), QString("Shift+Super+V"));
        QCOMPARE(s->row(HotkeyTarget::clipboardPicker).record->text(), QStringLiteral("Record new…"));
        QVERIFY(!s->row(HotkeyTarget::island).remove->isVisibleTo(s));
        QVERIFY(!s->row(HotkeyTarget::clipboardPicker).remove->isVisibleTo(s));
        // The other row's button does not start a second recording.
        s->row(HotkeyTarget::clipboardPicker).record->click();
        QCOMPARE(m_s->settings.recordingTarget(), HotkeyTarget::island);
        s->row(HotkeyTarget::island).record->click(); // Cancel
        QVERIFY(!m_s->settings.recording());
        QCOMPARE(s->row(HotkeyTarget::island).key->text(), QString("Ctrl+Alt+N"));
        s->row(HotkeyTarget::island).remove->click();
        QCOMPARE(s->row(HotkeyTarget::island).key->text(), QString::fromUtf8("—"));
        QVERIFY(!s->row(HotkeyTarget::island).remove->isVisibleTo(s));
    }

    void theRowRecordedIsTheOneThatSaysSo_data() {
        QTest::addColumn<bool>("picker");
        QTest::newRow("island") << false;
        QTest::newRow("quick-paste picker") << true;
    }
    void theRowRecordedIsTheOneThatSaysSo() {
        QFETCH(bool, picker);
        auto view = m_s->view();
        ShortcutsSection* s = view->shortcuts();
        const HotkeyTarget target = picker ? HotkeyTarget::clipboardPicker : HotkeyTarget::island;
        const HotkeyTarget other = picker ? HotkeyTarget::island : HotkeyTarget::clipboardPicker;
        // The other row was the last one recorded, so the target changes with this press.
        s->row(other).record->click();
        s->row(other).record->click(); // Cancel
        s->row(target).record->click();
        QCOMPARE(s->row(target).key->text(), QStringLiteral("Press the keys…"));
        QCOMPARE(s->row(target).record->text(), QStringLiteral("Cancel"));
        QCOMPARE(s->row(other).record->text(), QStringLiteral("Record new…"));
        QVERIFY(s->recorder()->watching());
        m_s->settings.endRecording();
        QVERIFY(!s->recorder()->watching());
    }

    void refusedKeysSayWhy_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("message");
        QTest::newRow("control alone waits for the key")
            << int(Qt::Key_Control) << int(Qt::ControlModifier) << false;
        QTest::newRow("shift alone waits") << int(Qt::Key_Shift) << int(Qt::ShiftModifier) << false;
        QTest::newRow("a letter without modifiers") << int(Qt::Key_K) << int(Qt::NoModifier) << true;
        QTest::newRow("shift and a letter") << int(Qt::Key_K) << int(Qt::ShiftModifier) << true;
        QTest::newRow("a key outside the table")
            << int(Qt::Key_MediaPlay) << int(Qt::ControlModifier) << true;
    }
    void refusedKeysSayWhy() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, message);
        auto view = m_s->view();
        ShortcutsSection* s = view->shortcuts();
        s->row(HotkeyTarget::island).record->click();
        QTest::keyPress(s->row(HotkeyTarget::island).record, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY(m_s->settings.recording()); // still waiting for a usable key
        QCOMPARE(m_s->settings.hotkeyKeyCode(), 45);
        QCOMPARE(!s->problem().isEmpty(), message);
        QCOMPARE(view->findChild<QLabel*>("shortcutProblem")->isVisibleTo(s), message);
        // A usable key then goes in and the message leaves with the next recording.
        QTest::keyPress(s->row(HotkeyTarget::island).record, Qt::Key_K,
                        Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(!m_s->settings.recording());
        QCOMPARE(m_s->settings.hotkeyKeyCode(), 40);
        s->row(HotkeyTarget::island).record->click();
        QVERIFY(s->problem().isEmpty());
        m_s->settings.endRecording();
    }

    void autoPasteShowsTheTrust() {
        auto view = m_s->view();
        AutoPasteSection* a = view->autoPaste();
        QCOMPARE(a->statusText(),
                 QStringLiteral("Accessibility access not granted — picking an item just copies it"));
        QVERIFY(a->grantButton()->isVisibleTo(a));
        // A display with XTEST: the answer is read once, when the program starts.
        FakeTrustProbe trusting;
        trusting.trusted = true;
        AccessibilityAuth granted(trusting, m_s->defaults);
        AutoPasteSection b(granted);
        QCOMPARE(b.statusText(), QStringLiteral("Accessibility access granted"));
        QVERIFY(!b.grantButton()->isVisibleTo(&b));
    }

    void restartButtonFollowsTheLaunchLanguage() {
        auto view = m_s->view();
        LanguageSection* l = view->languageSection();
        QCOMPARE(comboTexts(l->picker()), (QStringList{"Follow system", "English", "Português"}));
        QVERIFY(!l->restartButton()->isVisibleTo(l));
        emit l->picker()->activated(1);
        QVERIFY(l->restartButton()->isVisibleTo(l));
        emit l->picker()->activated(0);
        QVERIFY(!l->restartButton()->isVisibleTo(l));
    }

    void monitorList() {
        m_s->screens = {{"ID-A", "Dell U2720Q (DP-1)"}, {"ID-B", "Dell U2720Q (DP-1)"}, {"", "nameless"}};
        m_s->settings.setPreferredScreen("ID-GONE");
        auto view = m_s->view();
        QComboBox* box = view->monitor()->picker();
        QCOMPARE(comboTexts(box), (QStringList{"Automatic", "Dell U2720Q (DP-1)", "Dell U2720Q (DP-1)",
                                               "Chosen monitor (disconnected)"}));
        QCOMPARE(box->currentIndex(), 3);
        emit box->activated(0);
        QCOMPARE(m_s->settings.preferredScreen(), QStringLiteral("auto"));
        QCOMPARE(comboTexts(box).size(), 3);
        // A screen connected while the window is open shows up without reopening it.
        m_s->screens << ScreenChoice{"ID-C", "HDMI-1"};
        view->screensChanged();
        QCOMPARE(comboTexts(box).last(), QStringLiteral("HDMI-1"));
        emit box->activated(3);
        QCOMPARE(m_s->settings.preferredScreen(), QStringLiteral("ID-C"));
        m_s->screens.removeLast();
        view->screensChanged();
        QCOMPARE(box->currentText(), QStringLiteral("Chosen monitor (disconnected)"));
    }

    void reportingOffErasesAndThePreviewShowsAFreshReport() {
        m_s->telemetry.islandOpened();
        m_s->clock.advanceSeconds(300);
        m_s->telemetry.islandClosed();
        m_s->telemetry.tabUsed("kit");
        m_s->defaults.set("telemetryLastSent", "2025-12-31T10:00:00.000Z");
        const QString oldID = m_s->telemetry.anonID();
        auto view = m_s->view();
        PrivacySection* p = view->privacy();
        QVERIFY(p->reportSwitch()->isChecked());
        QVERIFY(!p->preview()->isVisibleTo(p));
        QCOMPARE(p->previewButton()->text(), QStringLiteral("See exactly what would be sent"));

        p->reportSwitch()->click();
        for (const char* key :
             {"telemetryAnonID", "telemetrySeconds", "telemetryOpens", "telemetryTabs", "telemetryLastSent"})
            QVERIFY2(!m_s->defaults.contains(QString::fromLatin1(key)), key);

        p->previewButton()->click();
        QCOMPARE(p->previewButton()->text(), QStringLiteral("Hide what would be sent"));
        QVERIFY(p->preview()->isVisibleTo(p));
        const QString text = p->preview()->toPlainText();
        const QJsonObject shown = QJsonDocument::fromJson(text.toUtf8()).object();
        QVERIFY(shown.value("anon").toString() != oldID);
        QCOMPARE(shown.value("anon").toString(), m_s->defaults.string("telemetryAnonID").value_or(QString()));
        QCOMPARE(shown.value("minutes").toInt(-1), 0);
        QCOMPARE(shown.value("opens").toInt(-1), 0);
        QCOMPARE(shown.value("tabs").toObject(), QJsonObject());
        // Keys in alphabetical order, as written in the box.
        QStringList keys;
        const QRegularExpression key(QStringLiteral("^\\s*\"(\\w+)\":"), QRegularExpression::MultilineOption);
        for (auto it = key.globalMatch(text); it.hasNext();)
            keys << it.next().captured(1);
        QCOMPARE(keys, (QStringList{"anon", "macos", "minutes", "notch", "opens", "tabs", "version"}));

        // Turning it back on erases nothing more and sends nothing by itself.
        p->reportSwitch()->click();
        QVERIFY(m_s->telemetry.enabled());
        QVERIFY(m_s->defaults.contains("telemetryAnonID"));
        QVERIFY(!m_s->telemetry.sending());
        p->previewButton()->click();
        QVERIFY(!p->preview()->isVisibleTo(p));

        p->policyButton()->click();
        // On the host the report goes to, as the build or the test set it.
        QCOMPARE(m_s->opened, QList<QUrl>{QUrl("http://127.0.0.1:9/privacy.html")});
    }

    void updateStatuses_data() {
        using Kind = UpdatesSection::State::Kind;
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("quiet");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("red");
        QTest::addColumn<bool>("checkEnabled");
        QTest::addColumn<bool>("spinner");
        QTest::addColumn<bool>("offer");
        QTest::newRow("idle") << int(Kind::idle) << false << "" << false << true << false << false;
        QTest::newRow("checking") << int(Kind::checking) << false << "Checking…" << false << false << false
                                  << false;
        QTest::newRow("up to date") << int(Kind::upToDate) << false << "You're on the latest version ✓"
                                    << false << true << false << false;
        QTest::newRow("available") << int(Kind::available) << false << "" << false << true << false << true;
        QTest::newRow("error") << int(Kind::error) << false << "Couldn't reach the update server." << true
                               << true << false << false;
        // A failed automatic check: the same line, not in red.
        QTest::newRow("quiet error") << int(Kind::error) << true << "Couldn't reach the update server."
                                     << false << true << false << false;
        QTest::newRow("downloading") << int(Kind::downloading) << false << "Downloading…" << false << false
                                     << true << false;
        QTest::newRow("installing") << int(Kind::installing) << false << "Installing — the app will reopen…"
                                    << false << true << true << false;
    }
    void updateStatuses() {
        QFETCH(int, kind);
        QFETCH(bool, quiet);
        QFETCH(QString, text);
        QFETCH(bool, red);
        QFETCH(bool, checkEnabled);
        QFETCH(bool, spinner);
        QFETCH(bool, offer);
        UpdatesSection section(QStringLiteral("1.2.3"));
        QSignalSpy checks(&section, &UpdatesSection::checkRequested);
        QSignalSpy installs(&section, &UpdatesSection::installRequested);
        UpdatesSection::State state;
        state.quiet = quiet;
        state.kind = UpdatesSection::State::Kind(kind);
        state.version = "1.3.0";
        state.notes = "Faster.";
        state.message = "Couldn't reach the update server.";
        section.setState(state);
        QCOMPARE(section.description(), QStringLiteral("Installed version: 1.2.3"));
        QCOMPARE(section.statusLabel()->text(), text);
        QCOMPARE(section.statusLabel()->isVisibleTo(&section), !text.isEmpty());
        QCOMPARE(section.statusLabel()->palette().color(QPalette::WindowText) == QColor(255, 69, 58), red);
        QCOMPARE(section.checkButton()->isEnabled(), checkEnabled);
        QCOMPARE(section.spinner()->isVisibleTo(&section), spinner);
        QCOMPARE(section.offerBox()->isVisibleTo(&section), offer);
        section.checkButton()->click();
        QCOMPARE(checks.count(), checkEnabled ? 1 : 0);
        if (offer) {
            QCOMPARE(section.offerTitle()->text(), QStringLiteral("Version 1.3.0 is available 🎉"));
            QCOMPARE(section.offerNotes()->text(), QStringLiteral("Faster."));
            section.updateNowButton()->click();
            QCOMPARE(installs.count(), 1);
        }
    }

    // While the archive unpacks, the line and a filling bar tell how far; before and after, the busy bar.
    void unpackingProgress_data() {
        QTest::addColumn<int>("progress");
        QTest::addColumn<QString>("text");
        QTest::newRow("not unpacking") << -1 << "Installing — the app will reopen…";
        QTest::newRow("just begun") << 0 << "Unpacking the update — 0 %";
        QTest::newRow("under way") << 42 << "Unpacking the update — 42 %";
        QTest::newRow("done") << 100 << "Unpacking the update — 100 %";
    }
    void unpackingProgress() {
        QFETCH(int, progress);
        QFETCH(QString, text);
        UpdatesSection section(QStringLiteral("1.2.3"));
        UpdatesSection::State state;
        state.kind = UpdatesSection::State::Kind::installing;
        state.progress = progress;
        section.setState(state);
        QCOMPARE(section.statusLabel()->text(), text);
        QVERIFY(section.spinner()->isVisibleTo(&section));
        QCOMPARE(section.spinner()->maximum(), progress >= 0 ? 100 : 0);
        QCOMPARE(section.spinner()->value(), std::max(progress, 0));
        // The next status takes the bar back to busy.
        state.kind = UpdatesSection::State::Kind::downloading;
        state.progress = -1;
        section.setState(state);
        QCOMPARE(section.spinner()->maximum(), 0);
        QCOMPARE(section.statusLabel()->text(), QStringLiteral("Downloading…"));
    }

    void offerNotes_data() {
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("visible");
        QTest::newRow("none") << ""
                              << "" << false;
        QTest::newRow("five lines") << "1\n2\n3\n4\n5"
                                    << "1\n2\n3\n4\n5" << true;
        QTest::newRow("seven lines cut to five") << "1\n2\n3\n4\n5\n6\n7"
                                                 << "1\n2\n3\n4\n5" << true;
        QTest::newRow("markup shown as text") << "<b>bold</b>"
                                              << "<b>bold</b>" << true;
    }
    void offerNotes() {
        QFETCH(QString, notes);
        QFETCH(QString, shown);
        QFETCH(bool, visible);
        UpdatesSection section(QStringLiteral("1.2.3"));
        UpdatesSection::State state;
        state.kind = UpdatesSection::State::Kind::available;
        state.version = "2.0.0";
        state.notes = notes;
        section.setState(state);
        QCOMPARE(section.offerNotes()->isVisibleTo(&section), visible);
        if (visible)
            QCOMPARE(section.offerNotes()->text(), shown);
        QCOMPARE(section.offerNotes()->textFormat(), Qt::PlainText);
        QVERIFY(section.updateNowButton()->isVisibleTo(&section));
    }

    void everyControlIsReachedWithTab() {
        m_s->customTabs.save(scriptTab("Disk"));
        settle();
        auto view = m_s->view();
        view->resize(540, 620);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        // Move a row, so that rebuilt rows must find their place in the Tab order again.
        qobject_cast<QToolButton*>(FeaturesSection::rowButton(row(*view, DashboardTab::ai), "chevron.up"))
            ->click();
        settle();

        QList<QWidget*> expected;
        for (QWidget* w : view->findChildren<QWidget*>()) {
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(view.get()) && w->isEnabled() &&
                !qobject_cast<QScrollArea*>(w) && !w->focusProxy())
                expected << w;
        }
        QVERIFY(expected.size() > 30);
        view->shortcuts()->row(HotkeyTarget::island).record->setFocus();
        QList<QWidget*> seen;
        for (int i = 0; i < expected.size() * 2 && seen.size() < expected.size(); ++i) {
            QWidget* f = QApplication::focusWidget();
            if (f && !seen.contains(f))
                seen << f;
            QTest::keyClick(f, Qt::Key_Tab);
        }
        for (QWidget* w : expected)
            QVERIFY2(seen.contains(w), qPrintable(w->metaObject()->className() + (" " + w->objectName()) +
                                                  " " + w->accessibleName()));
        // The rows come in the list's order: AI's switch right before Terminal's.
        const int ai = seen.indexOf(FeaturesSection::rowSwitch(row(*view, DashboardTab::ai)));
        const int terminal = seen.indexOf(FeaturesSection::rowSwitch(row(*view, DashboardTab::terminal)));
        QVERIFY2(ai >= 0 && ai < terminal, qPrintable(QString("%1 %2").arg(ai).arg(terminal)));
        QVERIFY(terminal < seen.indexOf(view->features()->addButton()));
    }

    void updatesSectionFollowsTheUpdateService() {
        auto view = m_s->view();
        UpdatesSection* section = view->updatesSection();
        QVERIFY(section->checkButton()->isEnabled());
        QVERIFY(section->autoCheckSwitch()->isEnabled());
        QCOMPARE(section->autoCheckSwitch()->isChecked(), m_s->updates.autoCheck());
        // Both ways: the switch sets the service, and a change made elsewhere reaches the switch.
        section->autoCheckSwitch()->click();
        QCOMPARE(m_s->updates.autoCheck(), section->autoCheckSwitch()->isChecked());
        m_s->updates.setAutoCheck(!m_s->updates.autoCheck());
        QCOMPARE(section->autoCheckSwitch()->isChecked(), m_s->updates.autoCheck());
        QCOMPARE(section->state().kind, m_s->updates.status().kind);
    }
};

QTEST_MAIN(tst_SettingsView)
#include "tst_SettingsView.moc"
