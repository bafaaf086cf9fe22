// The kit's state: process() on every assignment, pasting, long inputs off the main thread, and the screen
// text and screen colour flows with fake seams.
#include "services/UtilsState.h"

#include "fakes/FakeAreaCapture.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeLanAddress.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeScreenColorSampler.h"
#include "fakes/FakeTextRecognizer.h"

#include <QDir>
#include <QSignalSpy>
#include <QThreadPool>
#include <QtTest>

#include <memory>
#include <optional>

Q_DECLARE_METATYPE(DevTool)

class tst_UtilsState : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void everyAssignmentProcesses();
    void blankInputClearsGeneratedUUID();
    void swatchAndImageFollowTheTool();
    void pasteURL_data();
    void pasteURL();
    void pasteAndDetect();
    void pasteAndDetectReadsACutTextWhole_data();
    void pasteAndDetectReadsACutTextWhole();
    void pasteAndDetectJudgesALongTextOffTheMainThread();
    void copyEvenEmpty();
    void longInputWorksOffTheMainThread();
    void staleLongResultIsDropped();
    void resultDroppedAfterDestruction();
    void captureCancelled();
    void captureRecognises();
    void captureFindsNothing();
    void secondCaptureIgnored();
    void captureWithoutSeams();
    void colorFromScreen();
    void colorFromScreenCancelled();
    void pickedColor_data();
    void pickedColor();

private:
    FakeClock m_clock;
    std::unique_ptr<FakePasteboard> m_pb;
    FakeLanAddress m_lan;
    FakeAreaCapture m_area;
    FakeScreenColorSampler m_sampler;
    FakeTextRecognizer m_recognizer;
    std::unique_ptr<UtilsState> m_utils;
};

void tst_UtilsState::init() {
    m_pb = std::make_unique<FakePasteboard>();
    m_area.pending = nullptr;
    m_area.opened = 0;
    m_sampler.answer.reset();
    m_sampler.calls = 0;
    m_recognizer.answer.reset();
    m_recognizer.seenPath.clear();
    m_utils = std::make_unique<UtilsState>(
        UtilsState::Seams{&m_clock, m_pb.get(), &m_lan, &m_area, &m_sampler, &m_recognizer, nullptr});
}

void tst_UtilsState::cleanup() {
    m_utils.reset();
    QThreadPool::globalInstance()->waitForDone();
}

void tst_UtilsState::everyAssignmentProcesses() {
    UtilsState& u = *m_utils;
    u.setInput("{\"b\":1,\"a\":2}");
    QCOMPARE(u.output(), QString("{\n    \"a\": 2,\n    \"b\": 1\n}"));
    // The same tool and the same input still recompute (a stale output is replaced).
    u.setOutput("stale");
    QSignalSpy toolSpy(&u, &UtilsState::toolChanged);
    u.setTool(DevTool::json);
    QCOMPARE(toolSpy.count(), 0);
    QCOMPARE(u.output(), QString("{\n    \"a\": 2,\n    \"b\": 1\n}"));
    u.setOutput("stale");
    u.setInput(u.input());
    QVERIFY(u.output().startsWith("{"));
    // The input survives a change of tool and is read again by the new one.
    u.setTool(DevTool::base64);
    QVERIFY(u.output().startsWith("Codificado:\n"));
}

void tst_UtilsState::blankInputClearsGeneratedUUID() {
    UtilsState& u = *m_utils;
    u.setTool(DevTool::uuid);
    u.generateUUID();
    const QString first = u.output();
    QCOMPARE(first.size(), 36);
    QCOMPARE(first, first.toUpper());
    QVERIFY(!QUuid::fromString(first).isNull());
    u.generateUUID();
    QVERIFY(u.output() != first);
    QCOMPARE(u.input(), QString());
    u.setInput("  ");
    QCOMPARE(u.output(), QString());
}

