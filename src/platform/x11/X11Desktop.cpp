// xcb helpers for the island's panel; see X11Desktop.h.
#include "platform/x11/X11Desktop.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>

namespace X11Desktop {

namespace {

// The X screen of $DISPLAY (":0.1" is screen 1), which is also the one Qt connected to.
int screenNumber() {
    static const int number = [] {
        int screen = 0;
        char* host = nullptr;
        int display = 0;
        if (xcb_parse_display(nullptr, &host, &display, &screen))
            free(host);
        return screen;
    }();
    return number;
}

} // namespace

xcb_connection_t* connection() {
    // qGuiApp casts whatever application there is; a program without a GUI has no connection to share.
    auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* app = gui ? gui->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return app ? app->connection() : nullptr;
}

WId rootWindow() {
    xcb_connection_t* c = connection();
    if (!c)
        return 0;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem && i < screenNumber(); ++i)
        xcb_screen_next(&it);
    return it.rem ? it.data->root : 0;
}

bool ConnectionFacts::xfixes(xcb_connection_t* c) {
    follow(c);
    if (!m_fixesAsked) {
        m_fixesAsked = true;
        xcb_xfixes_query_version_reply_t* r = xcb_xfixes_query_version_reply(
            c, xcb_xfixes_query_version(c, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION), nullptr);
        m_fixes = r && r->major_version >= 2;
        free(r);
    }
    return m_fixes;
}

xcb_atom_t ConnectionFacts::compositorSelection(xcb_connection_t* c) {
    follow(c);
    if (m_compositorSelection == XCB_ATOM_NONE)
        m_compositorSelection = internCompositorSelection(c);
    return m_compositorSelection;
}

void ConnectionFacts::follow(xcb_connection_t* c) {
    if (c == m_connection)
        return;
    *this = ConnectionFacts();
    m_connection = c;
}

bool setInputShape(WId window, const QRect& region, ConnectionFacts& facts) {
    xcb_connection_t* c = connection();
    if (!c || !window || !facts.xfixes(c))
        return false;
    const auto id = xcb_generate_id(c);
    xcb_rectangle_t rect{};
    const bool empty = region.isEmpty();
    if (!empty)
        rect = {qint16(region.x()), qint16(region.y()), quint16(region.width()), quint16(region.height())};
    xcb_xfixes_create_region(c, id, empty ? 0 : 1, &rect);
    xcb_xfixes_set_window_shape_region(c, xcb_window_t(window), XCB_SHAPE_SK_INPUT, 0, 0, id);
    xcb_xfixes_destroy_region(c, id);
    xcb_flush(c);
    return true;
}

bool clearBoundingShape(WId window) {
    xcb_connection_t* c = connection();
    if (!c || !window)
        return false;
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED,
                         xcb_window_t(window), 0, 0, 0, nullptr);
    xcb_flush(c);
    return true;
}

namespace {

// The root's children, bottom to top; empty when they cannot be read.
QList<xcb_window_t> rootChildren(xcb_connection_t* c, WId root) {
    QList<xcb_window_t> children;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, xcb_window_t(root)), nullptr);
    if (!tree)
        return children;
    const xcb_window_t* list = xcb_query_tree_children(tree);
    const int count = xcb_query_tree_children_length(tree);
    children.reserve(count);
    for (int i = 0; i < count; ++i)
        children.append(list[i]);
    free(tree);
    return children;
}

} // namespace

bool managedWindowAbove(WId window, const QList<WId>& except) {
    xcb_connection_t* c = connection();
    const WId root = rootWindow();
    if (!c || !root || !window)
        return false;
    const QList<xcb_window_t> children = rootChildren(c, root);
    bool above = false;
    // Children come bottom to top; walk down from the top until our own window.
    for (qsizetype i = children.size() - 1; i >= 0 && children[i] != xcb_window_t(window) && !above; --i) {
        if (except.contains(WId(children[i])))
            continue;
        xcb_get_window_attributes_reply_t* a =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr);
        above = a && a->map_state == XCB_MAP_STATE_VIEWABLE && !a->override_redirect;
        free(a);
    }
    return above;
}

WId topLevelOf(WId window) {
    xcb_connection_t* c = connection();
    if (!c || !window)
        return 0;
    // Frames nest at most a few levels deep; the bound only guards against a broken tree.
    for (int depth = 0; depth < 16; ++depth) {
        xcb_query_tree_reply_t* t = xcb_query_tree_reply(c, xcb_query_tree(c, xcb_window_t(window)), nullptr);
        if (!t)
            return 0;
        const xcb_window_t parent = t->parent;
        const xcb_window_t root = t->root;
        free(t);
        if (parent == root || parent == XCB_NONE)
            return window;
        window = parent;
    }
    return 0;
}

bool stackDirectlyBelow(WId window, WId sibling) {
    xcb_connection_t* c = connection();
    if (!c || !window || !sibling || window == sibling)
        return false;
    const QList<xcb_window_t> children = rootChildren(c, rootWindow());
    const qsizetype at = children.indexOf(xcb_window_t(window));
    const qsizetype siblingAt = children.indexOf(xcb_window_t(sibling));
    if (at < 0 || siblingAt < 0 || at == siblingAt - 1)
        return false; // not both on the root, or already in place (a restack would notify again)
    const uint32_t values[] = {uint32_t(sibling), XCB_STACK_MODE_BELOW};
    xcb_configure_window(c, xcb_window_t(window), XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE,
                         values);
    xcb_flush(c);
    return true;
}

