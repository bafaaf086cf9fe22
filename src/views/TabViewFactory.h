// Makes the view of a dashboard tab: one line per tab in makeTabView, so that each tab's view
// plugs in as it is written.
#pragma once

#include "model/TabSelection.h"

#include <functional>

class DashboardModel;
class QWidget;

// The view of `selection`, each given the services it shows: a tab without a view yet shows a hint
// with its name; a custom tab that no longer exists gives nothing (null).
QWidget* makeTabView(const TabSelection& selection, DashboardModel& model, QWidget* parent);

// What the dashboard makes its tab views with; makeTabView unless a test hands in another.
using TabViewFactory = std::function<QWidget*(const TabSelection&, DashboardModel&, QWidget* parent)>;
