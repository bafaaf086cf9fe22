// The Codex card from session logs: window labels and shares, the newest usable record, and the backward
// read giving the same card as a whole read wherever the record sits.
#include "fakes/LogFixtures.h"
#include "services/BackwardLineReader.h"
#include "services/CodexUsageReader.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QDateTime kNow(QDate(2026, 1, 2), QTime(12, 0), Qt::UTC);

QByteArray window(const char* used, const char* minutes, const char* resets) {
    QByteArray w = "{";
    QList<QByteArray> parts;
    if (used)
        parts << QByteArray("\"used_percent\":") + used;
    if (minutes)
        parts << QByteArray("\"window_minutes\":") + minutes;
    if (resets)
        parts << QByteArray("\"resets_at\":") + resets;
    return w + parts.join(',') + "}";
}

QByteArray record(const QByteArray& limits) {
    return R"({"timestamp":"2026-01-02T11:54:02.500Z","type":"event_msg","payload":{"type":"token_count","info":null,"rate_limits":)" +
           limits + "}}";
}

QByteArray standardRecord() {
    return record(
        R"({"primary":{"used_percent":42.0,"window_minutes":300,"resets_at":1767369600},"secondary":{"used_percent":7.0,"window_minutes":10080,"resets_at":1767900000},"plan_type":"plus"})");
}

const QByteArray kMeta =
    R"({"timestamp":"2026-01-02T11:53:16.120Z","type":"session_meta","payload":{"id":"019a","cwd":"/home/zuz/code/shop","originator":"codex_cli_rs","cli_version":"0.58.0"}})";
const QByteArray kNullLimits =
    R"({"timestamp":"2026-01-02T11:53:20.000Z","type":"event_msg","payload":{"type":"token_count","info":null,"rate_limits":null}})";

// A filler line without a record, of about `size` bytes.
QByteArray filler(int size) {
    return R"({"type":"response_item","payload":{"text":")" + QByteArray(std::max(0, size - 48), 'x') +
           "\"}}";
}

} // namespace

class tst_CodexUsageReader : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QString sessions() const { return m_home.path() + "/.codex/sessions"; }
    QString logPath(const QString& name) const { return sessions() + "/2026/01/02/" + name; }

