// The backlight reader on a folder laid out as the kernel's: which device it picks, and that
// anything but two sound numbers reads as no level.
#include "fakes/TestChecks.h"
#include "platform/sysfs/SysfsBacklight.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Device {
    QString name;
    QByteArray type; // empty: no type file
    QByteArray brightness;
    QByteArray max; // empty: no max_brightness file
};

[[nodiscard]] bool write(const QString& path, const QByteArray& text) {
    return TestSupport::passes([&] {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    });
}

[[nodiscard]] bool make(const QString& root, const Device& d) {
    return TestSupport::passes([&] {
        const QString folder = root + "/" + d.name;
        QVERIFY(QDir().mkpath(folder));
        if (!d.type.isEmpty())
            QVERIFY(write(folder + "/type", d.type + "\n"));
        QVERIFY(write(folder + "/brightness", d.brightness));
        if (!d.max.isEmpty())
            QVERIFY(write(folder + "/max_brightness", d.max));
    });
}

} // namespace

Q_DECLARE_METATYPE(QList<Device>)

class tst_SysfsBacklight : public QObject {
    Q_OBJECT

private slots:
    void readsTheRightDevice_data() {
        QTest::addColumn<QList<Device>>("devices");
        QTest::addColumn<QString>("device");
        QTest::addColumn<double>("level"); // -1: no level
        QTest::newRow("one device") << QList<Device>{{"intel_backlight", "raw", "480\n", "960\n"}}
                                    << "intel_backlight" << 0.5;
        QTest::newRow("firmware before platform before raw")
            << QList<Device>{{"a_raw", "raw", "1\n", "4\n"},
                             {"b_platform", "platform", "2\n", "4\n"},
                             {"c_firmware", "firmware", "3\n", "4\n"}}
            << "c_firmware" << 0.75;
        QTest::newRow("platform before raw")
            << QList<Device>{{"a", "raw", "1\n", "4\n"}, {"b", "platform", "2\n", "4\n"}} << "b" << 0.5;
        QTest::newRow("same type: the first name")
            << QList<Device>{{"b", "raw", "1\n", "4\n"}, {"a", "raw", "3\n", "4\n"}} << "a" << 0.75;
        QTest::newRow("an unknown type comes last")
            << QList<Device>{{"a", "strange", "1\n", "4\n"}, {"b", "raw", "2\n", "4\n"}} << "b" << 0.5;
        QTest::newRow("no max file: not a device") << QList<Device>{{"a", "raw", "1\n", ""}} << "" << -1.0;
        QTest::newRow("max of zero") << QList<Device>{{"a", "raw", "0\n", "0\n"}} << "a" << -1.0;
        QTest::newRow("garbage level") << QList<Device>{{"a", "raw", "bright\n", "10\n"}} << "a" << -1.0;
        QTest::newRow("garbage max") << QList<Device>{{"a", "raw", "5\n", "ten\n"}} << "a" << -1.0;
        QTest::newRow("negative level") << QList<Device>{{"a", "raw", "-5\n", "10\n"}} << "a" << -1.0;
        QTest::newRow("empty level") << QList<Device>{{"a", "raw", "", "10\n"}} << "a" << -1.0;
        QTest::newRow("a number followed by junk")
            << QList<Device>{{"a", "raw", "5x\n", "10\n"}} << "a" << -1.0;
        QTest::newRow("an overlong file")
            << QList<Device>{{"a", "raw", QByteArray(64, '1'), "10\n"}} << "a" << -1.0;
        QTest::newRow("above the maximum is full")
            << QList<Device>{{"a", "raw", "12\n", "10\n"}} << "a" << 1.0;
        QTest::newRow("zero") << QList<Device>{{"a", "raw", "0\n", "10\n"}} << "a" << 0.0;
        QTest::newRow("without a line feed") << QList<Device>{{"a", "raw", "10", "10"}} << "a" << 1.0;
        QTest::newRow("no devices") << QList<Device>{} << "" << -1.0;
    }
    void readsTheRightDevice() {
        QFETCH(QList<Device>, devices);
        QFETCH(QString, device);
        QFETCH(double, level);
        QTemporaryDir root;
        for (const Device& d : devices)
            QVERIFY(make(root.path(), d));
        SysfsBacklight reader(root.path(), false);
        QCOMPARE(QFileInfo(reader.device()).fileName(), device);
        const std::optional<double> read = reader.readBrightness();
        if (level < 0)
            QVERIFY(!read);
        else
            QCOMPARE(read, std::optional<double>(level));
    }

    void aMissingFolderIsNoBacklight() {
        SysfsBacklight reader(QStringLiteral("/nonexistent/backlight"), false);
        QVERIFY(!reader.present());
        QVERIFY(!reader.readBrightness());
        QVERIFY(!reader.announcesChanges()); // not watched
    }

    void followsTheLevelAsItChanges() {
        QTemporaryDir root;
        QVERIFY(make(root.path(), {"a", "raw", "10\n", "100\n"}));
        SysfsBacklight reader(root.path(), false);
        QVERIFY(reader.present());
        QCOMPARE(reader.readBrightness(), std::optional<double>(0.1));
        QVERIFY(write(root.path() + "/a/brightness", "55\n"));
        QCOMPARE(reader.readBrightness(), std::optional<double>(0.55));
    }

    // Devices come and go as udev announces them: a machine without one reads nothing until then.
    void devicesFollowTheAnnouncements() {
        QTemporaryDir root;
        QVERIFY(make(root.path(), {"a", "raw", "10\n", "100\n"}));
        SysfsBacklight reader(root.path(), false);
        int announced = 0;
        reader.setChangeHandler([&] { ++announced; });
        QVERIFY(reader.readBrightness());

        // Taken away without a word: the read that finds it gone says so, and no device is left.
        QVERIFY(QDir(root.path() + "/a").removeRecursively());
        QVERIFY(!reader.readBrightness());
        QVERIFY(!reader.present());

        // Another appears: nothing reads it until it is announced.
        QVERIFY(make(root.path(), {"b", "raw", "20\n", "100\n"}));
        QVERIFY(!reader.readBrightness());
        reader.handleEvent("add");
        QCOMPARE(announced, 1);
        QVERIFY(reader.present());
        QCOMPARE(reader.readBrightness(), std::optional<double>(0.2));
        QCOMPARE(QFileInfo(reader.device()).fileName(), QStringLiteral("b"));

        // A better kind announced later takes over; a level change is passed on as it is.
        QVERIFY(make(root.path(), {"c", "firmware", "30\n", "100\n"}));
        reader.handleEvent("add");
        QCOMPARE(QFileInfo(reader.device()).fileName(), QStringLiteral("c"));
        QVERIFY(write(root.path() + "/c/brightness", "40\n"));
        reader.handleEvent("change");
        QCOMPARE(announced, 3);
        QCOMPARE(reader.readBrightness(), std::optional<double>(0.4));

        // Its removal announced: back to the one left.
        QVERIFY(QDir(root.path() + "/c").removeRecursively());
        reader.handleEvent("remove");
        QCOMPARE(QFileInfo(reader.device()).fileName(), QStringLiteral("b"));
        QVERIFY(QDir(root.path() + "/b").removeRecursively());
        reader.handleEvent("remove");
        QVERIFY(!reader.present());
        QCOMPARE(announced, 5);
    }
};

QTEST_GUILESS_MAIN(tst_SysfsBacklight)
#include "tst_SysfsBacklight.moc"
