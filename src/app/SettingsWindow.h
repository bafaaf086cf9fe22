// The settings window's frame: a normal top-level window that keeps its place and size in the user
// defaults, and only hides when closed so that the next opening shows the same window.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class Defaults;

class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr auto kAutosaveName = "QuillbaySettingsWindow";

    // Centred on the primary screen the first time; afterwards where the user left it.
    explicit SettingsWindow(Defaults& defaults, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // The window's content; the window takes ownership and drops the previous one (deleted once control
    // is back in the event loop). Null leaves the window empty.
    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }

    // Shows the window in front and asks for the keyboard.
    void present();
    // Writes the current frame to the defaults now.
    void saveFrame();

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool restoreFrame();

    Defaults& m_defaults;
    QPointer<QWidget> m_content;
    QTimer m_saveSoon;
    bool m_restoring = false;
};
