// The asynchronous lookup runs on a main context private to the calling thread, so that the wait can be
// cut short by the time-out or the stop flag (the synchronous call could hang on a keyring that never
// answers). GLib's own headers are kept out of the rest of the program.
#include "platform/libsecret/LibsecretStore.h"

// libsecret's header uses "signals" as a field name, which Qt defines as a keyword.
#undef signals
#include <libsecret/secret.h>

namespace {

// Any item with a "service" attribute, whatever schema stored it.
const SecretSchema kServiceSchema = {
    "org.freedesktop.Secret.Generic",
    SECRET_SCHEMA_DONT_MATCH_NAME,
    {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr};

struct Pending {
    bool done = false;
    std::optional<QByteArray> secret;
};

// Takes the first secret that came loaded: a locked item has none, and is never unlocked here (that
// would put a password prompt in front of the user on a background refresh).
void finished(GObject*, GAsyncResult* result, gpointer data) {
    auto* pending = static_cast<Pending*>(data);
    GError* error = nullptr;
    GList* items = secret_service_search_finish(nullptr, result, &error);
    if (error)
        g_error_free(error);
    for (GList* i = items; i; i = i->next) {
        SecretValue* value = secret_item_get_secret(SECRET_ITEM(i->data));
        if (!value)
            continue;
        gsize length = 0;
        const gchar* bytes = secret_value_get(value, &length);
        if (!pending->secret && bytes)
            pending->secret = QByteArray(bytes, qsizetype(length));
        secret_value_unref(value);
    }
    g_list_free_full(items, g_object_unref);
    pending->done = true;
}

// Wakes the loop now and then to look at the stop flag and the clock.
constexpr guint kPollMs = 50;

gboolean wake(gpointer) {
    return G_SOURCE_CONTINUE;
}

} // namespace

std::optional<QByteArray> LibsecretStore::lookup(const QString& service, int timeoutMs,
                                                 const std::atomic_bool& stop) const {
    if (stop.load())
        return std::nullopt;
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GCancellable* cancellable = g_cancellable_new();
    Pending pending;
    const QByteArray name = service.toUtf8();
    GHashTable* attributes = secret_attributes_build(&kServiceSchema, "service", name.constData(),
                                                     static_cast<const char*>(nullptr));
    secret_service_search(nullptr, &kServiceSchema, attributes,
                          SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS), cancellable,
                          finished, &pending);
    g_hash_table_unref(attributes);
    GSource* ticker = g_timeout_source_new(kPollMs);
    g_source_set_callback(ticker, wake, nullptr, nullptr);
    g_source_attach(ticker, context);
    const gint64 deadline = g_get_monotonic_time() + gint64(timeoutMs) * 1000;
    bool cancelled = false;
    while (!pending.done) {
        if (!cancelled && (stop.load() || g_get_monotonic_time() >= deadline)) {
            // The operation ends with a cancellation error, delivered through the loop like any answer.
            g_cancellable_cancel(cancellable);
            cancelled = true;
        }
        g_main_context_iteration(context, TRUE);
    }
    g_source_destroy(ticker);
    g_source_unref(ticker);
    g_object_unref(cancellable);
    // Finish whatever the lookup left queued on this context before it goes.
    while (g_main_context_pending(context))
        g_main_context_iteration(context, FALSE);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);

    if (cancelled)
        return std::nullopt;
    return pending.secret;
}
