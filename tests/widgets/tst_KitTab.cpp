// The Kit tab and its panels over a state with fake seams: chips and pages, paste-and-detect, the UUID
// button, the result colours, the swatch, the capture button and the image drop zone.
#include "fakes/FakeAreaCapture.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeLanAddress.h"
#include "fakes/FakePasteboard.h"
#include "fakes/TextInk.h"
#include "services/UtilsState.h"
#include "views/ChipRow.h"
#include "views/ImageConvertView.h"
#include "views/KitOutputText.h"
#include "views/KitTab.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <memory>

class tst_KitTab : public QObject {
    Q_OBJECT

    FakeClock m_clock;
    std::unique_ptr<FakePasteboard> m_pb;
    FakeLanAddress m_lan;
    FakeAreaCapture m_area;
    std::unique_ptr<UtilsState> m_utils;
    std::unique_ptr<KitTab> m_tab;

    template <typename T = QWidget> T* child(const char* name) {
        T* w = m_tab->findChild<T*>(name);
        if (!w)
            qFatal("no child %s", name);
        return w;
    }
    void click(const char* name) { child<QAbstractButton>(name)->click(); }
    void chooseTool(DevTool tool) { child<ChipRow>("tools")->button(int(tool))->click(); }

private slots:
    void init() {
        m_pb = std::make_unique<FakePasteboard>();
        m_area.pending = nullptr;
        m_area.opened = 0;
        m_utils = std::make_unique<UtilsState>(
            UtilsState::Seams{&m_clock, m_pb.get(), &m_lan, &m_area, nullptr, nullptr, nullptr});
        m_tab = std::make_unique<KitTab>(*m_utils);
        m_tab->resize(640, 280);
        m_tab->show();
    }
    void cleanup() {
        m_tab.reset();
        m_utils.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    // In the island's 612-pixel content width every chip keeps its whole title, none overlaps another
    // or the buttons beside them, also with "Generate" shown for UUID.
    void chipsFitTheRow_data() {
        QTest::addColumn<DevTool>("tool");
        QTest::newRow("JSON") << DevTool::json;
        QTest::newRow("UUID, with Generate") << DevTool::uuid;
        QTest::newRow("Imagem") << DevTool::image;
    }
    void chipsFitTheRow() {
        QFETCH(DevTool, tool);
        // As wide as the dashboard makes it, whatever the tab would like.
        m_tab->setFixedSize(612, 280);
        chooseTool(tool);
        QVERIFY(QTest::qWaitForWindowExposed(m_tab.get()));
        QCoreApplication::processEvents();
        auto* row = child<ChipRow>("tools");
        QList<QRect> taken;
        for (DevTool t : {DevTool::json, DevTool::jwt, DevTool::uuid, DevTool::base64, DevTool::epoch,
                          DevTool::color, DevTool::qr, DevTool::ocr, DevTool::image}) {
            QAbstractButton* chip = row->button(int(t));
            const QRect r(chip->mapTo(m_tab.get(), QPoint(0, 0)), chip->size());
            QVERIFY2(chip->width() >= chip->fontMetrics().horizontalAdvance(chip->text()) + 8,
                     qPrintable(chip->text()));
            QVERIFY2(m_tab->rect().contains(r), qPrintable(chip->text()));
            taken << r;
        }
        for (const char* name : {"generate", "pasteDetect"}) {
            QWidget* w = child(name);
            if (w->isVisible())
                taken << QRect(w->mapTo(m_tab.get(), QPoint(0, 0)), w->size());
        }
        QCOMPARE(child("generate")->isVisible(), tool == DevTool::uuid);
        for (int i = 0; i < taken.size(); ++i)
            for (int j = i + 1; j < taken.size(); ++j)
                QVERIFY2(!taken[i].intersects(taken[j]), qPrintable(QString("%1 and %2").arg(i).arg(j)));
    }

    void chipsChooseThePage_data() {
        QTest::addColumn<DevTool>("tool");
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("editor");
        QTest::addColumn<bool>("colorRow");
        QTest::newRow("JSON") << DevTool::json << "" << true << false;
        QTest::newRow("UUID: result alone") << DevTool::uuid << "" << false << false;
        QTest::newRow("Cor: colour row") << DevTool::color << "" << true << true;
        QTest::newRow("QR") << DevTool::qr << "qrPanel" << false << false;
        QTest::newRow("OCR") << DevTool::ocr << "ocrPanel" << false << false;
        QTest::newRow("Imagem") << DevTool::image << "imagePanel" << false << false;
    }
    void chipsChooseThePage() {
        QFETCH(DevTool, tool);
        QFETCH(QString, page);
        QFETCH(bool, editor);
        QFETCH(bool, colorRow);
        chooseTool(tool);
        QCOMPARE(m_utils->tool(), tool);
        QCOMPARE(child<QStackedWidget>("")->currentWidget()->objectName(), page);
        QCOMPARE(child("editor")->isVisibleTo(m_tab.get()), editor);
        QCOMPARE(child("colorRow")->isVisibleTo(m_tab.get()), colorRow);
        QCOMPARE(child("generate")->isVisibleTo(m_tab.get()), tool == DevTool::uuid);
    }

    void pasteAndDetectSwitchesChip() {
        chooseTool(DevTool::epoch);
        m_pb->copy(QString("[1,{\"b\":2,\"a\":1}]"));
        click("pasteDetect");
        QCOMPARE(child<ChipRow>("tools")->current(), int(DevTool::json));
        QVERIFY(
            child<KitOutputText>("result")->toPlainText().startsWith("[\n    1,\n    {\n        \"a\": 1"));
        QCOMPARE(child<QPlainTextEdit>("editor")->toPlainText(), QString("[1,{\"b\":2,\"a\":1}]"));
    }

    void pasteAndDetectWithoutTextChangesNothing() {
        chooseTool(DevTool::epoch);
        child<QPlainTextEdit>("editor")->setPlainText("1784493808");
        const QString before = m_utils->output();
        m_pb->copy(std::nullopt, {"image/png"});
        click("pasteDetect");
        QCOMPARE(m_utils->tool(), DevTool::epoch);
        QCOMPARE(m_utils->output(), before);
    }

    void generateGivesFreshUUIDs() {
        chooseTool(DevTool::uuid);
        click("generate");
        const QString first = child<KitOutputText>("result")->toPlainText();
        click("generate");
        const QString second = child<KitOutputText>("result")->toPlainText();
        QCOMPARE(first.size(), 36);
        QVERIFY(first != second);
    }

    // Choosing a tool changes only which chip is lit: every other chip keeps its symbol and its place,
    // pixel for pixel (UUID once made every chip drop its symbol and the row move).
    void chipRowStaysAsItIs_data() {
        QTest::addColumn<DevTool>("tool");
        QTest::newRow("UUID") << DevTool::uuid;
        QTest::newRow("Cor") << DevTool::color;
        QTest::newRow("QR") << DevTool::qr;
        QTest::newRow("Imagem") << DevTool::image;
    }
    void chipRowStaysAsItIs() {
        QFETCH(DevTool, tool);
        m_tab->setFixedSize(612, 280);
        QVERIFY(QTest::qWaitForWindowExposed(m_tab.get()));
        auto* row = child<ChipRow>("tools");
        auto look = [&] {
            QCoreApplication::processEvents();
            return TextInk::drawn(row);
        };
        chooseTool(DevTool::json);
        const QImage before = look();
        chooseTool(tool);
        const QImage after = look();
        QCOMPARE(after.size(), before.size());
        for (DevTool t : {DevTool::json, DevTool::jwt, DevTool::uuid, DevTool::base64, DevTool::epoch,
                          DevTool::color, DevTool::qr, DevTool::ocr, DevTool::image}) {
            if (t == tool || t == DevTool::json)
                continue; // lit in one of the two pictures
            QAbstractButton* chip = row->button(int(t));
            const QRect r = chip->geometry();
            QVERIFY2(before.copy(r) == after.copy(r), qPrintable(chip->text()));
            // Its symbol is drawn: ink in the chip's first 16 pixels, left of its title.
            const QImage symbol = after.copy(r.left(), r.top(), 16 + 8, r.height());
            QVERIFY2(!TextInk::bands(symbol).isEmpty(), qPrintable(chip->text()));
        }
    }

    // The colour row's echo of the input is one line that ends in "…" when the input is longer.
    void colourEchoEndsInAnEllipsis() {
        m_tab->setFixedSize(612, 280);
        chooseTool(DevTool::color);
        child<QPlainTextEdit>("editor")->setPlainText(
            "#FF6B35 is the orange of the brand guide, and this note goes well past the end of the row");
        QVERIFY(QTest::qWaitForWindowExposed(m_tab.get()));
        QCoreApplication::processEvents();
        auto* echo = child<QLabel>("colorInput");
        const QImage img = TextInk::drawn(echo);
        const auto bands = TextInk::bands(img);
        QCOMPARE(bands.size(), 1);
        QVERIFY(TextInk::endsInEllipsis(img, bands.first()));
    }

    void resultColoursAndSwatch() {
        auto* result = child<KitOutputText>("result");
        QVERIFY(result->toPlainText().isEmpty());
        QCOMPARE(result->placeholderText(), QString("result…"));
        chooseTool(DevTool::color);
        child<QPlainTextEdit>("editor")->setPlainText("#FF8000");
        QVERIFY(!result->isError());
        QVERIFY(child("swatch")->isVisibleTo(m_tab.get()));
        QCOMPARE(child<QLabel>("colorInput")->text(), QString("#FF8000"));
        child<QPlainTextEdit>("editor")->setPlainText("#FF80");
        QVERIFY(result->isError());
        QVERIFY(!child("swatch")->isVisibleTo(m_tab.get()));
    }

    void copyPutsTheResultOnTheClipboard() {
        click("copy");
        QCOMPARE(m_pb->written, QStringList{QString()});
        child<QPlainTextEdit>("editor")->setPlainText("42");
        click("copy");
        QCOMPARE(m_pb->written.last(), QString("42"));
    }

    // Both empty results show their placeholder in faint white, never in the result's green.
    void placeholdersAreFaintWhite_data() {
        QTest::addColumn<DevTool>("tool");
        QTest::newRow("text tools: result…") << DevTool::json;
        QTest::newRow("screen text: recognized text…") << DevTool::ocr;
    }
    void placeholdersAreFaintWhite() {
        QFETCH(DevTool, tool);
        chooseTool(tool);
        QVERIFY(QTest::qWaitForWindowExposed(m_tab.get()));
        QCoreApplication::processEvents();
        KitOutputText* shown = nullptr;
        for (auto* o : m_tab->findChildren<KitOutputText*>())
            if (o->isVisible() && o->toPlainText().isEmpty())
                shown = o;
        QVERIFY(shown);
        const QImage shot = shown->viewport()->grab().toImage();
        int ink = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                if (c.lightness() < 40)
                    continue;
                ++ink;
                QVERIFY2(qAbs(c.green() - c.red()) < 16 && qAbs(c.green() - c.blue()) < 16,
                         qPrintable(c.name()));
            }
        QVERIFY(ink > 10);
    }