void tst_UtilsState::swatchAndImageFollowTheTool() {
    UtilsState& u = *m_utils;
    QSignalSpy swatches(&u, &UtilsState::swatchChanged);
    u.setTool(DevTool::color);
    u.setInput("#FF8000");
    QCOMPARE(u.swatch(), std::optional<QColor>(QColor(255, 128, 0)));
    u.setInput("#FF80");
    QVERIFY(!u.swatch());
    QCOMPARE(swatches.count(), 2);
    u.setTool(DevTool::qr);
    u.setInput("localhost:3000/app");
    QCOMPARE(u.output(), QString("https://192.168.1.20:3000/app"));
    QCOMPARE(u.qrImage().size(), QSize(300, 300));
    u.setTool(DevTool::json);
    QVERIFY(u.qrImage().isNull());
}

void tst_UtilsState::pasteURL_data() {
    QTest::addColumn<std::optional<QString>>("clipboard");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::newRow("empty clipboard") << std::optional<QString>() << ""
                                     << "❌ A área de transferência não contém uma URL";
    QTest::newRow("blank clipboard") << std::optional<QString>(" \n") << ""
                                     << "❌ A área de transferência não contém uma URL";
    QTest::newRow("address") << std::optional<QString>(" example.org/x ") << "example.org/x"
                             << "https://example.org/x";
    QTest::newRow("not an address") << std::optional<QString>("ftp://a.b") << "ftp://a.b"
                                    << "❌ Informe uma URL HTTP ou HTTPS válida";
}

void tst_UtilsState::pasteURL() {
    QFETCH(std::optional<QString>, clipboard);
    QFETCH(QString, input);
    QFETCH(QString, output);
    m_pb->copy(clipboard);
    m_utils->setInput("something before");
    m_utils->pasteURL();
    QCOMPARE(m_utils->tool(), DevTool::qr);
    QCOMPARE(m_utils->input(), input);
    QCOMPARE(m_utils->output(), output);
}

void tst_UtilsState::pasteAndDetect() {
    UtilsState& u = *m_utils;
    u.setTool(DevTool::epoch);
    u.setInput("1784493808");
    const QString before = u.output();
    m_pb->copy(std::nullopt);
    u.pasteAndDetect();
    QCOMPARE(u.tool(), DevTool::epoch);
    QCOMPARE(u.output(), before);
    m_pb->copy(QString("{\"z\":1}"));
    u.pasteAndDetect();
    QCOMPARE(u.tool(), DevTool::json);
    QCOMPARE(u.output(), QString("{\n    \"z\": 1\n}"));
}

void tst_UtilsState::pasteAndDetectReadsACutTextWhole_data() {
    QTest::addColumn<bool>("tooLarge");
    QTest::addColumn<bool>("failed");
    QTest::addColumn<DevTool>("tool");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::newRow("read whole") << false << false << DevTool::json << "[1, 2, 3]"
                                << "[\n    1,\n    2,\n    3\n]";
    QTest::newRow("too large") << true << false << DevTool::epoch << "1784493808"
                               << "❌ The clipboard text is too large for the kit (over 32 MB)";
    QTest::newRow("read broke off")
        << false << true << DevTool::epoch << "1784493808"
        << "❌ The clipboard text could not be read to its end. Copy it again and retry.";
}

void tst_UtilsState::pasteAndDetectReadsACutTextWhole() {
    QFETCH(bool, tooLarge);
    QFETCH(bool, failed);
    QFETCH(DevTool, tool);
    QFETCH(QString, input);
    QFETCH(QString, output);
    UtilsState& u = *m_utils;
    u.setTool(DevTool::epoch);
    u.setInput("1784493808");
    // What the history read stops inside the document: judged alone, it is broken JSON.
    m_pb->copyLong("[1, 2", " [1, 2, 3]\n");
    m_pb->answerTooLarge = tooLarge;
    m_pb->answerNothing = failed;
    u.pasteAndDetect();
    QCOMPARE(m_pb->wholeReads, 1);
    QCOMPARE(u.input(), QString("1784493808")); // the whole text is still on its way
    QTRY_COMPARE(u.output(), output);
    QCOMPARE(u.tool(), tool);
    QCOMPARE(u.input(), input);
}

