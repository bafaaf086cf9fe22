// The quit question and its placement under the island.
#include "views/AppQuit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace AppQuit {

namespace {

class MessageBoxPrompt final : public Prompt {
public:
    explicit MessageBoxPrompt(QWidget* island)
        : m_island(island) {}

    bool confirm(const QString& message, const QString& informative) override {
        QMessageBox box;
        box.setIcon(QMessageBox::Warning);
        box.setWindowTitle(QStringLiteral("Quillbay"));
        box.setText(message);
        box.setInformativeText(informative);
        QPushButton* quit =
            box.addButton(QCoreApplication::translate("AppQuit", "Quit"), QMessageBox::AcceptRole);
        box.addButton(QCoreApplication::translate("AppQuit", "Cancel"), QMessageBox::RejectRole);
        box.setDefaultButton(quit);
        // The island is an override-redirect overlay above managed windows; stay on top and sit
        // below its panel rather than counting on stacking order alone.
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
        box.adjustSize();
        place(box);
        box.show();
        box.raise();
        box.activateWindow();
        box.exec();
        return box.clickedButton() == quit;
    }

private:
    void place(QWidget& box) const {
        const QWidget* panel = m_island ? m_island->window() : nullptr;
        QScreen* screen = panel && panel->screen() ? panel->screen() : QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect area = screen->availableGeometry();
        const QSize size = box.sizeHint().expandedTo(box.size());
        int top = area.top() + (area.height() - size.height()) / 2;
        if (panel && panel->isVisible())
            top = panel->frameGeometry().bottom() + 1;
        const int left = area.left() + (area.width() - size.width()) / 2;
        top = qBound(area.top(), top, qMax(area.top(), area.bottom() - size.height()));
        box.move(left, top);
    }

    QWidget* m_island;
};

} // namespace

QString informativeText(int runningServices) {
    QString text = QCoreApplication::translate(
        "AppQuit", "The island leaves the notch and the camera mirror turns off. ");
    if (runningServices >= 1) {
        // One text with the count in it, so that a translation may move the number.
        text +=
            QCoreApplication::translate(
                "AppQuit", "%lld service(s) you started keep running in the background, and show up again "
                           "when you reopen. ")
                .replace(QLatin1String("%lld"), QString::number(runningServices));
    }
    text += QCoreApplication::translate("AppQuit", "Reopen it from Launchpad whenever you want.");
    return text;
}

bool confirmAndTerminate(int runningServices, Prompt& prompt) {
    if (!prompt.confirm(QCoreApplication::translate("AppQuit", "Quit Quillbay?"),
                        informativeText(runningServices)))
        return false;
    // Only the event loop ends; children started as saved services live in their own sessions.
    QCoreApplication::quit();
    return true;
}

bool confirmAndTerminate(int runningServices, QWidget* island) {
    MessageBoxPrompt prompt(island);
    return confirmAndTerminate(runningServices, prompt);
}

} // namespace AppQuit