private slots:
    void init() { QDir(m_home.path() + "/.codex").removeRecursively(); }

    void noFolderMeansNoCard() { QVERIFY(!CodexUsageReader(m_home.path()).read(kNow)); }

    void onlyOldLogsGiveTheNote() {
        QVERIFY(LogFixtures::write(logPath("old.jsonl"), kMeta + "\n" + standardRecord() + "\n",
                                   kNow.addDays(-4)));
        const auto card = CodexUsageReader(m_home.path()).read(kNow);
        QVERIFY(card);
        QCOMPARE(card->name, QString("Codex"));
        QVERIFY(card->metrics.isEmpty());
        QCOMPARE(card->note, std::optional<QString>("Sem sessão recente do Codex CLI"));
    }

    void windows_data() {
        QTest::addColumn<QByteArray>("limits");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QList<double>>("fractions");
        QTest::addColumn<QList<bool>>("hasDetail");
        QTest::addColumn<QString>("plan");
        QTest::newRow("both windows")
            << QByteArray(R"({"primary":)" + window("42", "300", "1767369600") + R"(,"secondary":)" +
                          window("7", "10080", "1767900000") + R"(,"plan_type":"plus"})")
            << QStringList{"5 horas", "Semana"} << QList<double>{0.42, 0.07} << QList<bool>{true, true}
            << "Plus";
        QTest::newRow("239 minutes") << QByteArray(R"({"primary":)" + window("1", "239", nullptr) + "}")
                                     << QStringList{"239min"} << QList<double>{0.01} << QList<bool>{false}
                                     << "";
        QTest::newRow("240 minutes") << QByteArray(R"({"primary":)" + window("1", "240", nullptr) + "}")
                                     << QStringList{"5 horas"} << QList<double>{0.01} << QList<bool>{false}
                                     << "";
        QTest::newRow("10079 minutes")
            << QByteArray(R"({"primary":)" + window("1", "10079", nullptr) + "}") << QStringList{"5 horas"}
            << QList<double>{0.01} << QList<bool>{false} << "";
        QTest::newRow("10080 minutes")
            << QByteArray(R"({"primary":)" + window("1", "10080", nullptr) + "}") << QStringList{"Semana"}
            << QList<double>{0.01} << QList<bool>{false} << "";
        QTest::newRow("minutes missing")
            << QByteArray(R"({"primary":)" + window("1", nullptr, nullptr) + "}") << QStringList{"0min"}
            << QList<double>{0.01} << QList<bool>{false} << "";
        QTest::newRow("negative minutes")
            << QByteArray(R"({"primary":)" + window("1", "-5", nullptr) + "}") << QStringList{"-5min"}
            << QList<double>{0.01} << QList<bool>{false} << "";
        QTest::newRow("fractional minutes count as missing")
            << QByteArray(R"({"primary":)" + window("1", "300.5", nullptr) + "}") << QStringList{"0min"}
            << QList<double>{0.01} << QList<bool>{false} << "";
        QTest::newRow("used percent missing leaves that window out")
            << QByteArray(R"({"primary":)" + window(nullptr, "300", "1767369600") + R"(,"secondary":)" +
                          window("99.5", "10080", nullptr) + "}")
            << QStringList{"Semana"} << QList<double>{0.995} << QList<bool>{false} << "";
        QTest::newRow("over the limit is not clamped")
            << QByteArray(R"({"primary":)" + window("140", "300", nullptr) + "}") << QStringList{"5 horas"}
            << QList<double>{1.4} << QList<bool>{false} << "";
        QTest::newRow("two windows of one class keep both")
            << QByteArray(R"({"primary":)" + window("10", "300", nullptr) + R"(,"secondary":)" +
                          window("20", "600", nullptr) + R"(,"plan_type":"PRO team"})")
            << QStringList{"5 horas", "5 horas"} << QList<double>{0.1, 0.2} << QList<bool>{false, false}
            << "Pro Team";
        QTest::newRow("plan of another type")
            << QByteArray(R"({"primary":)" + window("1", "300", nullptr) + R"(,"plan_type":7})")
            << QStringList{"5 horas"} << QList<double>{0.01} << QList<bool>{false} << "";
    }

    void windows() {
        QFETCH(QByteArray, limits);
        QFETCH(QStringList, labels);
        QFETCH(QList<double>, fractions);
        QFETCH(QList<bool>, hasDetail);
        QFETCH(QString, plan);
        QVERIFY(LogFixtures::write(logPath("a.jsonl"),
                                   kMeta + "\n" + kNullLimits + "\n" + record(limits) + "\n",
                                   kNow.addSecs(-60)));
        const auto card = CodexUsageReader(m_home.path()).read(kNow);
        QVERIFY(card);
        QCOMPARE(card->note, std::nullopt);
        QCOMPARE(card->plan, plan);
        QCOMPARE(card->metrics.size(), labels.size());
        for (int i = 0; i < labels.size(); ++i) {
            QCOMPARE(card->metrics[i].label, labels[i]);
            QVERIFY(card->metrics[i].fraction);
            QCOMPARE(*card->metrics[i].fraction, fractions[i]);
            QCOMPARE(card->metrics[i].detail.startsWith("renova "), hasDetail[i]);
            if (!hasDetail[i])
                QCOMPARE(card->metrics[i].detail, QString());
        }
    }

    // An empty or null rate_limits, a malformed or cut line: the walk goes on to the line before.
    void unusableNewerLinesAreSkipped() {
        const QByteArray content = kMeta + "\n" + standardRecord() + "\n" + record("{}") + "\n" +
                                   kNullLimits + "\n{\"payload\":{\"rate_limits\":{\"primary\":\n" +
                                   record("[1,2]") + "\n" +
                                   R"({"payload":{"rate_limits":{"primary":{"used_percent":"42"}}}})" + "\n" +
                                   standardRecord().left(90);
        QVERIFY(LogFixtures::write(logPath("a.jsonl"), content, kNow.addSecs(-60)));
        const auto card = CodexUsageReader(m_home.path()).read(kNow);
        QVERIFY(card);
        QCOMPARE(card->metrics.size(), 2);
        QCOMPARE(card->metrics[0].fraction, std::optional<double>(0.42));
    }

    // A line is passed over unparsed only when its rate limits cannot be an object; wherever else the name
    // stands (spaced from its value, inside a text, under another member) the parse decides.
    void recordsAmongOtherMentions_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("card");
        const QByteArray limits = R"({"primary":{"used_percent":42.0,"window_minutes":300}})";
        QTest::newRow("spaced name and value") << QByteArray(R"({"payload":{"rate_limits" :)"
                                                             "\t\r " +
                                                             limits + "}}")
                                               << true;
        QTest::newRow("null") << kNullLimits << false;
        QTest::newRow("null, spaced") << QByteArray(R"({"payload":{"rate_limits" : null}})") << false;
        QTest::newRow("mentioned in a text before the record")
            << QByteArray("{\"note\":\"\\\"rate_limits\\\":null\",\"payload\":{\"rate_limits\":" + limits +
                          "}}")
            << true;
        QTest::newRow("an object only in a text")
            << QByteArray("{\"note\":\"\\\"rate_limits\\\":{\\\"primary\\\":{}}\",\"payload\":{\"rate_"
                          "limits\":null}}")
            << false;
        QTest::newRow("an object under another member")
            << QByteArray(R"({"payload":{"info":{"rate_limits":)" + limits + R"(},"rate_limits":null}})")
            << false;
        QTest::newRow("the name twice, the record last")
            << QByteArray(R"({"payload":{"rate_limits":null,"rate_limits":)" + limits + "}}") << true;
        QTest::newRow("names touching")
            << QByteArray("{\"payload\":{\"x\":\"\\\"rate_limits\\\"rate_limits\\\"\",\"rate_limits\":" +
                          limits + "}}")
            << true;
        QTest::newRow("name at the very end") << QByteArray("{\"payload\":{\"rate_limits\"") << false;
        QTest::newRow("a list") << QByteArray(R"({"payload":{"rate_limits":[)" + limits + "]}}") << false;
    }

    void recordsAmongOtherMentions() {
        QFETCH(QByteArray, line);
        QFETCH(bool, card);
        QCOMPARE(CodexUsageReader::cardFromLine(line, kNow).has_value(), card);
        // Read from a log, behind a token count without limits, the answer is the same.
        QVERIFY(LogFixtures::write(logPath("a.jsonl"), kMeta + "\n" + line + "\n" + kNullLimits + "\n",
                                   kNow.addSecs(-60)));
        const auto read = CodexUsageReader(m_home.path()).read(kNow);
        QVERIFY(read);
        QCOMPARE(read->metrics.isEmpty(), !card);
    }

    void newestFileWinsOverLaterLookingContent() {
        QVERIFY(LogFixtures::write(logPath("rollout-2026-01-02T23-00-00.jsonl"),
                                   record(R"({"primary":{"used_percent":90,"window_minutes":300}})") + "\n",
                                   kNow.addSecs(-3600)));
        QVERIFY(LogFixtures::write(sessions() + "/2025/12/31/rollout-2025-12-31T01-00-00.jsonl",
                                   record(R"({"primary":{"used_percent":10,"window_minutes":300}})") + "\n",
                                   kNow.addSecs(-60)));
        const auto card = CodexUsageReader(m_home.path()).read(kNow);
        QVERIFY(card && card->metrics.size() == 1);
        QCOMPARE(card->metrics[0].fraction, std::optional<double>(0.1));
    }

    void newestFileWithoutRecordFallsBackToOlder() {
        QVERIFY(LogFixtures::write(logPath("older.jsonl"), standardRecord() + "\n", kNow.addSecs(-7200)));
        QVERIFY(
            LogFixtures::write(logPath("newer.jsonl"), kMeta + "\n" + kNullLimits + "\n", kNow.addSecs(-60)));
        QVERIFY(LogFixtures::write(logPath("notes.txt"), record(R"({"primary":{"used_percent":5}})") + "\n",
                                   kNow.addSecs(-1)));
        const auto card = CodexUsageReader(m_home.path()).read(kNow);
        QVERIFY(card && card->metrics.size() == 2);
        QCOMPARE(card->plan, QString("Plus"));
    }

    // Where the record sits against block boundaries; the backward read must equal a whole read.
    void backwardReadEqualsWholeRead_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("block");
        const QByteArray rec = standardRecord();
        QTest::newRow("record at the very start, megabytes after it")
            << QByteArray(rec + "\n" + (filler(1000) + "\n").repeated(3000)) << qint64(64 * 1024);
        QByteArray straddle = (filler(100) + "\n").repeated(3);
        straddle += rec + "\n";
        // Place the block boundary inside the record: everything after it is shorter than one block.
        QTest::newRow("record straddles a block boundary")
            << QByteArray(straddle + filler(40) + "\n") << qint64(rec.size() / 2 + 60);
        QTest::newRow("one-byte blocks")
            << QByteArray(kMeta + "\n" + rec + "\n" + filler(300) + "\n") << qint64(1);
        QTest::newRow("no final line feed") << QByteArray(kMeta + "\n" + rec) << qint64(7);
        QTest::newRow("carriage returns and empty lines")
            << QByteArray(kMeta + "\r\n\n\n" + rec + "\r\n\n" + filler(50) + "\r\n") << qint64(16);
        QTest::newRow("cut last line after the record")
            << QByteArray(rec + "\n" + rec.left(rec.size() - 3)) << qint64(64);
        QTest::newRow("no record at all") << QByteArray((filler(500) + "\n").repeated(100)) << qint64(1024);
    }

    void backwardReadEqualsWholeRead() {
        QFETCH(QByteArray, content);
        QFETCH(qint64, block);
        const QString path = logPath("b.jsonl");
        QVERIFY(LogFixtures::write(path, content, kNow.addSecs(-10)));
        // The whole read: every line from the last one backwards.
        std::optional<AIProviderUsage> whole;
        const QList<QByteArray> lines = content.split('\n');
        for (auto it = lines.crbegin(); it != lines.crend() && !whole; ++it) {
            if (!it->isEmpty())
                whole = CodexUsageReader::cardFromLine(*it, kNow);
        }
        QCOMPARE(CodexUsageReader::cardFromFile(path, kNow, block), whole);
    }

    void backwardLinesMatchForwardLines_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("block");
        QTest::newRow("empty file") << QByteArray() << qint64(4);
        QTest::newRow("only line feeds") << QByteArray("\n\n\n") << qint64(2);
        QTest::newRow("one line, no feed") << QByteArray("abc") << qint64(2);
        QTest::newRow("lines longer than blocks")
            << QByteArray("aaaaaaaaaa\nbbbbbbbbbbbb\n\ncc\nd") << qint64(3);
        QTest::newRow("block equals file") << QByteArray("x\ny\n") << qint64(4);
    }

    void backwardLinesMatchForwardLines() {
        QFETCH(QByteArray, content);
        QFETCH(qint64, block);
        const QString path = m_home.filePath("lines.txt");
        QVERIFY(LogFixtures::write(path, content, kNow));
        QList<QByteArray> expected = content.split('\n');
        expected.removeAll(QByteArray());
        std::reverse(expected.begin(), expected.end());
        BackwardLineReader reader(path, block);
        QList<QByteArray> got;
        QByteArray line;
        while (reader.previous(&line))
            got << line;
        QCOMPARE(got, expected);
    }

    // A line longer than the limit is passed over whole; the reader neither keeps it nor loses its
    // neighbours.
    void overlongLineIsPassedOver() {
        const QString path = m_home.filePath("long.txt");
        QVERIFY(LogFixtures::write(path, "first\n" + QByteArray(5000, 'z') + "\nlast\n", kNow));
        BackwardLineReader reader(path, 256, 1024);
        QList<QByteArray> got;
        QByteArray line;
        while (reader.previous(&line))
            got << line;
        QCOMPARE(got, (QList<QByteArray>{"last", "first"}));
    }

    // Each line once, with where it starts, at the length limit and past it, and within a given end.
    void linesWithTheirStarts_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("block");
        QTest::addColumn<qint64>("maxLine");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<QStringList>("expected"); // "offset:line", last line first
        QTest::newRow("exactly the limit is kept")
            << QByteArray("ab\n" + QByteArray(8, 'x') + "\ncd") << qint64(3) << qint64(8) << qint64(-1)
            << QStringList{"12:cd", "3:xxxxxxxx", "0:ab"};
        QTest::newRow("one past the limit is passed over")
            << QByteArray("ab\n" + QByteArray(9, 'x') + "\ncd") << qint64(3) << qint64(8) << qint64(-1)
            << QStringList{"13:cd", "0:ab"};
        QTest::newRow("over-long first line") << QByteArray(QByteArray(20, 'x') + "\nend") << qint64(4)
                                              << qint64(8) << qint64(-1) << QStringList{"21:end"};
        QTest::newRow("over-long last line without a feed")
            << QByteArray("ab\n" + QByteArray(30, 'x')) << qint64(5) << qint64(8) << qint64(-1)
            << QStringList{"0:ab"};
        QTest::newRow("only an over-long line")
            << QByteArray(30, 'x') << qint64(7) << qint64(8) << qint64(-1) << QStringList();
        QTest::newRow("limit made of the block's own part")
            << QByteArray("a\n" + QByteArray(6, 'x') + "yyy\n") << qint64(4) << qint64(8) << qint64(-1)
            << QStringList{"0:a"};
        QTest::newRow("within an end") << QByteArray("ab\ncd\nef\ngh") << qint64(2) << qint64(8) << qint64(7)
                                       << QStringList{"6:e", "3:cd", "0:ab"};
        QTest::newRow("end past the size")
            << QByteArray("ab\ncd") << qint64(2) << qint64(8) << qint64(99) << QStringList{"3:cd", "0:ab"};
    }

    void linesWithTheirStarts() {
        QFETCH(QByteArray, content);
        QFETCH(qint64, block);
        QFETCH(qint64, maxLine);
        QFETCH(qint64, end);
        QFETCH(QStringList, expected);
        const QString path = m_home.filePath("starts.txt");
        QVERIFY(LogFixtures::write(path, content, kNow));
        BackwardLineReader reader(path, block, maxLine, end);
        QStringList got;
        QByteArray line;
        qint64 start = -1;
        while (reader.previous(&line, &start))
            got << QString::number(start) + ":" + QString::fromLatin1(line);
        QCOMPARE(got, expected);
        QVERIFY(!reader.hasError());
        // One pass over what it was given.
        QCOMPARE(reader.bytesRead(), end < 0 ? content.size() : std::min<qint64>(end, content.size()));
    }

    // Lines without the required bytes are passed over, whole or in pieces; a floor ends the reading after
    // the line that starts below it.
    void requiredBytesAndFloor_data() {
        QTest::addColumn<qint64>("block");
        QTest::addColumn<qint64>("floor");
        QTest::addColumn<QStringList>("expected");
        for (qint64 block : {1, 2, 3, 64}) {
            const QByteArray name = QByteArray::number(block);
            QTest::newRow("no floor, block " + name)
                << block << qint64(-1) << QStringList{"11:xa3", "5:a2", "0:a1"};
            QTest::newRow("floor inside a passed-over line, block " + name)
                << block << qint64(9) << QStringList{"11:xa3"};
            QTest::newRow("floor at a wanted line, block " + name)
                << block << qint64(6) << QStringList{"11:xa3", "5:a2"};
        }
    }

    void requiredBytesAndFloor() {
        QFETCH(qint64, block);
        QFETCH(qint64, floor);
        QFETCH(QStringList, expected);
        const QString path = m_home.filePath("required.txt");
        QVERIFY(LogFixtures::write(path, "a1\nb\na2\nbb\nxa3\ncc\n", kNow));
        BackwardLineReader reader(path, block, 8);
        reader.setRequired("a");
        reader.setFloor(floor);
        QStringList got;
        QByteArray line;
        qint64 start = -1;
        while (reader.previous(&line, &start))
            got << QString::number(start) + ":" + QString::fromLatin1(line);
        QCOMPARE(got, expected);
    }

    // A log that has not changed is not read again, even one without any record; one that grew is read
    // only as far back as its new part; a rewrite is read again.
    void unchangedLogsAreNotReadAgain() {
        const QString path = logPath("rollout-2026-01-02T11-53-16-019a.jsonl");
        QByteArray content = kMeta + "\n";
        while (content.size() < 4 * 1024 * 1024)
            content += kNullLimits + "\n" + filler(2000) + "\n";
        QVERIFY(LogFixtures::write(path, content, kNow.addSecs(-60)));
        CodexUsageReader reader(m_home.path());
        auto card = reader.read(kNow);
        QCOMPARE(card->note, std::optional<QString>("Sem sessão recente do Codex CLI"));
        QVERIFY(reader.lastBytesRead() >= content.size());
        QCOMPARE(reader.read(kNow), card);
        QCOMPARE(reader.lastBytesRead(), 0);

        // A record arrives, its line cut at first.
        const QByteArray rec = standardRecord() + "\n";
        QVERIFY(LogFixtures::append(path, rec.left(40), kNow.addSecs(-50)));
        QVERIFY(reader.read(kNow)->metrics.isEmpty());
        QVERIFY(reader.lastBytesRead() < 256 * 1024);
        QVERIFY(LogFixtures::append(path, rec.mid(40), kNow.addSecs(-40)));
        card = reader.read(kNow);
        QCOMPARE(card->metrics.size(), 2);
        QVERIFY(reader.lastBytesRead() < 256 * 1024);

        // More lines without a record: the one found before stands.
        QVERIFY(LogFixtures::append(path, (kNullLimits + "\n").repeated(100), kNow.addSecs(-30)));
        QCOMPARE(reader.read(kNow), card);
        QVERIFY(reader.lastBytesRead() < 256 * 1024);
        // Its reset phrase follows the clock, not the first read.
        const auto later = reader.read(kNow.addSecs(3600));
        QCOMPARE(reader.lastBytesRead(), 0);
        QVERIFY(later->metrics[0].detail != card->metrics[0].detail);
        QCOMPARE(later, CodexUsageReader(m_home.path()).read(kNow.addSecs(3600)));

        // Rewritten at the same size without the record.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray now = file.readAll();
        file.close();
        const qsizetype at = now.indexOf("\"rate_limits\":{");
        QVERIFY(at > 0);
        now[at + 1] = 'X';
        QVERIFY(LogFixtures::write(path, now, kNow.addSecs(-20)));
        QVERIFY(reader.read(kNow)->metrics.isEmpty());
        // Shrunk back to the old content.
        QVERIFY(LogFixtures::write(path, content + rec, kNow.addSecs(-10)));
        QCOMPARE(reader.read(kNow)->metrics.size(), 2);
    }

    // The newest log ends with a 40 MB line without a line feed (a pasted image, a writer killed mid-line):
    // one pass finds the record before it, and the next refresh reads nothing.
    void longLastLineIsReadOnce() {
        const QString path = logPath("rollout-image.jsonl");
        QByteArray content = kMeta + "\n" + standardRecord() + "\n";
        content += "{\"type\":\"response_item\",\"payload\":{\"type\":\"message\",\"content\":[{\"type\":"
                   "\"input_image\",\"image_url\":\"data:image/png;base64,";
        content += QByteArray(40 * 1024 * 1024, 'A');
        QVERIFY(LogFixtures::write(path, content, kNow.addSecs(-60)));
        CodexUsageReader reader(m_home.path());
        const auto card = reader.read(kNow);
        QCOMPARE(card->metrics.size(), 2);
        QVERIFY(reader.lastBytesRead() <= content.size() + 128);
        QCOMPARE(reader.read(kNow), card);
        QCOMPARE(reader.lastBytesRead(), 0);
    }

    // A bad byte hides the line that holds it, not the log.
    void badByteHidesOnlyItsLine() {
        QByteArray content = kMeta + "\n" + standardRecord() + "\n";
        content += "{\"type\":\"response_item\",\"payload\":{\"text\":\"ol\xe1\"}}\n";
        QByteArray bad =
            record(R"({"primary":{"used_percent":99.0,"window_minutes":300},"plan_type":"pro"})");
        bad.replace("pro", "pr\xff");
        content += bad + "\n";
        QVERIFY(LogFixtures::write(logPath("bad.jsonl"), content, kNow.addSecs(-60)));
        const auto card = CodexUsageReader(m_home.path()).read(kNow);
        QCOMPARE(card->metrics.size(), 2);
        QCOMPARE(card->plan, QString("Plus"));
    }

    // A huge log whose record sits far from the end is still found, and only the newest file is read far.
    void recordFarFromTheEnd() {
        QByteArray content = kMeta + "\n" + standardRecord() + "\n";
        content += (filler(4000) + "\n").repeated(2048); // 8 MB without a record
        QVERIFY(LogFixtures::write(logPath("huge.jsonl"), content, kNow.addSecs(-5)));
        const auto card = CodexUsageReader(m_home.path()).read(kNow);
        QVERIFY(card && card->metrics.size() == 2);
        QCOMPARE(card->metrics[1].label, QString("Semana"));
    }

    void readsOnlyTheTailWhenTheRecordIsNearTheEnd() {
        QByteArray content = (filler(4000) + "\n").repeated(2048);
        content += standardRecord() + "\n";
        const QString path = logPath("big.jsonl");
        QVERIFY(LogFixtures::write(path, content, kNow.addSecs(-5)));
        BackwardLineReader reader(path);
        QByteArray line;
        QVERIFY(reader.previous(&line));
        QVERIFY(CodexUsageReader::cardFromLine(line, kNow));
        QVERIFY(reader.bytesRead() <= BackwardLineReader::kDefaultBlock);
    }
};

QTEST_GUILESS_MAIN(tst_CodexUsageReader)
#include "tst_CodexUsageReader.moc"
