// The Shelf tab over a real service: the empty state and the trash button, emptying and removing,
// what a row's drag offers, the clipboard's forms, and the buttons' hand-over to the desktop.
#include "fakes/FakeClock.h"
#include "fakes/FakeFileRevealer.h"
#include "fakes/FakeFileSender.h"
#include "fakes/FakePasteboard.h"
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "services/ShelfService.h"
#include "views/IconButton.h"
#include "views/ShelfTab.h"

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QtTest>

#include <memory>

namespace {

IconButton* button(QWidget* row, const QString& help) {
    for (IconButton* b : row->findChildren<IconButton*>())
        if (b->help() == help)
            return b;
    return nullptr;
}

QList<QWidget*> rows(QWidget& tab) {
    QList<QWidget*> out;
    for (QWidget* w : tab.findChildren<QWidget*>(QStringLiteral("shelfRow")))
        if (!w->isHidden())
            out << w;
    std::sort(out.begin(), out.end(), [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
    return out;
}

QString rowName(QWidget* row) {
    return row->findChild<QWidget*>(QStringLiteral("shelfName"))->toolTip();
}

} // namespace

class tst_ShelfTab : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_files;
    FakeClock m_clock;
    FakeFileRevealer m_revealer;
    FakeFileSender m_sender;
    FakePasteboard m_pasteboard;
    std::unique_ptr<ShelfService> m_shelf;
    std::unique_ptr<ShelfTab> m_tab;

    QString make(const QString& name) {
        const QString path = m_files->filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        return path;
    }
    [[nodiscard]] bool show() {
        return TestSupport::passes([&] {
            m_tab = std::make_unique<ShelfTab>(*m_shelf);
            m_tab->resize(640, 280);
            m_tab->show();
            QVERIFY(QTest::qWaitForWindowExposed(m_tab.get()));
        });
    }

private slots:
    void initTestCase() { m_home = TestSupport::isolateHome(); }
    void init() {
        m_files = std::make_unique<QTemporaryDir>();
        QFile::remove(m_home->filePath("shelf.json"));
        m_revealer.revealed.clear();
        m_sender.sent.clear();
        m_pasteboard.writtenFiles.clear();
        m_shelf = std::make_unique<ShelfService>(m_clock, m_home->filePath("shelf.json"),
                                                 ShelfService::Seams{m_revealer, m_sender, m_pasteboard});
    }
    void cleanup() {
        m_tab.reset();
        m_shelf.reset();
    }

    void emptyShelfShowsOnlyCaptionAndHint() {
        QVERIFY(show());
        QVERIFY(m_tab->findChild<QWidget*>("shelfEmpty")->isVisible());
        QVERIFY(!m_tab->findChild<QWidget*>("shelfTrash")->isVisible());
        QVERIFY(rows(*m_tab).isEmpty());

        m_shelf->add({QUrl::fromLocalFile(make("a.txt"))});
        QVERIFY(!m_tab->findChild<QWidget*>("shelfEmpty")->isVisible());
        QVERIFY(m_tab->findChild<QWidget*>("shelfTrash")->isVisible());
        QTRY_COMPARE(rows(*m_tab).size(), 1);
    }

    void rowsAreNewestFirstAndTrashEmptiesAtOnce() {
        const QString a = make("a.txt"), b = make("b.txt");
        m_shelf->add({QUrl::fromLocalFile(a)});
        m_shelf->add({QUrl::fromLocalFile(b)});
        QVERIFY(show());
        QList<QWidget*> shown = rows(*m_tab);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(rowName(shown[0]), QString("b.txt"));
        QCOMPARE(rowName(shown[1]), QString("a.txt"));

        QTest::mouseClick(m_tab->findChild<QWidget*>("shelfTrash"), Qt::LeftButton);
        QTRY_VERIFY(m_shelf->items().isEmpty());
        QTRY_VERIFY(rows(*m_tab).isEmpty());
        QVERIFY(m_tab->findChild<QWidget*>("shelfEmpty")->isVisible());
        QFile store(m_home->filePath("shelf.json"));
        QVERIFY(store.open(QIODevice::ReadOnly));
        QCOMPARE(store.readAll(), QByteArray("[]"));
        QVERIFY(QFile::exists(a) && QFile::exists(b));
    }

    void removeTakesOnlyItsRow() {
        const QString a = make("a.txt"), b = make("b.txt"), c = make("c.txt");
        m_shelf->add({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b), QUrl::fromLocalFile(c)});
        QVERIFY(show());
        QWidget* middle = rows(*m_tab).at(1);
        QCOMPARE(rowName(middle), QString("b.txt"));
        QTest::mouseClick(button(middle, "Remove from shelf"), Qt::LeftButton);
        QTRY_COMPARE(rows(*m_tab).size(), 2);
        QCOMPARE(rowName(rows(*m_tab).at(0)), QString("c.txt"));
        QCOMPARE(rowName(rows(*m_tab).at(1)), QString("a.txt"));
        QVERIFY(QFile::exists(b));
    }