void tst_UtilsState::pasteAndDetectJudgesALongTextOffTheMainThread() {
    QString json = QStringLiteral("[0");
    for (int i = 1; json.size() < 200 * 1024; ++i)
        json += QStringLiteral(",%1").arg(i);
    json += QLatin1Char(']');
    m_pb->copy(json);
    m_utils->setTool(DevTool::epoch);
    m_utils->pasteAndDetect();
    QCOMPARE(m_utils->tool(), DevTool::epoch);
    QTRY_COMPARE(m_utils->tool(), DevTool::json);
    QCOMPARE(m_utils->input(), json);
    QCOMPARE(m_pb->wholeReads, 0); // not cut: the text already read serves
    QTRY_VERIFY(!m_utils->processing());
    QVERIFY(m_utils->output().startsWith("[\n    0,"));
}

void tst_UtilsState::copyEvenEmpty() {
    m_utils->copyOutput();
    QCOMPARE(m_pb->written, QStringList{QString()});
    m_utils->setInput("42");
    m_utils->copyOutput();
    QCOMPARE(m_pb->written.last(), QString("42"));
}

void tst_UtilsState::longInputWorksOffTheMainThread() {
    UtilsState& u = *m_utils;
    QString big = "{\"k\":[";
    for (int i = 0; i < 200000; ++i)
        big += QString::number(i) + ",";
    big += "0]}";
    u.setInput(big);
    // The answer is not there yet: the setter returned before the work was done.
    QVERIFY(u.processing());
    QCOMPARE(u.output(), QString());
    QSignalSpy done(&u, &UtilsState::processed);
    QVERIFY(done.wait(30000));
    QVERIFY(!u.processing());
    QVERIFY(u.output().startsWith("{\n    \"k\": [\n        0,\n        1,"));
}

void tst_UtilsState::staleLongResultIsDropped() {
    UtilsState& u = *m_utils;
    u.setInput("[" + QString(200000, ' ') + "1]");
    QVERIFY(u.processing());
    // A short edit arrives before the long result: the long one must not overwrite it.
    u.setInput("2");
    QCOMPARE(u.output(), QString("2"));
    QVERIFY(u.waitForWork(30000));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(u.output(), QString("2"));
}

// A long result that arrives after its state is gone changes nothing, not even a state made afterwards in
// the same memory and at the same step of its edits (where a result aimed at the old address would land).
void tst_UtilsState::resultDroppedAfterDestruction() {
    m_utils.reset();
    const UtilsState::Seams seams{&m_clock, m_pb.get(), &m_lan, &m_area, &m_sampler, &m_recognizer, nullptr};
    std::optional<UtilsState> state;
    state.emplace(seams);
    state->setInput("[" + QString(200000, ' ') + "1]");
    QVERIFY(state->processing());
    state.reset();
    state.emplace(seams);
    state->setInput("2");
    QCOMPARE(state->output(), QString("2"));
    QSignalSpy processed(&*state, &UtilsState::processed);
    QSignalSpy output(&*state, &UtilsState::outputChanged);
    // The long work has ended and posted its result; delivering every posted event applies it if anything
    // does.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
    QCOMPARE(processed.count(), 0);
    QCOMPARE(output.count(), 0);
    QCOMPARE(state->output(), QString("2"));
    QVERIFY(!state->processing());
}

void tst_UtilsState::captureCancelled() {
    UtilsState& u = *m_utils;
    u.captureAndOCR();
    QCOMPARE(u.tool(), DevTool::ocr);
    QVERIFY(u.capturing());
    QCOMPARE(u.output(), QString("Selecione a área da tela…"));
    m_area.finish(std::nullopt);
    QVERIFY(!u.capturing());
    QCOMPARE(u.output(), QString("Captura cancelada"));
    QVERIFY(m_recognizer.seenPath.isEmpty());
}