    void captureButtonFollowsCapturing() {
        chooseTool(DevTool::ocr);
        auto* capture = child<QPushButton>("capture");
        QVERIFY(capture->isEnabled());
        capture->click();
        QVERIFY(m_utils->capturing());
        QVERIFY(!capture->isEnabled());
        capture->click(); // ignored while disabled
        QCOMPARE(m_area.opened, 1);
        m_area.finish(std::nullopt);
        QVERIFY(capture->isEnabled());
        QCOMPARE(child<KitOutputText>("output")->toPlainText(), QString("Captura cancelada"));
    }

    void qrFieldAndClear() {
        chooseTool(DevTool::qr);
        auto* field = child<QLineEdit>("url");
        QTest::keyClicks(field, "localhost:8080");
        QCOMPARE(m_utils->output(), QString("https://192.168.1.20:8080"));
        QVERIFY(!m_utils->qrImage().isNull());
        QVERIFY(child("clear")->isVisibleTo(m_tab.get()));
        click("clear");
        QCOMPARE(field->text(), QString());
        QVERIFY(m_utils->qrImage().isNull());
        QVERIFY(!child("clear")->isVisibleTo(m_tab.get()));
        QCOMPARE(child<QLabel>("message")->text(), QString("Digite ou cole uma URL para gerar o QR Code"));
    }