    void buttonsHandTheFileOn() {
        const QString a = make("a.txt");
        m_shelf->add({QUrl::fromLocalFile(a)});
        QVERIFY(show());
        QWidget* row = rows(*m_tab).constFirst();
        for (const char* help : {"Send via AirDrop", "Copy file", "Show in Finder", "Remove from shelf"})
            QVERIFY2(button(row, help), help);
        QTest::mouseClick(button(row, "Show in Finder"), Qt::LeftButton);
        QTest::mouseClick(button(row, "Send via AirDrop"), Qt::LeftButton);
        QCOMPARE(m_revealer.revealed, QStringList{a});
        QCOMPARE(m_sender.sent, QStringList{a});

        // Through the clipboard seam, as the file alone (the forms it is served in: tst_X11Pasteboard).
        m_pasteboard.copy(QStringLiteral("before"));
        QTest::mouseClick(button(row, "Copy file"), Qt::LeftButton);
        QCOMPARE(m_pasteboard.writtenFiles, QList<QStringList>{QStringList{a}});
        QVERIFY(!m_pasteboard.text()); // the earlier text is gone, not mixed in
        QVERIFY(m_pasteboard.written.isEmpty());
    }

    // A drag from a row offers a copy only, so no file manager can move the file away.
    void dragOffersOnlyACopy() {
        const QString a = make("a.txt");
        m_shelf->add({QUrl::fromLocalFile(a)});
        QVERIFY(show());
        Qt::DropActions offered;
        QList<QUrl> urls;
        QByteArray gnome;
        int drags = 0;
        m_tab->setDragRunner([&](QDrag& drag, Qt::DropActions actions) {
            ++drags;
            offered = actions;
            urls = drag.mimeData()->urls();
            gnome = drag.mimeData()->data("x-special/gnome-copied-files");
            // The file is dropped and the shelf changes under the drag: the row must survive it.
            m_shelf->clear();
            return Qt::CopyAction;
        });
        QWidget* row = rows(*m_tab).constFirst();
        const QPoint from(row->width() / 3, row->height() / 2);
        QTest::mousePress(row, Qt::LeftButton, {}, from);
        QTest::mouseMove(row, from + QPoint(QApplication::startDragDistance() + 5, 0));
        QTest::mouseRelease(row, Qt::LeftButton, {}, from + QPoint(QApplication::startDragDistance() + 5, 0));
        QCOMPARE(drags, 1);
        QCOMPARE(offered, Qt::DropActions(Qt::CopyAction));
        QVERIFY(!(offered & Qt::MoveAction));
        QCOMPARE(urls, QList<QUrl>{QUrl::fromLocalFile(a)});
        QVERIFY(gnome.startsWith("copy\n"));
        QTRY_VERIFY(rows(*m_tab).isEmpty()); // the change made during the drag shows once it ends
        QVERIFY(QFile::exists(a));
    }

    void aShortMoveIsNoDrag() {
        m_shelf->add({QUrl::fromLocalFile(make("a.txt"))});
        QVERIFY(show());
        int drags = 0;
        m_tab->setDragRunner([&](QDrag&, Qt::DropActions) {
            ++drags;
            return Qt::IgnoreAction;
        });
        QWidget* row = rows(*m_tab).constFirst();
        const QPoint from(row->width() / 3, row->height() / 2);
        QTest::mousePress(row, Qt::LeftButton, {}, from);
        QTest::mouseMove(row, from + QPoint(1, 0));
        QTest::mouseRelease(row, Qt::LeftButton, {}, from + QPoint(1, 0));
        QCOMPARE(drags, 0);
    }

    // A vanished file still shows, with the generic icon and its name.
    void missingFilesStillShow() {
        const QString gone = make("gone.txt");
        m_shelf->add({QUrl::fromLocalFile(gone)});
        QVERIFY(QFile::remove(gone));
        QVERIFY(show());
        QWidget* row = rows(*m_tab).constFirst();
        QCOMPARE(rowName(row), QString("gone.txt"));
        QVERIFY(!row->findChild<QLabel*>("shelfIcon")->pixmap().isNull());
        QCOMPARE(row->findChild<QWidget*>("shelfFolder")->toolTip(), m_files->path());
    }
};

QTEST_MAIN(tst_ShelfTab)
#include "tst_ShelfTab.moc"
