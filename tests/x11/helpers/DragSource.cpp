// Another program's window that drags files, for the island's drop tests: a press and a move on it start a
// drag of the files named on the command line (with XDND, as a file manager's drag does). Prints "ready"
// once shown, "dragging" when the drag starts and "ended <action>" when it is over.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

class Source : public QWidget {
public:
    explicit Source(QList<QUrl> files)
        : m_files(std::move(files)) {}

protected:
    void mousePressEvent(QMouseEvent* e) override { m_pressAt = e->position().toPoint(); }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (m_dragged || !(e->buttons() & Qt::LeftButton) ||
            (e->position().toPoint() - m_pressAt).manhattanLength() < QApplication::startDragDistance())
            return;
        m_dragged = true;
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setUrls(m_files);
        drag->setMimeData(mime);
        std::printf("dragging\n");
        std::fflush(stdout);
        const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
        std::printf("ended %d\n", int(action));
        std::fflush(stdout);
    }

private:
    QList<QUrl> m_files;
    QPoint m_pressAt;
    bool m_dragged = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QList<QUrl> files;
    for (int i = 1; i < argc; ++i)
        files << QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i]));
    Source source(files);
    source.setWindowTitle(QStringLiteral("drag-source"));
    source.setWindowFlag(Qt::X11BypassWindowManagerHint);
    source.setGeometry(100, 700, 200, 200);
    source.show();
    QTimer::singleShot(200, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    return app.exec();
}
