// libcrypto's SHA-256 against Qt's on inputs fed whole and in pieces of awkward sizes, around the 64-byte
// block and its 55/56-byte padding edge.
#include "services/Libcrypto.h"
#include "services/Sha256.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

class tst_Sha256 : public QObject {
    Q_OBJECT

private slots:
    void matchesQt_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("piece");
        for (int size : {0, 1, 55, 56, 63, 64, 65, 127, 128, 1000, (1 << 20) + 3})
            for (int piece : {1, 7, 64, 4096, 1 << 30})
                if (piece == 1 << 30 || (size <= 4096 || piece >= 64))
                    QTest::addRow("%d bytes in pieces of %d", size, piece) << size << piece;
    }
    void matchesQt() {
        QFETCH(int, size);
        QFETCH(int, piece);
        QByteArray data(size, Qt::Uninitialized);
        QRandomGenerator gen{quint32(size)};
        for (char& c : data)
            c = char(gen.generate());
        Sha256 hash;
        for (qsizetype at = 0; at < data.size(); at += piece)
            hash.addData(QByteArrayView(data).sliced(at, std::min<qsizetype>(piece, data.size() - at)));
        hash.addData({}); // nothing added changes nothing
        QCOMPARE(hash.hexResult(), QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
    }

    // libcrypto is opened on first use: a library that is missing, or is some other library, gives no
    // functions at all and says which part failed; the real one gives every function.
    void libcryptoOpenedOnUse_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("reason"); // empty: opened
        QTest::newRow("libcrypto") << "crypto" << 3 << QString();
        QTest::newRow("missing") << "quillbay-no-such-crypto" << 3 << "quillbay-no-such-crypto";
        QTest::newRow("another library") << "z" << 1 << "EVP_MD_CTX_new";
    }
    void libcryptoOpenedOnUse() {
        QFETCH(QString, name);
        QFETCH(int, version);
        QFETCH(QString, reason);
        if (!reason.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("libcrypto unavailable"));
        const Libcrypto crypto(name, version);
        QCOMPARE(crypto.ok(), reason.isEmpty());
        QVERIFY2(crypto.error().contains(reason), qPrintable(crypto.error()));
        if (!crypto.ok())
            return;
        const void* all[] = {reinterpret_cast<const void*>(crypto.mdCtxNew),
                             reinterpret_cast<const void*>(crypto.mdCtxFree),
                             reinterpret_cast<const void*>(crypto.digestInit),
                             reinterpret_cast<const void*>(crypto.digestUpdate),
                             reinterpret_cast<const void*>(crypto.digestFinal),
                             reinterpret_cast<const void*>(crypto.sha256),
                             reinterpret_cast<const void*>(crypto.blake2b512),
                             reinterpret_cast<const void*>(crypto.pkeyNewRawPublic),
                             reinterpret_cast<const void*>(crypto.pkeyNewRawPrivate),
                             reinterpret_cast<const void*>(crypto.pkeyGetRawPublic),
                             reinterpret_cast<const void*>(crypto.pkeyFree),
                             reinterpret_cast<const void*>(crypto.digestVerifyInit),
                             reinterpret_cast<const void*>(crypto.digestVerify),
                             reinterpret_cast<const void*>(crypto.digestSignInit),
                             reinterpret_cast<const void*>(crypto.digestSign),
                             reinterpret_cast<const void*>(crypto.randBytes)};
        for (const void* f : all)
            QVERIFY(f);
    }

    void knownDigest() {
        Sha256 hash;
        hash.addData("abc");
        QCOMPARE(hash.hexResult(),
                 QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    }
};

QTEST_GUILESS_MAIN(tst_Sha256)
#include "tst_Sha256.moc"
