// How web tabs make the widget that shows a page: the program hands in the browser engine's, tests a
// stand-in, so that nothing but the program and its web tests starts the engine.
#pragma once

#include <QUrl>

#include <functional>

class QWidget;

// Makes a widget that loads `url` once; deleting the widget ends the page.
using WebPageFactory = std::function<QWidget*(const QUrl& url, QWidget* parent)>;

// The factory web tabs use; empty until the program sets it at start.
const WebPageFactory& webPageFactory();
void setWebPageFactory(WebPageFactory factory);
