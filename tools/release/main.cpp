// quillbay-release --tree DIR --version X.Y.Z --key SECRET --out DIR --url-base https://HOST/downloads/
#include "Release.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillbay-release"));
    return Release::run(app.arguments());
}
