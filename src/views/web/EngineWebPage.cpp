// The browser engine's page of a web tab. Built as a module of its own, loaded by the program when the
// first web tab is shown, so that an island without web tabs never maps or starts the engine.
#include <QCoreApplication>
#include <QOpenGLContext>
#include <QTimer>
#include <QUrl>
#include <QWebEngineHttpRequest>
#include <QWebEnginePage>
#include <QWebEngineView>

// Exported by Qt's GUI library; what Qt itself calls when it makes the shared context at start.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace {

// A page that does not answer within this time is stopped where it is.
constexpr int kLoadTimeoutMs = 60000;

// Web pages only: a link or redirect to a local file, or to another program's scheme, is not followed.
class WebOnlyPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        const QString scheme = url.scheme();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
            return true;
        // Frames inside a page may be blank or made from the page's own data.
        return !isMainFrame && (scheme == QLatin1String("about") || scheme == QLatin1String("data") ||
                                scheme == QLatin1String("blob"));
    }
};

// The engine draws with OpenGL contexts that share with one global context. Qt makes that context at
// start only when asked to before the application exists (the program asks when a web tab is stored), and
// it brings the whole OpenGL driver into memory for an island that may never show a web page; otherwise
// it is made here, before the first page, the way Qt would make it. The attribute itself can no longer
// be set once the application exists.
void ensureSharedContext() {
    if (QOpenGLContext::globalShareContext())
        return;
    auto* context = new QOpenGLContext(QCoreApplication::instance());
    context->setFormat(QSurfaceFormat::defaultFormat());
    context->create();
    qt_gl_set_global_share_context(context);
}

} // namespace

extern "C" Q_DECL_EXPORT QWidget* quillbay_make_web_page(const QUrl& url, QWidget* parent) {
    ensureSharedContext();
    auto* view = new QWebEngineView(parent);
    // The page keeps the engine's white base: a page that sets no background of its own is drawn as a
    // browser draws it, not as dark text on the island's black.
    view->setPage(new WebOnlyPage(view));

    auto* deadline = new QTimer(view);
    deadline->setSingleShot(true);
    deadline->setInterval(kLoadTimeoutMs);
    QObject::connect(deadline, &QTimer::timeout, view, &QWebEngineView::stop);
    QObject::connect(view, &QWebEngineView::loadFinished, deadline, &QTimer::stop);
    // Every new page asks the server again: a page shown anew or reloaded from the tab must not be the
    // cache's copy, nor join a load of the same address still under way in the page it replaces.
    QWebEngineHttpRequest request(url);
    request.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    request.setHeader(QByteArrayLiteral("Pragma"), QByteArrayLiteral("no-cache"));
    view->load(request);
    deadline->start();
    return view;
}
