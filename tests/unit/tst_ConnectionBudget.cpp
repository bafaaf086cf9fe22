// Who gets a connection to quillbay-web: one address (an IPv6 /64) and one IPv6 /56 hold only so many,
// and near the bound in all a newcomer displaces the oldest connection that never completed a request,
// never one that did.
#include "ConnectionBudget.h"

#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>

#include <optional>
#include <set>

namespace {

sockaddr_storage address(const char* text) {
    sockaddr_storage s{};
    if (std::string(text).find(':') == std::string::npos) {
        auto* in = reinterpret_cast<sockaddr_in*>(&s);
        in->sin_family = AF_INET;
        ::inet_pton(AF_INET, text, &in->sin_addr);
    } else {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&s);
        in6->sin6_family = AF_INET6;
        ::inet_pton(AF_INET6, text, &in6->sin6_addr);
    }
    return s;
}

ConnectionBudget::Keys keys(const char* text) {
    return ConnectionBudget::keysOf(address(text));
}

// An IPv6 address in the /56 2001:db8:0:ab00::/56, in its /64 number `net`, host `host`.
std::string inSlash56(int net, int host) {
    char text[64];
    std::snprintf(text, sizeof text, "2001:db8:0:ab%02x::%x", net & 0xff, host);
    return text;
}

} // namespace

class tst_ConnectionBudget : public QObject {
    Q_OBJECT

private slots:
    void grouping_data() {
        QTest::addColumn<QByteArray>("a");
        QTest::addColumn<QByteArray>("b");
        QTest::addColumn<bool>("sameAddress");
        QTest::addColumn<bool>("sameWide");
        QTest::newRow("two IPv4 addresses")
            << QByteArray("127.0.0.1") << QByteArray("127.0.0.2") << false << true;
        QTest::newRow("one /64") << QByteArray("2001:db8:0:ab01::1") << QByteArray("2001:db8:0:ab01:ffff::9")
                                 << true << true;
        QTest::newRow("two /64s of one /56")
            << QByteArray("2001:db8:0:ab01::1") << QByteArray("2001:db8:0:abff::1") << false << true;
        QTest::newRow("neighbouring /56s")
            << QByteArray("2001:db8:0:abff::1") << QByteArray("2001:db8:0:ac00::1") << false << false;
        QTest::newRow("IPv4 through an IPv6 socket")
            << QByteArray("::ffff:127.0.0.5") << QByteArray("127.0.0.5") << true << true;
    }
    void grouping() {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QFETCH(bool, sameAddress);
        QFETCH(bool, sameWide);
        const ConnectionBudget::Keys ka = keys(a.constData()), kb = keys(b.constData());
        QCOMPARE(ka.address == kb.address, sameAddress);
        QCOMPARE(ka.wide == kb.wide, sameWide);
        // IPv4 has no wider group; the two never share a key.
        QCOMPARE(ka.wide.empty(), !a.contains(':') || a.startsWith("::ffff:"));
        QVERIFY(ka.address != ka.wide);
    }

    // One host with a whole /56 fills no more than its /56's share, however many /64s it spreads over;
    // plenty of places stay for everyone else.
    void oneSlash56CannotFillTheServer() {
        ConnectionBudget budget({16, 64, 4096, 80});
        int admitted = 0;
        std::optional<ConnectionBudget::Victim> shed;
        for (int net = 0; net < 256; ++net)
            for (int host = 1; host <= 16; ++host)
                admitted += budget.admit(keys(inSlash56(net, host).c_str()), 0, 1, &shed) != 0;
        QCOMPARE(admitted, 64);
        QCOMPARE(budget.refused(), size_t(256 * 16 - 64));
        QVERIFY(budget.admit(keys("2001:db8:0:ac00::1"), 0, 1, &shed) != 0);
        QVERIFY(budget.admit(keys("127.0.0.1"), 0, 1, &shed) != 0);
    }

