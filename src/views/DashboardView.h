// The expanded island's content: the tab bar with the settings and quit buttons, the selected tab's
// view, the command palette over them, and file drops onto the shelf.
#pragma once

#include "model/TabSelection.h"
#include "views/TabViewFactory.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class DashboardModel;
class PaletteOverlay;
class PaletteView;
class QMimeData;
class QScrollArea;
class QVBoxLayout;
class QAbstractButton;
class TabStrip;

class DashboardView : public QWidget {
    Q_OBJECT
public:
    explicit DashboardView(DashboardModel& model, QWidget* parent = nullptr);
    DashboardView(DashboardModel& model, TabViewFactory factory, QWidget* parent = nullptr);
    ~DashboardView() override;

    struct TabInfo {
        QString title;
        QString icon;
    };
    // What a tab button shows; nothing for a custom tab that no longer exists.
    std::optional<TabInfo> tabInfo(const TabSelection& selection) const;

    // The local files of a drop, in order; web addresses and other items are left out.
    static QList<QUrl> localFiles(const QMimeData* mime);
    // Sends each local file to the shelf on its own, from the event loop, each followed by selecting the
    // Shelf tab. False (and nothing changes) when the drop holds no local file.
    bool handleFileDrop(const QMimeData* mime);

    // Gives the keyboard to what typing should reach: the palette's field while the palette is open,
    // else the selected tab's field (the one last used, or its first). It holds from this call on, also
    // while the dashboard is not on screen yet, so nothing typed during the island's opening is lost or
    // lands in a field of another moment.
    void takeKeyboard();

    // What the quit button and the palette's quit entry call with the number of running services;
    // by default the quit question placed under the island.
    void setQuitHandler(std::function<void(int runningServices)> handler);

    // The bar's button of a tab; checked while it is the selected tab.
    QAbstractButton* tabButton(const TabSelection& selection) const;
    QWidget* tabContent() const { return m_content; }
    PaletteView* palette() const;
    QScrollArea* tabScroll() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void syncTabButtons();
    void showSelectedContent();
    void pressTab(const TabSelection& selection);
    void quit();
    void installPalette();
    // The first enabled text field of the selected tab in focus order, or null.
    QWidget* firstTextField() const;

    DashboardModel& m_model;
    TabViewFactory m_factory;
    std::function<void(int)> m_quitHandler;

    TabStrip* m_strip = nullptr;

    QVBoxLayout* m_contentLayout = nullptr;
    QPointer<QWidget> m_content;
    bool m_contentTabExisted = false;

    PaletteOverlay* m_palette = nullptr;
};
