// libcrypto's SHA-256 against Qt's on inputs fed whole and in pieces of awkward sizes, around the 64-byte
// block and its 55/56-byte padding edge.
#include "services/Sha256.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
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

    void knownDigest() {
        Sha256 hash;
        hash.addData("abc");
        QCOMPARE(hash.hexResult(),
                 QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    }
};

QTEST_GUILESS_MAIN(tst_Sha256)
#include "tst_Sha256.moc"