    void perAddress_data() {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<int>("admitted");
        QTest::newRow("IPv4") << QByteArray("127.0.0.9") << 16;
        QTest::newRow("IPv6 /64") << QByteArray("2001:db8:1:2::") << 16;
    }
    void perAddress() {
        QFETCH(QByteArray, from);
        QFETCH(int, admitted);
        ConnectionBudget budget({16, 64, 4096, 80});
        std::optional<ConnectionBudget::Victim> shed;
        std::vector<uint64_t> tickets;
        for (int i = 0; i < 40; ++i) {
            // Every host of one /64 counts as the same client.
            const QByteArray a = from.contains(':') ? from + QByteArray::number(i + 1, 16) : from;
            if (const uint64_t t = budget.admit(keys(a.constData()), 0, 1, &shed))
                tickets.push_back(t);
        }
        QCOMPARE(int(tickets.size()), admitted);
        // A place given back can be taken again.
        budget.release(tickets.front());
        QVERIFY(budget.admit(keys(from.contains(':') ? (from + "1").constData() : from.constData()), 0, 1,
                             &shed) != 0);
        QCOMPARE(budget.open(), size_t(admitted));
    }

    // Above 80 % of the bound every newcomer names the oldest stranger to end; proven connections and
    // those gone already are never named.
    void shedsTheOldestStranger() {
        ConnectionBudget budget({16, 64, 10, 80});
        std::optional<ConnectionBudget::Victim> shed;
        std::vector<uint64_t> tickets;
        for (int i = 0; i < 8; ++i) {
            const std::string a = "127.0.1." + std::to_string(i + 1);
            tickets.push_back(budget.admit(keys(a.c_str()), size_t(i % 3), uint64_t(100 + i), &shed));
            QVERIFY(tickets.back() != 0);
            QVERIFY(!shed); // at most 80 % held
        }
        budget.proven(tickets[0]);
        budget.release(tickets[1]);
        QVERIFY(budget.admit(keys("127.0.2.1"), 0, 200, &shed) != 0); // 8 of 10, no pressure yet
        QVERIFY(!shed);
        QVERIFY(budget.admit(keys("127.0.2.2"), 0, 201, &shed) != 0); // the 9th
        QVERIFY(shed);
        QCOMPARE(shed->conn, uint64_t(102)); // not the proven 100, nor 101 that went
        QCOMPARE(shed->loop, size_t(2));
        // Named once: the next newcomer names the next one, even before the first is released.
        QVERIFY(budget.admit(keys("127.0.2.3"), 0, 202, &shed) != 0);
        QVERIFY(shed);
        QCOMPARE(shed->conn, uint64_t(103));
    }

    // When every place is held by connections that completed requests, a newcomer is refused.
    void fullOfProvenConnectionsRefuses() {
        ConnectionBudget budget({16, 64, 4, 80});
        std::optional<ConnectionBudget::Victim> shed;
        for (int i = 0; i < 4; ++i) {
            const std::string a = "127.0.3." + std::to_string(i + 1);
            const uint64_t t = budget.admit(keys(a.c_str()), 0, uint64_t(i), &shed);
            QVERIFY(t != 0);
            budget.proven(t);
            QVERIFY(!shed);
        }
        QCOMPARE(budget.admit(keys("127.0.3.9"), 0, 9, &shed), uint64_t(0));
        QVERIFY(!shed);
        QCOMPARE(budget.refused(), size_t(1));
    }

    // The bound in all stays clear of the descriptors the process may open, whatever it is asked for.
    void boundInAllFitsTheDescriptorLimit_data() {
        QTest::addColumn<int>("soft");
        QTest::addColumn<int>("wanted");
        QTest::addColumn<int>("bound");
        QTest::newRow("ample limit keeps the wish") << 8192 << 4096 << 4096;
        QTest::newRow("64 kept for the rest") << 1024 << 4096 << 960;
        QTest::newRow("just above the floor") << 129 << 4096 << 65;
        QTest::newRow("small limit gets 64") << 128 << 4096 << 64;
        QTest::newRow("tiny limit gets 64") << 20 << 4096 << 64;
        QTest::newRow("a smaller wish stays") << 1024 << 100 << 100;
    }
    void boundInAllFitsTheDescriptorLimit() {
        QFETCH(int, soft);
        QFETCH(int, wanted);
        QFETCH(int, bound);
        rlimit before{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &before) == 0);
        if (before.rlim_max != RLIM_INFINITY && rlim_t(soft) > before.rlim_max)
            QSKIP("the hard limit is below this row's soft limit");
        rlimit lowered = before;
        lowered.rlim_cur = rlim_t(soft);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &lowered) == 0);
        const size_t got = ConnectionBudget::withinDescriptors(size_t(wanted));
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &before) == 0);
        QCOMPARE(got, size_t(bound));
    }
};

QTEST_GUILESS_MAIN(tst_ConnectionBudget)
#include "tst_ConnectionBudget.moc"
