// The Antigravity credits: the wire-format walk on good and hostile data, and the reader on databases the
// test makes (missing, without the row, locked by a writer, at a path with URI characters).
#include "services/AntigravityCreditsReader.h"
#include "services/AntigravityDecoder.h"
#include "services/Libsqlite.h"

#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using Pairs = QList<QPair<QString, QString>>;

namespace {

QByteArray varint(quint64 v) {
    QByteArray out;
    do {
        quint8 b = v & 0x7F;
        v >>= 7;
        if (v)
            b |= 0x80;
        out.append(char(b));
    } while (v);
    return out;
}

QByteArray field(quint8 tag, const QByteArray& body) {
    return QByteArray(1, char(tag)) + varint(quint64(body.size())) + body;
}

// One map entry: key in field 1, and in field 2 a message whose field 1 holds `text` (one-byte length).
QByteArray entry(const QByteArray& key, const QByteArray& text) {
    QByteArray inner = QByteArray("\x0A", 1) + char(text.size()) + text;
    return field(0x0A, field(0x0A, key) + field(0x12, inner));
}

QByteArray numberText(quint64 n) {
    return (QByteArray("\x10", 1) + varint(n)).toBase64();
}

bool makeDatabase(const QString& path, const std::optional<QByteArray>& value, bool asBlob = false) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK)
        return false;
    bool ok = sqlite3_exec(db, "CREATE TABLE ItemTable (key TEXT UNIQUE ON CONFLICT REPLACE, value BLOB)",
                           nullptr, nullptr, nullptr) == SQLITE_OK;
    if (ok && value) {
        sqlite3_stmt* st = nullptr;
        ok = sqlite3_prepare_v2(db,
                                "INSERT INTO ItemTable VALUES('antigravityUnifiedStateSync.modelCredits', ?)",
                                -1, &st, nullptr) == SQLITE_OK;
        if (ok) {
            if (asBlob)
                sqlite3_bind_blob(st, 1, value->constData(), int(value->size()), SQLITE_TRANSIENT);
            else
                sqlite3_bind_text(st, 1, value->constData(), int(value->size()), SQLITE_TRANSIENT);
            ok = sqlite3_step(st) == SQLITE_DONE;
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return ok;
}

} // namespace

