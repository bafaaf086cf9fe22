// A window of another program for the quick-paste tests: one line edit that prints every text it gets.
// Prints "ready" once the window is shown.
#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLineEdit edit;
    edit.setWindowTitle(QStringLiteral("paste-target"));
    edit.resize(400, 40);
    edit.move(100, 400);
    QObject::connect(&edit, &QLineEdit::textChanged, [](const QString& text) {
        std::printf("text:%s\n", text.toUtf8().constData());
        std::fflush(stdout);
    });
    edit.show();
    edit.activateWindow();
    QTimer::singleShot(200, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    return app.exec();
}
