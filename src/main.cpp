// Process entry.
#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    return app.exec();
}