class tst_AntigravityCredits : public QObject {
    Q_OBJECT

private slots:
    // libsqlite3 is opened when the first state database is read: a library that is missing, or is some
    // other library, gives no functions and says which part failed; the real one gives every function.
    void libsqliteOpenedOnUse_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("reason"); // empty: opened
        QTest::newRow("libsqlite3") << "sqlite3" << 0 << QString();
        QTest::newRow("missing") << "quillbay-no-such-sqlite" << 0 << "quillbay-no-such-sqlite";
        QTest::newRow("another library") << "z" << 1 << "sqlite3_open_v2";
    }
    void libsqliteOpenedOnUse() {
        QFETCH(QString, name);
        QFETCH(int, version);
        QFETCH(QString, reason);
        if (!reason.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("libsqlite3 unavailable"));
        const Libsqlite sqlite(name, version);
        QCOMPARE(sqlite.ok(), reason.isEmpty());
        QVERIFY2(sqlite.error().contains(reason), qPrintable(sqlite.error()));
        if (!sqlite.ok())
            return;
        const void* all[] = {reinterpret_cast<const void*>(sqlite.open_v2),
                             reinterpret_cast<const void*>(sqlite.close),
                             reinterpret_cast<const void*>(sqlite.progress_handler),
                             reinterpret_cast<const void*>(sqlite.limit),
                             reinterpret_cast<const void*>(sqlite.prepare_v2),
                             reinterpret_cast<const void*>(sqlite.step),
                             reinterpret_cast<const void*>(sqlite.column_blob),
                             reinterpret_cast<const void*>(sqlite.column_bytes),
                             reinterpret_cast<const void*>(sqlite.finalize)};
        for (const void* f : all)
            QVERIFY(f);
    }

    void knownValues_data() {
        QTest::addColumn<QByteArray>("base64");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<std::optional<QString>>("note");
        QTest::newRow("300 credits") << QByteArray("CiUKG2F2YWlsYWJsZUNyZWRpdHNTZW50aW5lbEtleRIGCgRFS3dD")
                                     << "300 disponíveis" << std::optional<QString>();
        QTest::newRow("another key only") << QByteArray("ChIKCG90aGVyS2V5EgYKBEVBVT0=") << QString()
                                          << std::optional<QString>("Formato de créditos não reconhecido");
        QTest::newRow("surrounding white space")
            << QByteArray("\n CiUKG2F2YWlsYWJsZUNyZWRpdHNTZW50aW5lbEtleRIGCgRFS3dD\t\n") << "300 disponíveis"
            << std::optional<QString>();
        QTest::newRow("not Base64") << QByteArray("CiUKG2F2*WlsYWJs") << QString()
                                    << std::optional<QString>("Sem dados de créditos no Antigravity");
        QTest::newRow("Base64 without padding")
            << QByteArray("EKwC9") << QString()
            << std::optional<QString>("Sem dados de créditos no Antigravity");
        QTest::newRow("empty") << QByteArray("   ") << QString()
                               << std::optional<QString>("Sem dados de créditos no Antigravity");
    }

    void knownValues() {
        QFETCH(QByteArray, base64);
        QFETCH(QString, detail);
        QFETCH(std::optional<QString>, note);
        const AIProviderUsage card = AntigravityCreditsReader::cardFromValue(base64.trimmed());
        QCOMPARE(card.name, QString("Antigravity"));
        QCOMPARE(card.plan, QString());
        QCOMPARE(card.note, note);
        if (detail.isEmpty()) {
            QVERIFY(card.metrics.isEmpty());
        } else {
            QCOMPARE(card.metrics.size(), 1);
            QCOMPARE(card.metrics[0].label, QString("Créditos"));
            QCOMPARE(card.metrics[0].fraction, std::nullopt);
            QCOMPARE(card.metrics[0].detail, detail);
        }
    }

    void stringMap_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<Pairs>("pairs");
        QTest::newRow("two entries") << entry("a", "x") + entry("b", "yy") << Pairs{{"a", "x"}, {"b", "yy"}};
        QTest::newRow("empty key dropped") << entry("", "x") + entry("k", "v") << Pairs{{"k", "v"}};
        QTest::newRow("value field missing keeps an empty value")
            << field(0x0A, field(0x0A, "k")) << Pairs{{"k", ""}};
        QTest::newRow("inner length past its field leaves the value")
            << field(0x0A, field(0x0A, "k") + field(0x12, QByteArray("\x0A\x09"
                                                                     "abc",
                                                                     5)))
            << Pairs{{"k", ""}};
        QTest::newRow("inner field of another tag")
            << field(0x0A, field(0x0A, "k") + field(0x12, QByteArray("\x12\x01"
                                                                     "a",
                                                                     3)))
            << Pairs{{"k", ""}};
        QTest::newRow("other fields are skipped")
            << field(0x0A, field(0x1A, "junk") + field(0x0A, "k") + field(0x22, "more")) << Pairs{{"k", ""}};
        QTest::newRow("entry length past the end: fields present still read")
            << QByteArray("\x0A\x7F", 2) + field(0x0A, "k") +
                   field(0x12, QByteArray("\x0A\x01"
                                          "v",
                                          3))
            << Pairs{{"k", "v"}};
        QTest::newRow("stops at a byte that is not an entry")
            << entry("a", "x") + QByteArray("\x12\x00", 2) + entry("b", "y") << Pairs{{"a", "x"}};
        QTest::newRow("data ends inside the entry length") << QByteArray("\x0A\x80\x80", 3) << Pairs{};
        QTest::newRow("lone tag at the end") << entry("a", "x") + QByteArray("\x0A", 1) << Pairs{{"a", "x"}};
        QTest::newRow("key not UTF-8 is empty and dropped") << entry("\xC3\x28", "x") << Pairs{};
        QTest::newRow("value not UTF-8 is empty") << entry("k", "\xFF") << Pairs{{"k", ""}};
        // Lengths that wrap around in unchecked 64-bit arithmetic.
        QTest::newRow("entry length 2^64-1")
            << QByteArray("\x0A", 1) + varint(~quint64(0)) + field(0x0A, "k") << Pairs{{"k", ""}};
        QTest::newRow("entry length wrapping back to the start")
            << QByteArray("\x0A", 1) + varint(~quint64(0) - 10) + entry("a", "x")
            << Pairs{{QString::fromLatin1("\x0A\x01"
                                          "a\x12\x03\x0A\x01"
                                          "x"),
                      ""}};
        QTest::newRow("field length 2^64-1")
            << field(0x0A, QByteArray("\x0A", 1) + varint(~quint64(0)) + "abc") << Pairs{};
        QTest::newRow("field length wrapping")
            << field(0x0A, field(0x0A, "k") + QByteArray("\x12", 1) + varint(~quint64(0) - 2) + "zz")
            << Pairs{{"k", ""}};
        QTest::newRow("varint longer than 64 bits")
            << QByteArray("\x0A", 1) + QByteArray(20, '\xFF') + QByteArray("\x01", 1) + field(0x0A, "k")
            << Pairs{{"k", ""}};
    }

    void stringMap() {
        QFETCH(QByteArray, data);
        QFETCH(Pairs, pairs);
        QCOMPARE(AntigravityDecoder::parseProtobufStringMap(data), pairs);
    }

    void firstVarint_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<std::optional<qint64>>("number");
        QTest::newRow("300") << QByteArray("\x10\xAC\x02", 3) << std::optional<qint64>(300);
        QTest::newRow("first 0x10 anywhere") << QByteArray("\x08\x01\x10\x05", 4) << std::optional<qint64>(5);
        QTest::newRow("0x10 inside another field counts")
            << QByteArray("\x08\x10\x07", 3) << std::optional<qint64>(7);
        QTest::newRow("none") << QByteArray("\x08\x01", 2) << std::optional<qint64>();
        QTest::newRow("0x10 last") << QByteArray("\x08\x10", 2) << std::optional<qint64>();
        QTest::newRow("cut varint") << QByteArray("\x10\x80\x80", 3) << std::optional<qint64>();
        QTest::newRow("past 64 bits dropped")
            << QByteArray("\x10", 1) + QByteArray(12, '\x81') + QByteArray("\x00", 1)
            << std::optional<qint64>(qint64(0x8102040810204081ULL));
        QTest::newRow("empty") << QByteArray() << std::optional<qint64>();
    }

    void firstVarint() {
        QFETCH(QByteArray, data);
        QFETCH(std::optional<qint64>, number);
        QCOMPARE(AntigravityDecoder::firstVarint(data), number);
    }

    void laterEntryWins() {
        const QByteArray data = entry("availableCreditsSentinelKey", numberText(5)) +
                                entry("x", "not base64!") +
                                entry("availableCreditsSentinelKey", numberText(12345));
        const QMap<QString, qint64> credits = AntigravityDecoder::credits(data);
        QCOMPARE(credits.value("availableCreditsSentinelKey"), 12345);
        QVERIFY(!credits.contains("x"));
        const AIProviderUsage card = AntigravityCreditsReader::cardFromValue(data.toBase64());
        QCOMPARE(card.metrics.value(0).detail, QString("12345 disponíveis"));
    }

    // Random and mutated buffers: the walk must end, stay inside the data (checked by the sanitizer lanes)
    // and give only keys that are valid text.
    void hostileBuffersEnd() {
        QRandomGenerator rng(20261209);
        const QByteArray seed =
            QByteArray::fromBase64("CiUKG2F2YWlsYWJsZUNyZWRpdHNTZW50aW5lbEtleRIGCgRFS3dD");
        for (int round = 0; round < 100000; ++round) {
            QByteArray data;
            if (round % 2) {
                data = seed;
                const int edits = 1 + int(rng.bounded(4));
                for (int e = 0; e < edits; ++e)
                    data[int(rng.bounded(quint32(data.size())))] = char(rng.bounded(256));
                if (rng.bounded(4) == 0)
                    data.truncate(int(rng.bounded(quint32(data.size()))));
            } else {
                data.resize(int(rng.bounded(48)));
                for (char& c : data)
                    c = char(rng.bounded(4) == 0 ? 0x0A : rng.bounded(256));
            }
            const Pairs pairs = AntigravityDecoder::parseProtobufStringMap(data);
            QVERIFY(pairs.size() <= data.size());
            for (const auto& [key, value] : pairs)
                QVERIFY(!key.isEmpty() && key.size() <= data.size());
            AntigravityDecoder::credits(data);
            AntigravityDecoder::firstVarint(data);
        }
    }

    void reader_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<std::optional<QString>>("note");
        QTest::newRow("value as text") << 0 << "300 disponíveis" << std::optional<QString>();
        QTest::newRow("value as blob") << 1 << "300 disponíveis" << std::optional<QString>();
        QTest::newRow("no row") << 2 << QString()
                                << std::optional<QString>("Sem dados de créditos no Antigravity");
        QTest::newRow("not a database")
            << 3 << QString() << std::optional<QString>("Sem dados de créditos no Antigravity");
    }

    void reader() {
        QFETCH(int, kind);
        QFETCH(QString, detail);
        QFETCH(std::optional<QString>, note);
        QTemporaryDir config;
        // A folder name with the characters a file: URI gives meaning to.
        const QString base = config.path() + "/we?ird#%20 'x'";
        AntigravityCreditsReader reader(base);
        QVERIFY(!reader.read()); // absent
        const QByteArray value("CiUKG2F2YWlsYWJsZUNyZWRpdHNTZW50aW5lbEtleRIGCgRFS3dD");
        if (kind == 3) {
            QDir().mkpath(QFileInfo(reader.databasePath()).absolutePath());
            QFile f(reader.databasePath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("this is not a database at all, not even close");
        } else {
            QVERIFY(makeDatabase(reader.databasePath(), kind == 2 ? std::nullopt : std::optional(value),
                                 kind == 1));
        }
        const auto card = reader.read();
        QVERIFY(card);
        QCOMPARE(card->note, note);
        QCOMPARE(card->metrics.value(0).detail, detail);
    }

    // While another program holds a write lock, the read neither waits nor changes anything.
    void databaseLockedByAWriter() {
        QTemporaryDir config;
        AntigravityCreditsReader reader(config.path());
        QVERIFY(makeDatabase(reader.databasePath(),
                             QByteArray("CiUKG2F2YWlsYWJsZUNyZWRpdHNTZW50aW5lbEtleRIGCgRFS3dD")));
        sqlite3* writer = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(reader.databasePath()).constData(), &writer), SQLITE_OK);
        QCOMPARE(sqlite3_exec(writer, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        const QDateTime before = QFileInfo(reader.databasePath()).lastModified();
        const auto card = reader.read();
        QVERIFY(card);
        QCOMPARE(card->metrics.value(0).detail, QString("300 disponíveis"));
        QCOMPARE(sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(writer);
        QCOMPARE(QFileInfo(reader.databasePath()).lastModified(), before);
        QVERIFY(!QFileInfo::exists(reader.databasePath() + "-journal"));
    }
};

QTEST_GUILESS_MAIN(tst_AntigravityCredits)
#include "tst_AntigravityCredits.moc"