bool isViewable(WId window) {
    xcb_connection_t* c = connection();
    if (!c || !window)
        return false;
    xcb_get_window_attributes_reply_t* a =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, xcb_window_t(window)), nullptr);
    const bool viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
    free(a);
    return viewable;
}

std::optional<quint32> inputFocus() {
    xcb_connection_t* c = connection();
    if (!c)
        return std::nullopt;
    xcb_get_input_focus_reply_t* r = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    if (!r)
        return std::nullopt;
    const quint32 focus = r->focus;
    free(r);
    return focus;
}

void setInputFocus(quint32 window) {
    xcb_connection_t* c = connection();
    if (!c)
        return;
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    xcb_flush(c);
}

bool windowExists(quint32 window) {
    xcb_connection_t* c = connection();
    if (!c || window <= XCB_INPUT_FOCUS_POINTER_ROOT)
        return false;
    xcb_get_window_attributes_reply_t* r =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const bool viewable = r && r->map_state == XCB_MAP_STATE_VIEWABLE;
    free(r);
    return viewable;
}

bool showOnAllDesktops(WId window) {
    xcb_connection_t* c = connection();
    if (!c || !window)
        return false;
    static const QByteArray name = QByteArrayLiteral("_NET_WM_DESKTOP");
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, quint16(name.size()), name.constData()), nullptr);
    if (!atom)
        return false;
    const quint32 all = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(window), atom->atom, XCB_ATOM_CARDINAL, 32, 1,
                        &all);
    free(atom);
    xcb_flush(c);
    return true;
}

xcb_atom_t internCompositorSelection(xcb_connection_t* c) {
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screenNumber());
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, quint16(name.size()), name.constData()), nullptr);
    if (!atom)
        return XCB_ATOM_NONE;
    const xcb_atom_t selection = atom->atom;
    free(atom);
    return selection;
}

bool compositorRunning(ConnectionFacts& facts) {
    xcb_connection_t* c = connection();
    if (!c)
        return false;
    const xcb_atom_t selection = facts.compositorSelection(c);
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool running = owner && owner->owner != XCB_NONE;
    free(owner);
    return running;
}

xcb_connection_t* openPrivateConnection() {
    xcb_connection_t* qt = connection();
    const WId root = rootWindow();
    if (!qt || !root)
        return nullptr;
    int screen = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem && i < screen; ++i)
        xcb_screen_next(&it);
    const xcb_setup_t* mine = xcb_get_setup(c);
    const xcb_setup_t* theirs = xcb_get_setup(qt);
    const bool same = it.rem && it.data->root == xcb_window_t(root) &&
                      mine->release_number == theirs->release_number &&
                      mine->vendor_len == theirs->vendor_len &&
                      xcb_setup_roots_length(mine) == xcb_setup_roots_length(theirs);
    if (!same) {
        xcb_disconnect(c);
        return nullptr;
    }
    return c;
}

bool drainEvents(xcb_connection_t* c) {
    bool any = false;
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
        any = true;
        free(e);
    }
    return any;
}

} // namespace X11Desktop

std::unique_ptr<X11DesktopWatch> X11DesktopWatch::create(QObject* parent) {
    xcb_connection_t* qt = X11Desktop::connection();
    const WId root = X11Desktop::rootWindow();
    if (!qt || !root)
        return nullptr;
    const xcb_atom_t selection = X11Desktop::internCompositorSelection(qt); // atoms are server-wide
    xcb_connection_t* c = selection == XCB_ATOM_NONE ? nullptr : X11Desktop::openPrivateConnection();
    if (!c)
        return nullptr;
    xcb_xfixes_query_version_reply_t* v = xcb_xfixes_query_version_reply(
        c, xcb_xfixes_query_version(c, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION), nullptr);
    const bool fixes = v && v->major_version >= 1;
    free(v);
    if (!fixes) {
        xcb_disconnect(c);
        return nullptr;
    }
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, xcb_window_t(root), XCB_CW_EVENT_MASK, &mask);
    xcb_xfixes_select_selection_input(c, xcb_window_t(root), selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(c);
    return std::unique_ptr<X11DesktopWatch>(new X11DesktopWatch(c, parent));
}

X11DesktopWatch::X11DesktopWatch(xcb_connection_t* connection, QObject* parent)
    : QObject(parent)
    , m_connection(connection)
    , m_notifier(new QSocketNotifier(xcb_get_file_descriptor(connection), QSocketNotifier::Read, this)) {
    connect(m_notifier, &QSocketNotifier::activated, this, &X11DesktopWatch::drain);
}

X11DesktopWatch::~X11DesktopWatch() {
    delete m_notifier;
    xcb_disconnect(m_connection);
}

void X11DesktopWatch::drain() {
    const bool any = X11Desktop::drainEvents(m_connection);
    if (xcb_connection_has_error(m_connection))
        m_notifier->setEnabled(false); // the server is gone; Qt notices that on its own
    if (any)
        emit changed();
}