    void dropConvertsOnlyFiles() {
        chooseTool(DevTool::image);
        auto* panel = child<ImageConvertView>("imagePanel");
        QWidget* zone = child("dropZone");
        QCOMPARE(panel->dropZone(), zone);
        QVERIFY(zone->acceptDrops());
        const QPoint inZone = zone->rect().center();
        QMimeData text;
        text.setText("not a file");
        QDragEnterEvent enterText(inZone, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(zone, &enterText);
        QVERIFY(!enterText.isAccepted());
        QVERIFY(!panel->targeted());

        QTemporaryDir dir;
        QStringList files;
        QList<QUrl> urls;
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            files << dir.filePath(name);
            QFile f(files.last());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("text");
            urls << QUrl::fromLocalFile(files.last());
        }
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(inZone, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(zone, &enter);
        QVERIFY(enter.isAccepted());
        QVERIFY(panel->targeted());
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(zone, &leave);
        QVERIFY(!panel->targeted());
        QDropEvent drop(QPointF(inZone), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        // Straight to the zone: the application delivers a drop only inside a real drag.
        static_cast<QObject*>(zone)->event(&drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(m_utils->output(), QString("Converting…"));
        QTRY_COMPARE_WITH_TIMEOUT(m_utils->output(), QString("❌ Falhou: a.txt, b.txt, c.txt"), 10000);
        QVERIFY(child<KitOutputText>("output")->isError());
    }
};

QTEST_MAIN(tst_KitTab)
#include "tst_KitTab.moc"
