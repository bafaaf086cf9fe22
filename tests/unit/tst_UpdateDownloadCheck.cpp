// Whether a finished download is the archive offered: each refusal with what the user is shown and the
// log told, which one wins when several hold, and the folders named in a refused write.
#include "fakes/TestSupport.h"
#include "services/UpdateDownloadCheck.h"

#include <QDir>
#include <QTest>

namespace {

const QString kSha = QStringLiteral("ab").repeated(32);
const QUrl kManifest(QStringLiteral("https://maker.test/version.json"));

UpdateDownloader::Outcome good() {
    UpdateDownloader::Outcome o;
    o.answered = true;
    o.finalUrl = QUrl(QStringLiteral("https://maker.test/downloads/Quillbay-2.0.0.tar.xz"));
    o.digest = kSha;
    return o;
}

} // namespace

class tst_UpdateDownloadCheck : public QObject {
    Q_OBJECT

private slots:
    void refusals_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("reason");
        // Each row adds its fault, and every later one, to a good download: the row's own fault wins.
        QTest::newRow("redirect refused") << 0 << "Download failed"
                                          << "the download was redirected to an address updates may not "
                                             "come from: https://elsewhere.test/x";
        QTest::newRow("write refused")
            << 1 << "No space left on device in /var/cache/q"
            << "writing the download failed: No space left on device in /var/cache/q";
        QTest::newRow("too large") << 2 << "Download failed"
                                   << "the download is larger than 1000 bytes";
        QTest::newRow("no answer") << 3 << "Connection refused"
                                   << "no answer: Connection refused";
        QTest::newRow("ended elsewhere") << 4 << "Download failed"
                                         << "the download ended at an address updates may not come from: "
                                            "https://maker.test/other/q.tar.xz";
        QTest::newRow("interrupted") << 5 << "The download was interrupted. Try again."
                                     << "the download was interrupted: Connection refused";
        QTest::newRow("checksum") << 6 << "The update checksum didn't match and was discarded."
                                  << "the download's SHA-256 is " + QStringLiteral("cd").repeated(32) +
                                         ", the manifest names " + kSha;
    }
    void refusals() {
        QFETCH(int, fault);
        QFETCH(QString, message);
        QFETCH(QString, reason);
        UpdateDownloader::Outcome o = good();
        if (fault <= 0)
            o.refusedRedirect = QUrl(QStringLiteral("https://elsewhere.test/x"));
        if (fault <= 1)
            o.writeError = QStringLiteral("No space left on device");
        if (fault <= 2)
            o.tooLarge = true;
        if (fault <= 3) {
            o.answered = false;
            o.error = QStringLiteral("Connection refused");
        }
        if (fault <= 4)
            o.finalUrl = QUrl(QStringLiteral("https://maker.test/other/q.tar.xz"));
        if (fault <= 5) {
            o.interrupted = true;
            o.error = QStringLiteral("Connection refused");
        }
        if (fault <= 6)
            o.digest = QStringLiteral("cd").repeated(32);
        const auto refused =
            UpdateDownloadCheck::refusal(o, kSha, 1000, QStringLiteral("/var/cache/q"), kManifest);
        QVERIFY(refused);
        QCOMPARE(refused->message, message);
        QCOMPARE(refused->reason, reason);
    }

    void theOfferedArchivePasses_data() {
        QTest::addColumn<QString>("digest");
        QTest::newRow("same case") << kSha;
        QTest::newRow("manifest in capitals") << kSha.toUpper();
    }
    void theOfferedArchivePasses() {
        QFETCH(QString, digest);
        UpdateDownloader::Outcome o = good();
        // Any HTTP answer counts: a wrong body would fail the checksum.
        QVERIFY(!UpdateDownloadCheck::refusal(o, digest, 1000, QStringLiteral("/tmp"), kManifest));
    }

    void noAnswerWithoutWordsSaysDownloadFailed() {
        UpdateDownloader::Outcome o = good();
        o.answered = false;
        const auto refused = UpdateDownloadCheck::refusal(o, kSha, 1000, QStringLiteral("/tmp"), kManifest);
        QVERIFY(refused);
        QCOMPARE(refused->message, QStringLiteral("Download failed"));
    }

    void foldersAsTheUserKnowsThem() {
        const auto home = TestSupport::isolateHome();
        const QString h = QDir::homePath();
        QCOMPARE(UpdateDownloadCheck::shownFolder(h), QStringLiteral("~"));
        QCOMPARE(UpdateDownloadCheck::shownFolder(h + "/.cache/Quillbay/update/"),
                 QStringLiteral("~/.cache/Quillbay/update"));
        QCOMPARE(UpdateDownloadCheck::shownFolder(h + "/a/../b"), QStringLiteral("~/b"));
        // A sibling whose name starts like the home folder's is not inside it.
        QCOMPARE(UpdateDownloadCheck::shownFolder(h + "x/y"), h + "x/y");
        QCOMPARE(UpdateDownloadCheck::shownFolder("/var/tmp"), QStringLiteral("/var/tmp"));
        QCOMPARE(UpdateDownloadCheck::systemReason("Disk quota exceeded", h + "/c"),
                 QStringLiteral("Disk quota exceeded in ~/c"));
    }
};

QTEST_GUILESS_MAIN(tst_UpdateDownloadCheck)
#include "tst_UpdateDownloadCheck.moc"
