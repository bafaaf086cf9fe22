// Giving back clear pages of a pixel buffer: only whole pages that hold nothing but the clear pixel go,
// what every other byte holds stays, and shared memory really gets smaller.
#include "platform/BlankPages.h"

#include <QtTest>

#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::size_t kPage = std::size_t(sysconf(_SC_PAGESIZE));

// A mapping of `pages` pages, anonymous or of a memory file (the display server's kind), unmapped at the end.
struct Buffer {
    Buffer(std::size_t pages, bool shared)
        : bytes(pages * kPage) {
        if (shared) {
            fd = memfd_create("blank-pages-test", MFD_CLOEXEC);
            if (fd < 0 || ftruncate(fd, off_t(bytes)) != 0)
                return;
        }
        void* at = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                        shared ? MAP_SHARED : MAP_PRIVATE | MAP_ANONYMOUS, shared ? fd : -1, 0);
        data = at == MAP_FAILED ? nullptr : static_cast<unsigned char*>(at);
    }
    ~Buffer() {
        if (data)
            munmap(data, bytes);
        if (fd >= 0)
            close(fd);
    }
    Q_DISABLE_COPY_MOVE(Buffer)

    void fill(std::uint32_t pixel) {
        auto* words = reinterpret_cast<std::uint32_t*>(data);
        for (std::size_t i = 0; i < bytes / 4; ++i)
            words[i] = pixel;
    }
    // Bytes the memory file holds (the blocks the kernel allocated to it).
    long long heldBytes() const {
        struct stat st {};
        return fd >= 0 && fstat(fd, &st) == 0 ? (long long)st.st_blocks * 512 : -1;
    }

    std::size_t bytes;
    int fd = -1;
    unsigned char* data = nullptr;
};

} // namespace

class tst_BlankPages : public QObject {
    Q_OBJECT
private slots:
    void onlyWholeClearPagesGo_data();
    void onlyWholeClearPagesGo();
    void sharedMemoryGetsSmaller();
    void nothingToGiveBack();
};

void tst_BlankPages::onlyWholeClearPagesGo_data() {
    QTest::addColumn<bool>("shared");
    QTest::addColumn<quint32>("blank");
    QTest::newRow("anonymous, transparent") << false << quint32(0);
    QTest::newRow("anonymous, opaque black") << false << quint32(0xff000000u);
    QTest::newRow("memory file, transparent") << true << quint32(0);
    QTest::newRow("memory file, opaque black") << true << quint32(0xff000000u);
}

void tst_BlankPages::onlyWholeClearPagesGo() {
    QFETCH(bool, shared);
    QFETCH(quint32, blank);
    Buffer buffer(8, shared);
    QVERIFY(buffer.data);
    buffer.fill(blank);
    // Page 2 differs in its first byte, page 4 in its last, page 6 in one byte of a pixel's alpha only.
    buffer.data[2 * kPage] ^= 0x01;
    buffer.data[5 * kPage - 1] ^= 0x80;
    buffer.data[6 * kPage + 1001] ^= 0x40;
    const std::vector<unsigned char> before(buffer.data, buffer.data + buffer.bytes);

    // Handed over from the middle of page 0 to the middle of page 7: those two are not whole.
    const std::size_t from = kPage / 2;
    const std::size_t released = releaseBlankPages(buffer.data + from, buffer.bytes - kPage, blank);
    QCOMPARE(released, 3 * kPage); // pages 1, 3 and 5

    for (std::size_t page = 0; page < 8; ++page) {
        const bool gone = page == 1 || page == 3 || page == 5;
        for (std::size_t i = page * kPage; i < (page + 1) * kPage; ++i) {
            const unsigned char expected = gone ? 0 : before[i];
            if (buffer.data[i] != expected)
                QFAIL(qPrintable(QStringLiteral("byte %1 of page %2 is %3, not %4")
                                     .arg(i - page * kPage)
                                     .arg(page)
                                     .arg(buffer.data[i])
                                     .arg(expected)));
        }
    }
    // The buffer goes on working: a page given back takes new pixels.
    buffer.data[3 * kPage + 7] = 0x5a;
    QCOMPARE(buffer.data[3 * kPage + 7], 0x5a);
}

void tst_BlankPages::sharedMemoryGetsSmaller() {
    Buffer buffer(64, true);
    QVERIFY(buffer.data);
    buffer.fill(0xff000000u);
    std::memset(buffer.data, 0x11, kPage); // one page of something drawn
    const long long held = buffer.heldBytes();
    QVERIFY(held >= (long long)buffer.bytes);
    QCOMPARE(releaseBlankPages(buffer.data, buffer.bytes, 0xff000000u), 63 * kPage);
    QVERIFY2(buffer.heldBytes() <= (long long)kPage, qPrintable(QString::number(buffer.heldBytes())));
    // Looking at the pages again (a second pass) gives the same answer and keeps them given back.
    QCOMPARE(releaseBlankPages(buffer.data, buffer.bytes, 0), 63 * kPage);
    QVERIFY(buffer.heldBytes() <= (long long)kPage);
    QCOMPARE(buffer.data[0], 0x11);
}

void tst_BlankPages::nothingToGiveBack() {
    QCOMPARE(releaseBlankPages(nullptr, 1 << 20, 0), std::size_t(0));
    std::vector<unsigned char> small(kPage - 1, 0);
    QCOMPARE(releaseBlankPages(small.data(), small.size(), 0), std::size_t(0));
    Buffer buffer(4, false);
    QVERIFY(buffer.data);
    buffer.fill(0x00ffffffu);
    QCOMPARE(releaseBlankPages(buffer.data, buffer.bytes, 0xff000000u), std::size_t(0));
    QCOMPARE(releaseBlankPages(buffer.data, 0, 0x00ffffffu), std::size_t(0));
}

QTEST_APPLESS_MAIN(tst_BlankPages)
#include "tst_BlankPages.moc"
