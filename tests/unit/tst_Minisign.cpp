// Signatures in minisign's format: both kinds verify, and every altered part (file, signature, trusted
// comment, key id, encoding) is refused.
#include "services/Minisign.h"

#include <QTemporaryDir>
#include <QTest>

class tst_Minisign : public QObject {
    Q_OBJECT

    Minisign::SecretKey m_key = Minisign::generate();
    Minisign::PublicKey publicKey() const { return {m_key.keyId, m_key.publicKey}; }

    // Replaces line `index` of a signature file by `line`.
    static QByteArray withLine(const QByteArray& text, int index, const QByteArray& line) {
        QList<QByteArray> lines = text.split('\n');
        lines[index] = line;
        return lines.join('\n');
    }
    static QByteArray flipByte(const QByteArray& base64Line, int at) {
        QByteArray raw = QByteArray::fromBase64(base64Line);
        raw[at] = char(raw[at] ^ 0x01);
        return raw.toBase64();
    }

private slots:
    void verify_data() {
        QTest::addColumn<bool>("prehashed");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("prehashed") << true << QByteArray("release bytes");
        QTest::newRow("legacy") << false << QByteArray("release bytes");
        QTest::newRow("prehashed empty") << true << QByteArray();
        QTest::newRow("legacy empty") << false << QByteArray();
        QTest::newRow("binary") << true << QByteArray("\0\xff\n\r", 4);
    }
    void verify() {
        QFETCH(bool, prehashed);
        QFETCH(QByteArray, message);
        const QByteArray sig = Minisign::sign(m_key, message, "team=R4KD9QZ2MX version=1.0.0", prehashed);
        QVERIFY(sig.startsWith("untrusted comment: "));
        const auto parsed = Minisign::parseSignature(sig);
        QVERIFY(parsed);
        QCOMPARE(parsed->prehashed, prehashed);
        const auto ok = Minisign::verify(publicKey(), sig, message);
        QVERIFY2(ok.ok, qPrintable(ok.error));
        QCOMPARE(ok.trustedComment, QByteArray("team=R4KD9QZ2MX version=1.0.0"));
        QVERIFY(!Minisign::verify(publicKey(), sig, message + "x").ok);
        // The same through a file, streamed or mapped.
        QTemporaryDir dir;
        QFile f(dir.filePath("a"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(message);
        f.close();
        QVERIFY(Minisign::verifyFile(publicKey(), sig, f.fileName()).ok);
        QVERIFY(!Minisign::verifyFile(publicKey(), sig, dir.filePath("missing")).ok);
    }

    void tampered_data() {
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("byte"); // -1: the line is replaced by `replacement`
        QTest::addColumn<QByteArray>("replacement");
        QTest::newRow("algorithm") << 1 << 0 << QByteArray();
        QTest::newRow("key id") << 1 << 3 << QByteArray();
        QTest::newRow("signature") << 1 << 40 << QByteArray();
        QTest::newRow("global signature") << 3 << 10 << QByteArray();
        QTest::newRow("trusted comment version")
            << 2 << -1 << QByteArray("trusted comment: team=R4KD9QZ2MX version=9.9.9");
        QTest::newRow("trusted comment dropped") << 2 << -1 << QByteArray("trusted comment: ");
        QTest::newRow("no trusted comment label") << 2 << -1 << QByteArray("team=R4KD9QZ2MX version=1.0.0");
        QTest::newRow("not base64") << 1 << -1 << QByteArray("@@@@");
        QTest::newRow("short signature") << 1 << -1 << QByteArray("RUQ=");
        QTest::newRow("no untrusted comment") << 0 << -1 << QByteArray("hello");
    }
    void tampered() {
        QFETCH(int, line);
        QFETCH(int, byte);
        QFETCH(QByteArray, replacement);
        const QByteArray message = "archive";
        const QByteArray sig = Minisign::sign(m_key, message, "team=R4KD9QZ2MX version=1.0.0");
        QByteArray bad;
        if (byte >= 0)
            bad = withLine(sig, line, flipByte(sig.split('\n')[line], byte));
        else
            bad = withLine(sig, line, replacement);
        const auto r = Minisign::verify(publicKey(), bad, message);
        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
    }

    void otherKey() {
        const QByteArray sig = Minisign::sign(m_key, "x", "c");
        Minisign::SecretKey other = Minisign::generate();
        // Another key, and another key that claims this key's id.
        QVERIFY(!Minisign::verify({other.keyId, other.publicKey}, sig, "x").ok);
        QVERIFY(!Minisign::verify({m_key.keyId, other.publicKey}, sig, "x").ok);
    }

    void truncatedAndHuge() {
        const QByteArray sig = Minisign::sign(m_key, "x", "c");
        // Cutting only the final padding and line feed leaves the same bytes, so stop before them.
        for (int n = 0; n <= sig.size() - 4; n += 7)
            QVERIFY(!Minisign::verify(publicKey(), sig.left(n), "x").ok);
        QVERIFY(!Minisign::parseSignature(QByteArray(1 << 20, 'a')));
    }

    void keys() {
        const auto pk = Minisign::parsePublicKey(Minisign::publicKeyFile(m_key));
        QVERIFY(pk);
        QCOMPARE(pk->key, m_key.publicKey);
        QCOMPARE(pk->keyId, m_key.keyId);
        // The base64 line alone is enough; anything else is refused.
        QVERIFY(Minisign::parsePublicKey(Minisign::publicKeyFile(m_key).split('\n')[1]));
        QVERIFY(!Minisign::parsePublicKey(""));
        QVERIFY(!Minisign::parsePublicKey("RWQ="));
        QVERIFY(!Minisign::parsePublicKey("untrusted comment: x\nnot base64!\n"));

        const auto sk = Minisign::parseSecretKey(Minisign::secretKeyFile(m_key));
        QVERIFY(sk);
        QCOMPARE(sk->seed, m_key.seed);
        QByteArray raw = QByteArray::fromBase64(Minisign::secretKeyFile(m_key).split('\n')[1]);
        QString error;
        QByteArray encrypted = raw;
        encrypted[2] = 'S';
        encrypted[3] = 'c';
        QVERIFY(!Minisign::parseSecretKey("untrusted comment: k\n" + encrypted.toBase64(), &error));
        QVERIFY(error.contains("password"));
        QByteArray damaged = raw;
        damaged[60 + 8] = char(damaged[60 + 8] ^ 1); // inside the seed
        QVERIFY(!Minisign::parseSecretKey("untrusted comment: k\n" + damaged.toBase64(), &error));
        QVERIFY(error.contains("damaged"));
    }

    void keyIdText() {
        QCOMPARE(Minisign::keyIdText(QByteArray::fromHex("d75e4c83979113cd")), QString("CD139197834C5ED7"));
    }
};

QTEST_GUILESS_MAIN(tst_Minisign)
#include "tst_Minisign.moc"
