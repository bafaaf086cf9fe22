// Help texts, placeholders and empty hints of the small views are shown as written under any language:
// the Terminal tab, its form, log view and QR view under the Brazilian catalogue and under a translator
// that would change every text it is asked for.
#include "fakes/FakeClock.h"
#include "fakes/FakePasteboard.h"
#include "fakes/TestSupport.h"
#include "services/ClipboardService.h"
#include "services/CommandsService.h"
#include "views/DarkField.h"
#include "views/EmptyHint.h"
#include "views/IconButton.h"
#include "views/LogViewer.h"
#include "views/QRViewer.h"
#include "views/Spring.h"
#include "views/TerminalTab.h"

#include <QLabel>
#include <QTranslator>
#include <QtTest>

namespace {

// Answers every lookup, so any text that goes through a catalogue comes out changed.
class EverythingTranslator : public QTranslator {
public:
    QString translate(const char*, const char* sourceText, const char*, int) const override {
        return QStringLiteral("«") + QString::fromUtf8(sourceText) + QStringLiteral("»");
    }
    bool isEmpty() const override { return false; }
};

QStringList shownTexts(QWidget* in) {
    QStringList texts;
    for (IconButton* b : in->findChildren<IconButton*>())
        if (b->isVisibleTo(in))
            texts << b->help();
    for (DarkField* f : in->findChildren<DarkField*>())
        if (f->isVisibleTo(in))
            texts << f->placeholder();
    for (EmptyHint* h : in->findChildren<EmptyHint*>())
        if (h->isVisibleTo(in))
            texts << h->text();
    texts.sort();
    return texts;
}

QString titleOf(QWidget* tab) {
    for (QLabel* l : tab->findChildren<QLabel*>())
        if (l->text().contains(QStringLiteral("SERVI")))
            return l->text();
    return {};
}

} // namespace

class tst_SmallViewTexts : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;

private slots:
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        Animations::setEnabled(false);
    }

    void shownAsWritten_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("title"); // a looked-up text, to show the translator is in effect
        QTest::newRow("pt_BR catalogue") << "pt_BR"
                                         << "MEUS SERVIÇOS";
        QTest::newRow("translates everything") << "everything"
                                               << "«MY SERVICES»";
    }
    void shownAsWritten() {
        QFETCH(QString, language);
        QFETCH(QString, title);
        std::unique_ptr<QTranslator> translator;
        if (language == "everything") {
            translator = std::make_unique<EverythingTranslator>();
        } else {
            translator = std::make_unique<QTranslator>();
            QVERIFY(translator->load("quillbay_" + language, ":/i18n"));
        }
        QVERIFY(QCoreApplication::installTranslator(translator.get()));
        auto remove = qScopeGuard([&] { QCoreApplication::removeTranslator(translator.get()); });

        TestSupport::ServiceSandbox box;
        CommandsService& service = box.service();
        auto stop = qScopeGuard([&] { QVERIFY(TestSupport::stopAll(service)); });
        FakePasteboard pasteboard;
        FakeClock clock;
        ClipboardService clipboard(pasteboard, clock, box.path("clipboard.json"));
        {
            TerminalTab tab(service, clipboard);
            tab.show();
            QCOMPARE(titleOf(&tab), title);
            QCOMPARE(shownTexts(&tab),
                     QStringList({"Add command", "No commands yet — click + to add a service"}));

            service.add("web", "sleep 30", std::nullopt);
            service.setShowingForm(true);
            service.start(service.commands()[0]);
            QTRY_VERIFY(service.runningIDs().contains(service.commands()[0].id));
            QTRY_COMPARE(
                shownTexts(&tab),
                QStringList({"Add command", "Choose the folder the command runs in",
                             "Command (e.g. npm run dev)", "Edit",
                             "Folder to run in (optional — click the folder)",
                             "Insert a path into the command", "Name (e.g. LumenCrate)",
                             "Open on your phone (local network QR)", "Remove", "Stop", "View log"}));
            service.stop(service.commands()[0]);
            QTRY_VERIFY(shownTexts(&tab).contains("Start"));

            service.showLog(service.commands()[0]);
            QVERIFY(tab.findChild<LogViewer*>());
            QCOMPARE(shownTexts(tab.findChild<LogViewer*>()),
                     QStringList({"Back", "Copy whole log", "Open log file"}));

            service.setQrInfo(CommandsService::QRInfo{"web", QString("http://192.168.1.20:5173"),
                                                      QImage(8, 8, QImage::Format_RGB32), std::nullopt});
            QVERIFY(tab.findChild<QRViewer*>());
            QCOMPARE(shownTexts(tab.findChild<QRViewer*>()), QStringList({"Close", "Copy URL"}));
        }
    }
};

QTEST_MAIN(tst_SmallViewTexts)
#include "tst_SmallViewTexts.moc"
