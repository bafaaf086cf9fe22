// The clipboard history's rules with a fake clipboard and clock: what is skipped, how texts are cut and
// compared, the limits and the age rule, the copied mark, and the store.
#include "fakes/FakeClock.h"
#include "fakes/FakePasteboard.h"
#include "fakes/TestChecks.h"
#include "model/ClipItem.h"
#include "platform/posix/SystemClock.h"
#include "services/ClipboardService.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class tst_ClipboardService : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakePasteboard> m_boardPtr = std::make_unique<FakePasteboard>();
    FakeClock m_clock;

    QString store() const { return m_dir->filePath(QStringLiteral("clipboard.json")); }
    std::unique_ptr<ClipboardService> make() {
        return std::make_unique<ClipboardService>(*m_boardPtr, m_clock, store());
    }
    // Another program copies `text` and the next poll sees it.
    void copyAndPoll(ClipboardService& s, const QString& text,
                     QStringList types = {QStringLiteral("text/plain")}) {
        m_boardPtr->copy(text, std::move(types));
        s.poll();
    }
    QStringList texts(const ClipboardService& s) const {
        QStringList out;
        for (const ClipItem& i : s.items())
            out << i.text;
        return out;
    }
    QByteArray storeBytes() const {
        QFile f(store());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    [[nodiscard]] bool writeStore(const QByteArray& bytes) {
        return TestSupport::passes([&] {
            QFile f(store());
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        });
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_boardPtr = std::make_unique<FakePasteboard>();
    }

    // Copies are recorded from the clipboard's notices, at most one a second: a notice a second or more
    // after the last look is looked at at once, one that comes sooner waits for the second to end, and
    // of a burst the newest copy is the one recorded.
    void noticesAreLookedAtAtMostOnceASecond() {
        auto s = make();
        m_boardPtr->copy(QStringLiteral("first"));
        m_boardPtr->announce();
        QCOMPARE(texts(*s), QStringList{"first"}); // at once: nothing looked before

        m_clock.advanceMs(400);
        m_boardPtr->copy(QStringLiteral("burst one"));
        m_boardPtr->announce();
        m_boardPtr->copy(QStringLiteral("burst two"));
        m_boardPtr->announce();
        QCOMPARE(texts(*s), QStringList{"first"}); // too soon: waits for the rest of the second
        m_clock.advanceMs(600);
        QTRY_COMPARE(texts(*s), (QStringList{"burst two", "first"}));

        // A full second after that look: at once again.
        m_clock.advanceMs(1000);
        m_boardPtr->copy(QStringLiteral("later"));
        m_boardPtr->announce();
        QCOMPARE(texts(*s), (QStringList{"later", "burst two", "first"}));
    }

    // A notice for which nothing new is there (the program's own copy, a repeated notice) records
    // nothing and does not hold back the next real copy.
    void aNoticeWithoutAChangeCostsNothing() {
        auto s = make();
        m_boardPtr->copy(QStringLiteral("kept"));
        m_boardPtr->announce();
        s->copy(s->items().first()); // our own: not counted
        const int reads = m_boardPtr->textReads;
        m_boardPtr->announce();
        QCOMPARE(m_boardPtr->textReads, reads);
        QCOMPARE(s->items().size(), 1);
    }

    void noNoticeReachesAServiceThatIsGone() {
        auto s = make();
        s.reset();
        m_boardPtr->copy(QStringLiteral("after"));
        m_boardPtr->announce(); // would crash on a handler left behind
        QCOMPARE(m_boardPtr->textReads, 0);
    }

    void contentPresentAtStartIsNeverRecorded() {
        m_boardPtr->copy(QStringLiteral("already there"));
        auto s = make();
        s->poll();
        QVERIFY(s->items().isEmpty());
        QCOMPARE(m_boardPtr->textReads, 0);
        QVERIFY(!QFile::exists(store()));
    }

    void textPresentAtStartIsNeverRecorded_data() {
        QTest::addColumn<std::optional<QString>>("text");
        QTest::newRow("none") << std::optional<QString>();
        QTest::newRow("blank") << std::optional<QString>(QStringLiteral(" \n\t"));
        QTest::newRow("padded") << std::optional<QString>(QStringLiteral("  1700000000\n"));
    }
    void textPresentAtStartIsNeverRecorded() {
        QFETCH(std::optional<QString>, text);
        m_boardPtr->copy(text);
        auto s = make();
        s->poll();
        QVERIFY(s->items().isEmpty());
    }

    void unchangedCountReadsNothing() {
        auto s = make();
        for (int i = 0; i < 5; ++i)
            s->poll();
        QCOMPARE(m_boardPtr->textReads, 0);
    }

    void skippedCopies_data() {
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<QStringList>("types");
        const QStringList plain{QStringLiteral("text/plain")};
        QTest::newRow("no text") << std::optional<QString>() << QStringList{QStringLiteral("image/png")};
        QTest::newRow("blank") << std::optional<QString>(QStringLiteral(" \t\n \u2028")) << plain;
        QTest::newRow("empty") << std::optional<QString>(QString()) << plain;
        for (const char* marker :
             {"org.nspasteboard.ConcealedType", "org.nspasteboard.TransientType", "x-kde-passwordManagerHint",
              "text/x-kde-passwordManagerHint", "application/x-nspasteboard-concealed-type",
              "application/x-nspasteboard-transient-type", "X-KDE-PASSWORDMANAGERHINT"})
            QTest::newRow(marker) << std::optional<QString>(QStringLiteral("hunter2"))
                                  << (plain + QStringList{QString::fromLatin1(marker)});
        for (const char* prefix : {"-----BEGIN ", "ghp_", "github_pat_", "sk-", "xoxb-", "xoxp-", "AKIA"})
            QTest::newRow(prefix) << std::optional<QString>(QStringLiteral("  \n\t") + QLatin1String(prefix) +
                                                            QStringLiteral("abc123"))
                                  << plain;
        QTest::newRow("token 8.8.8") << std::optional<QString>(QStringLiteral("abcdefgh.ABCDEFGH.a1_-b2_-"))
                                     << plain;
        QTest::newRow("token padded")
            << std::optional<QString>(QStringLiteral("\n eyJhbGciOi.eyJzdWIiOi.SflKxwRJSM \n")) << plain;
    }
    void skippedCopies() {
        QFETCH(std::optional<QString>, text);
        QFETCH(QStringList, types);
        auto s = make();
        m_boardPtr->copy(text, types);
        s->poll();
        QVERIFY(s->items().isEmpty());
        QCOMPARE(s->changeCount(), m_boardPtr->count);
        // The change is consumed: the same count is not looked at again.
        const int reads = m_boardPtr->textReads;
        s->poll();
        QCOMPARE(m_boardPtr->textReads, reads);
        QVERIFY(!QFile::exists(store()));
    }

    void recordedLookalikes_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("prefix case") << QStringLiteral("SK-live-something");
        QTest::newRow("prefix inside") << QStringLiteral("see ghp_abc");
        QTest::newRow("BEGIN without blank") << QStringLiteral("-----BEGIN");
        QTest::newRow("token with a 7 run") << QStringLiteral("abcdefgh.ABCDEFG.a1_-b2_-");
        QTest::newRow("token with a line break") << QStringLiteral("abcdefgh.ABCD\nEFGH.a1_-b2_-");
        QTest::newRow("two runs") << QStringLiteral("abcdefgh.ABCDEFGH");
        QTest::newRow("token then text") << QStringLiteral("abcdefgh.ABCDEFGH.a1_-b2_- x");
    }
    void recordedLookalikes() {
        QFETCH(QString, text);
        auto s = make();
        copyAndPoll(*s, text);
        QCOMPARE(texts(*s), QStringList{text});
    }

    void sameTextMovesToTheTopWithItsPin() {
        auto s = make();
        copyAndPoll(*s, QStringLiteral("a"));
        copyAndPoll(*s, QStringLiteral("b"));
        copyAndPoll(*s, QStringLiteral("c"));
        const ClipItem a = s->items().at(2);
        s->togglePin(a);
        m_clock.advanceSeconds(5);
        copyAndPoll(*s, QStringLiteral("a"));
        QCOMPARE(texts(*s), (QStringList{"a", "c", "b"}));
        const ClipItem top = s->items().first();
        QVERIFY(top.pinned);
        QVERIFY(top.id != a.id);
        QCOMPARE(top.date, m_clock.now());
    }

    void whiteSpaceAndCaseMakeDifferentEntries() {
        auto s = make();
        copyAndPoll(*s, QStringLiteral("text"));
        copyAndPoll(*s, QStringLiteral("  text\n"));
        copyAndPoll(*s, QStringLiteral("Text"));
        QCOMPARE(texts(*s), (QStringList{"Text", "  text\n", "text"}));
    }

    void canonicallyEquivalentTextsAreOneEntry() {
        auto s = make();
        copyAndPoll(*s, QStringLiteral("caf\u00e9"));
        copyAndPoll(*s, QStringLiteral("other"));
        copyAndPoll(*s, QStringLiteral("cafe\u0301"));
        QCOMPARE(texts(*s), (QStringList{QStringLiteral("cafe\u0301"), "other"}));
    }

    void onlyTheFirstEqualEntryIsReplaced() {
        QVERIFY(writeStore(ClipItemCodec::encode({
            {QUuid::createUuid(), "dup", m_clock.now(), false},
            {QUuid::createUuid(), "x", m_clock.now(), false},
            {QUuid::createUuid(), "dup", m_clock.now(), true},
        })));
        auto s = make();
        copyAndPoll(*s, QStringLiteral("dup"));
        QCOMPARE(texts(*s), (QStringList{"dup", "x", "dup"}));
        QVERIFY(!s->items().first().pinned);
        QVERIFY(s->items().last().pinned);
    }

    void cutIsPerUserPerceivedCharacter_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<int>("units");
        QTest::newRow("ascii") << QStringLiteral("x") << 10001;
        QTest::newRow("emoji") << QStringLiteral("\U0001F600") << 10001;
        QTest::newRow("family") << QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467") << 10003;
        QTest::newRow("combining marks") << QStringLiteral("e\u0301\u0323") << 10001;
        QTest::newRow("flags") << QStringLiteral("\U0001F1E7\U0001F1F7") << 10002;
        QTest::newRow("hangul jamo") << QStringLiteral("\u1100\u1161\u11A8") << 10001;
    }
    void cutIsPerUserPerceivedCharacter() {
        QFETCH(QString, unit);
        QFETCH(int, units);
        const QString full = unit.repeated(units);
        auto s = make();
        copyAndPoll(*s, full);
        QCOMPARE(s->items().size(), 1);
        QCOMPARE(s->items().first().text, unit.repeated(ClipboardService::maxLength));
        // The whole text copied again is the same entry.
        copyAndPoll(*s, QStringLiteral("between"));
        copyAndPoll(*s, full);
        QCOMPARE(s->items().size(), 2);
        QCOMPARE(s->items().first().text, unit.repeated(ClipboardService::maxLength));
    }

    void cutOfLongAndShortTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("exactly the limit") << QString(10000, u'a') << QString(10000, u'a');
        QTest::newRow("under the limit") << QString(9999, u'a') << QString(9999, u'a');
        QTest::newRow("mark after the limit") << (QString(10000, u'a') + QStringLiteral("\u0301"))
                                              << (QString(9999, u'a') + QStringLiteral("a\u0301"));
        QTest::newRow("megabytes") << QString(5'000'000, u'z') << QString(10000, u'z');
        // A grapheme run longer than the first look-ahead window.
        QTest::newRow("long cluster")
            << (QStringLiteral("a") + QString(100000, QChar(0x0301)) + QStringLiteral("b"))
            << (QStringLiteral("a") + QString(100000, QChar(0x0301)) + QStringLiteral("b"));
    }
    void cutOfLongAndShortTexts() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ClipboardService::firstGraphemes(text, ClipboardService::maxLength), expected);
    }

    void unpinnedLimitKeepsPins() {
        auto s = make();
        for (int i = 0; i < 3; ++i) {
            copyAndPoll(*s, QStringLiteral("pin %1").arg(i));
            s->togglePin(s->items().first());
        }
        for (int i = 0; i < 40; ++i)
            copyAndPoll(*s, QStringLiteral("n %1").arg(i));
        QCOMPARE(s->items().size(), 43);
        copyAndPoll(*s, QStringLiteral("n 40"));
        QCOMPARE(s->items().size(), 43);
        QVERIFY(!texts(*s).contains(QStringLiteral("n 0")));
        QVERIFY(texts(*s).contains(QStringLiteral("n 1")));
        for (int i = 0; i < 3; ++i)
            QVERIFY(texts(*s).contains(QStringLiteral("pin %1").arg(i)));
    }

    void unpinningLeavesMoreThanTheLimitUntilTheNextCopy() {
        auto s = make();
        copyAndPoll(*s, QStringLiteral("pinned"));
        s->togglePin(s->items().first());
        for (int i = 0; i < 40; ++i)
            copyAndPoll(*s, QStringLiteral("n %1").arg(i));
        s->togglePin(s->items().last());
        QCOMPARE(s->items().size(), 41);
        copyAndPoll(*s, QStringLiteral("next"));
        // The two least recently recorded unpinned entries go: the one unpinned a moment ago, then "n 0".
        QCOMPARE(s->items().size(), 40);
        QVERIFY(!texts(*s).contains(QStringLiteral("pinned")));
        QVERIFY(!texts(*s).contains(QStringLiteral("n 0")));
        QVERIFY(texts(*s).contains(QStringLiteral("n 1")));
    }

    void ageRuleAtLoadAndAtTheNextCopy() {
        const QDateTime now = m_clock.now();
        const qint64 week = ClipboardService::maxAgeSeconds;
        QVERIFY(writeStore(ClipItemCodec::encode({
            {QUuid::createUuid(), "fresh", now.addSecs(-10), false},
            {QUuid::createUuid(), "exactly a week", now.addSecs(-week), false},
            {QUuid::createUuid(), "old", now.addSecs(-week - 1), false},
            {QUuid::createUuid(), "old pin", now.addSecs(-week * 10), true},
        })));
        const QByteArray before = storeBytes();
        auto s = make();
        QCOMPARE(texts(*s), (QStringList{"fresh", "exactly a week", "old pin"}));
        QCOMPARE(storeBytes(), before); // loading writes nothing
        m_clock.advanceSeconds(1);
        copyAndPoll(*s, QStringLiteral("new"));
        QCOMPARE(texts(*s), (QStringList{"new", "fresh", "old pin"}));
    }

    void copyIsNotRecordedAgain() {
        auto s = make();
        copyAndPoll(*s, QStringLiteral("one"));
        copyAndPoll(*s, QStringLiteral("two"));
        const QList<ClipItem> before = s->items();
        s->flush();
        const QByteArray saved = storeBytes();
        s->copy(before.at(1));
        QCOMPARE(m_boardPtr->written, QStringList{"one"});
        s->poll();
        QCOMPARE(s->items(), before);
        s->flush();
        QCOMPARE(storeBytes(), saved);
        QCOMPARE(s->copiedID(), before.at(1).id);
    }

    // A view's own copy (a log, an address) is written through the seam and recorded by the rules a copy
    // made elsewhere is: refused when blank or secret, cut, and moved to the top with its pin.
    void copiedTextOfAViewIsWrittenAndRecorded_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("recorded");
        QTest::newRow("a log") << QStringLiteral("line one\nline two\n")
                               << QStringList{"line one\nline two\n", "older"};
        QTest::newRow("blank") << QStringLiteral(" \n\t") << QStringList{"older"};
        QTest::newRow("a token") << QStringLiteral("ghp_abcdef123456") << QStringList{"older"};
        QTest::newRow("the same text again") << QStringLiteral("older") << QStringList{"older"};
        QTest::newRow("longer than the cut")
            << QString(10001, QLatin1Char('x')) << QStringList{QString(10000, QLatin1Char('x')), "older"};
    }
    void copiedTextOfAViewIsWrittenAndRecorded() {
        QFETCH(QString, text);
        QFETCH(QStringList, recorded);
        auto s = make();
        copyAndPoll(*s, QStringLiteral("older"));
        s->togglePin(s->items().first());
        s->copyText(text);
        QCOMPARE(m_boardPtr->written, QStringList{text}); // whole, whatever the history keeps
        QCOMPARE(texts(*s), recorded);
        QVERIFY(s->items().last().pinned); // "older" keeps its pin, moved or not
        // The write is not taken for another program's copy at the next look.
        s->poll();
        QCOMPARE(texts(*s), recorded);
        QCOMPARE(s->changeCount(), m_boardPtr->changeCount());
    }

    void copiedMarkLastsFromTheLatestCopy() {
        auto s = make();
        copyAndPoll(*s, QStringLiteral("one"));
        copyAndPoll(*s, QStringLiteral("two"));
        const ClipItem two = s->items().at(0);
        const ClipItem one = s->items().at(1);
        QSignalSpy changed(s.get(), &ClipboardService::copiedIDChanged);
        s->copy(one);
        m_clock.advanceMs(1000);
        s->copy(two);
        QCOMPARE(s->copiedID(), two.id);
        m_clock.advanceMs(300); // 1.3 s after the first copy
        s->expireCopied();
        QCOMPARE(s->copiedID(), two.id);
        m_clock.advanceMs(899);
        s->expireCopied();
        QCOMPARE(s->copiedID(), two.id);
        m_clock.advanceMs(1);
        s->expireCopied();
        QCOMPARE(s->copiedID(), QUuid());
        QCOMPARE(changed.count(), 3);
    }

    void copiedMarkEndsOnItsOwnTimer() {
        SystemClock clock;
        ClipboardService s(*m_boardPtr, clock, store());
        copyAndPoll(s, QStringLiteral("one"));
        s.copy(s.items().first());
        QVERIFY(!s.copiedID().isNull());
        QTRY_VERIFY_WITH_TIMEOUT(s.copiedID().isNull(), 10000);
    }

    void operationsSave_data() {
        QTest::addColumn<int>("op");
        QTest::newRow("toggle pin") << 0;
        QTest::newRow("clear unpinned") << 1;
        QTest::newRow("remove") << 2;
    }
    void operationsSave() {
        QFETCH(int, op);
        auto s = make();
        copyAndPoll(*s, QStringLiteral("keep"));
        s->togglePin(s->items().first());
        copyAndPoll(*s, QStringLiteral("a"));
        copyAndPoll(*s, QStringLiteral("b"));
        const ClipItem b = s->items().first();
        if (op == 0)
            s->togglePin(b);
        else if (op == 1)
            s->clearUnpinned();
        else
            s->remove(b);
        s->flush();
        const auto stored = ClipItemCodec::decode(storeBytes());
        QVERIFY(stored);
        QCOMPARE(*stored, s->items());
        const QStringList expected[] = {{"b", "a", "keep"}, {"keep"}, {"a", "keep"}};
        QCOMPARE(texts(*s), expected[op]);
        if (op == 0)
            QVERIFY(s->items().first().pinned);
    }

    void unknownIdChangesNothing() {
        auto s = make();
        copyAndPoll(*s, QStringLiteral("a"));
        s->flush();
        QFile::remove(store());
        const ClipItem stranger{QUuid::createUuid(), "a", m_clock.now(), false};
        s->togglePin(stranger);
        s->flush();
        QVERIFY(!QFile::exists(store())); // no save for an unknown entry
        s->remove(stranger);
        QCOMPARE(texts(*s), QStringList{"a"});
    }

    void historySurvivesARestart() {
        {
            auto s = make();
            copyAndPoll(*s, QStringLiteral("first\nline"));
            copyAndPoll(*s, QStringLiteral("\"quoted\" \\ \u0001 é 😀"));
            s->togglePin(s->items().last());
        }
        const QList<ClipItem> before = [&] {
            auto s = make();
            return s->items();
        }();
        QCOMPARE(before.size(), 2);
        QCOMPARE(before.at(0).text, QStringLiteral("\"quoted\" \\ \u0001 é 😀"));
        QVERIFY(before.at(1).pinned);
    }

    void storeFormat() {
        const QUuid id = QUuid::fromString(QStringLiteral("{0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d}"));
        const QDateTime date = ClipItemCodec::fromReferenceSeconds(800000000.25);
        const QByteArray bytes = ClipItemCodec::encode({{id, "a\nb", date, true}});
        QCOMPARE(
            bytes,
            QByteArray(
                R"([{"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","text":"a\nb","date":800000000.25,"pinned":true}])"));
        QCOMPARE(ClipItemCodec::encode({}), QByteArray("[]"));
        const auto back = ClipItemCodec::decode(bytes);
        QVERIFY(back);
        QCOMPARE(back->first(), (ClipItem{id, "a\nb", date, true}));
    }

    void decodeAcceptsWhatTheFormatAllows_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("text");
        QTest::newRow("lower-case id, other key order, extra key")
            << QByteArray(
                   R"([{"pinned":false,"date":1,"extra":[1],"text":"t","id":"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"}])")
            << "t";
        QTest::newRow("integer date")
            << QByteArray(
                   R"([{"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","text":"t","date":800000000,"pinned":true}])")
            << "t";
        QTest::newRow("empty list") << QByteArray("[]") << QString();
    }
    void decodeAcceptsWhatTheFormatAllows() {
        QFETCH(QByteArray, json);
        QFETCH(QString, text);
        const auto items = ClipItemCodec::decode(json);
        QVERIFY(items);
        QCOMPARE(items->isEmpty(), text.isEmpty());
        if (!text.isEmpty())
            QCOMPARE(items->first().text, text);
    }

    void undecodableStoreIsSetAside_data() {
        QTest::addColumn<QByteArray>("json");
        const QByteArray ok = R"("id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","text":"t","date":1)";
        QTest::newRow("missing pinned") << QByteArray("[{" + ok + "}]");
        QTest::newRow("numeric pinned") << QByteArray("[{" + ok + R"(,"pinned":1}])");
        QTest::newRow("braced id") << QByteArray(
            R"([{"id":"{0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}","text":"t","date":1,"pinned":true}])");
        QTest::newRow("short id") << QByteArray(
            R"([{"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4","text":"t","date":1,"pinned":true}])");
        QTest::newRow("id with a g") << QByteArray(
            R"([{"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4G","text":"t","date":1,"pinned":true}])");
        QTest::newRow("string date") << QByteArray(
            R"([{"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","text":"t","date":"1","pinned":true}])");
        QTest::newRow("huge date") << QByteArray(
            R"([{"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","text":"t","date":1e300,"pinned":true}])");
        QTest::newRow("number text") << QByteArray(
            R"([{"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","text":5,"date":1,"pinned":true}])");
        QTest::newRow("object") << QByteArray("{}");
        QTest::newRow("element not an object") << QByteArray("[1]");
        QTest::newRow("truncated") << QByteArray("[{" + ok);
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe", 3);
    }
    void undecodableStoreIsSetAside() {
        QFETCH(QByteArray, json);
        QVERIFY(!ClipItemCodec::decode(json));
        // A pinned entry beside the damaged one must not be destroyed by the next save.
        QVERIFY(writeStore(json));
        auto s = make();
        QVERIFY(s->items().isEmpty());
        copyAndPoll(*s, QStringLiteral("after"));
        s->flush();
        const auto saved = ClipItemCodec::decode(storeBytes());
        QVERIFY(saved);
        QCOMPARE(saved->size(), 1);
        QCOMPARE(saved->first().text, QStringLiteral("after"));
        const QStringList aside = QDir(m_dir->path()).entryList({QStringLiteral("clipboard.json.corrupt*")});
        QCOMPARE(aside.size(), 1);
        QFile kept(m_dir->filePath(aside.first()));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), json);
    }

    void savesCoalesceAndKeepTheLatestState() {
        auto s = make();
        for (int i = 0; i < 50; ++i)
            copyAndPoll(*s, QStringLiteral("n %1").arg(i));
        s->togglePin(s->items().at(3));
        s->flush();
        const auto stored = ClipItemCodec::decode(storeBytes());
        QVERIFY(stored);
        QCOMPARE(*stored, s->items());
        // The event loop finishes the chain of saves by itself as well.
        copyAndPoll(*s, QStringLiteral("last"));
        QTRY_COMPARE_WITH_TIMEOUT(ClipItemCodec::decode(storeBytes()).value_or(QList<ClipItem>()), s->items(),
                                  5000);
    }

    void storeIsPrivate() {
        auto s = make();
        copyAndPoll(*s, QStringLiteral("a"));
        s->flush();
        QCOMPARE(QFile::permissions(store()) &
                     (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());
    }

    // A history read after the island is up: what is copied before it is read comes first and is kept,
    // a text copied again takes the stored entry's pin, and nothing is written until the store was read,
    // also when the service ends while it is being read.
    void storeReadLate_data() {
        QTest::addColumn<int>("end"); // 0: read and merged first; 1: ended while reading; 2: never asked
        QTest::newRow("read, then merged") << 0;
        QTest::newRow("ended while reading") << 1;
        QTest::newRow("ended before it was asked for") << 2;
    }
    void storeReadLate() {
        QFETCH(int, end);
        const QDateTime now = m_clock.now();
        const QList<ClipItem> stored{{QUuid::createUuid(), "pinned one", now.addSecs(-100), true},
                                     {QUuid::createUuid(), "older", now.addSecs(-200), false}};
        QVERIFY(writeStore(ClipItemCodec::encode(stored)));
        const QByteArray before = storeBytes();
        auto s = std::make_unique<ClipboardService>(*m_boardPtr, m_clock, store(), nullptr, StoreLoad::later);
        QVERIFY(s->items().isEmpty());
        copyAndPoll(*s, "new");
        m_clock.advanceMs(1500);
        copyAndPoll(*s, "pinned one");
        QCOMPARE(texts(*s), (QStringList{"pinned one", "new"}));
        s->flush();
        QCOMPARE(storeBytes(), before);
        if (end == 2) {
            s.reset();
            QCOMPARE(storeBytes(), before);
            return;
        }
        QSignalSpy loaded(s.get(), &ClipboardService::storeLoaded);
        s->loadStore();
        if (end == 0) {
            QVERIFY(loaded.wait(10000));
            QCOMPARE(texts(*s), (QStringList{"pinned one", "new", "older"}));
            QVERIFY(s->items()[0].pinned);
        }
        s.reset();
        const std::optional<QList<ClipItem>> saved = ClipItemCodec::decode(storeBytes());
        QVERIFY(saved);
        QStringList savedTexts;
        for (const ClipItem& item : *saved)
            savedTexts << item.text;
        QCOMPARE(savedTexts, (QStringList{"pinned one", "new", "older"}));
        QVERIFY(saved->at(0).pinned);
    }

    // An undecodable history read late is set aside whole; what was copied meanwhile starts the new one.
    void unreadableStoreReadLateIsSetAside() {
        QVERIFY(writeStore("[{\"id\":"));
        ClipboardService s(*m_boardPtr, m_clock, store(), nullptr, StoreLoad::later);
        copyAndPoll(s, "kept");
        QSignalSpy loaded(&s, &ClipboardService::storeLoaded);
        s.loadStore();
        QVERIFY(loaded.wait(10000));
        QCOMPARE(texts(s), QStringList{"kept"});
        s.flush();
        const QStringList aside = QDir(m_dir->path()).entryList({"clipboard.json.corrupt-*"});
        QCOMPARE(aside.size(), 1);
        QFile f(m_dir->filePath(aside[0]));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("[{\"id\":"));
        QCOMPARE(ClipItemCodec::decode(storeBytes())->size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_ClipboardService)
#include "tst_ClipboardService.moc"