void tst_UtilsState::captureRecognises() {
    UtilsState& u = *m_utils;
    m_pb->copy(QString("before"));
    m_recognizer.answer = QStringLiteral("Olá mundo\n2026");
    QStringList order;
    connect(&u, &UtilsState::capturingChanged, this,
            [&] { order << (u.capturing() ? "capturing" : "captured"); });
    connect(&u, &UtilsState::outputChanged, this, [&] { order << u.output(); });
    u.captureAndOCR();
    QImage area(40, 20, QImage::Format_RGB32);
    area.fill(Qt::red);
    m_area.finish(area);
    QTRY_COMPARE_WITH_TIMEOUT(u.output(), QString("Olá mundo\n2026"), 10000);
    QCOMPARE(m_pb->written, QStringList{"Olá mundo\n2026"});
    QCOMPARE(order, (QStringList{"capturing", "Selecione a área da tela…", "captured", "Olá mundo\n2026"}));
    // The picture went through a private file that is gone afterwards.
    QCOMPARE(m_recognizer.seenImage.size(), QSize(40, 20));
    QVERIFY(QFileInfo(m_recognizer.seenPath).fileName().startsWith("quillbay-ocr-"));
    QVERIFY(m_recognizer.seenPath.endsWith(".png"));
    QCOMPARE(m_recognizer.seenPermissions & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup),
             QFile::Permissions());
    QCOMPARE(m_recognizer.seenFolderPermissions & (QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup),
             QFile::Permissions());
    QVERIFY(!QFileInfo::exists(m_recognizer.seenPath));
    QVERIFY(!QFileInfo::exists(QFileInfo(m_recognizer.seenPath).path()));
}

void tst_UtilsState::captureFindsNothing() {
    UtilsState& u = *m_utils;
    m_pb->copy(QString("before"));
    m_recognizer.answer = QString();
    u.captureAndOCR();
    m_area.finish(QImage(10, 10, QImage::Format_RGB32));
    QTRY_COMPARE_WITH_TIMEOUT(u.output(), QString("❌ Nenhum texto reconhecido na área capturada"), 10000);
    QVERIFY(m_pb->written.isEmpty());
    QCOMPARE(m_pb->currentText, std::optional<QString>("before"));
}

void tst_UtilsState::secondCaptureIgnored() {
    UtilsState& u = *m_utils;
    u.captureAndOCR();
    u.captureAndOCR();
    QCOMPARE(m_area.opened, 1);
    QVERIFY(u.capturing());
    m_area.finish(std::nullopt);
    QVERIFY(!u.capturing());
    u.captureAndOCR();
    QCOMPARE(m_area.opened, 2);
}

void tst_UtilsState::captureWithoutSeams() {
    UtilsState bare;
    bare.captureAndOCR();
    QVERIFY(!bare.capturing());
    QCOMPARE(bare.output(), QString("Captura cancelada"));
    bare.pickColorFromScreen(); // no sampler: nothing happens
    QCOMPARE(bare.tool(), DevTool::ocr);
}

void tst_UtilsState::colorFromScreen() {
    m_sampler.answer = QColor(255, 128, 0);
    m_utils->pickColorFromScreen();
    QCOMPARE(m_utils->tool(), DevTool::color);
    QCOMPARE(m_utils->input(), QString("#FF8000"));
    QCOMPARE(m_utils->swatch(), std::optional<QColor>(QColor(255, 128, 0)));
}

void tst_UtilsState::colorFromScreenCancelled() {
    m_utils->setInput("abc");
    m_utils->pickColorFromScreen();
    QCOMPARE(m_sampler.calls, 1);
    QCOMPARE(m_utils->tool(), DevTool::json);
    QCOMPARE(m_utils->input(), QString("abc"));
}

void tst_UtilsState::pickedColor_data() {
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QString>("input");
    QTest::newRow("orange") << QColor(255, 128, 0) << "#FF8000";
    QTest::newRow("rounded") << QColor::fromRgbF(0.5f, 0.25f, 1.0f) << "#8040FF";
    QTest::newRow("from HSV") << QColor::fromHsv(0, 255, 255) << "#FF0000";
    QTest::newRow("invalid is white") << QColor() << "#FFFFFF";
}

void tst_UtilsState::pickedColor() {
    QFETCH(QColor, color);
    QFETCH(QString, input);
    m_utils->setPickedColor(color);
    QCOMPARE(m_utils->tool(), DevTool::color);
    QCOMPARE(m_utils->input(), input);
    QVERIFY(m_utils->output().startsWith("HEX:  " + input));
}

QTEST_GUILESS_MAIN(tst_UtilsState)
#include "tst_UtilsState.moc"
