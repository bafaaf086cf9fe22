// The user-defaults store: values live in memory; the whole object is rewritten once per save window by
// a worker that receives the serialized bytes, never the map itself.
#include "services/Defaults.h"

#include "services/AppPaths.h"
#include "services/DefaultsWriter.h"
#include "services/Log.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTimer>

#include <cmath>
#include <limits>

namespace {

// Truncates toward zero like a user-defaults integer read; out-of-range values saturate.
qint64 truncated(double d) {
    if (std::isnan(d))
        return 0;
    if (d >= 9223372036854775807.0)
        return std::numeric_limits<qint64>::max();
    if (d <= -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(d);
}

std::optional<double> numberFromString(const QString& text) {
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return d;
}

class QtSaveTimer final : public Defaults::SaveTimer {
public:
    QtSaveTimer() {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_fire)
                m_fire();
        });
    }
    void start(int ms, std::function<void()> fire) override {
        m_fire = std::move(fire);
        m_timer.start(ms);
    }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_fire;
};

} // namespace

Defaults::Defaults(QString filePath, QObject* parent)
    : Defaults(std::move(filePath), std::make_unique<QtSaveTimer>(), parent) {}

Defaults::Defaults(QString filePath, std::unique_ptr<SaveTimer> timer, QObject* parent)
    : QObject(parent)
    , m_filePath(std::move(filePath))
    , m_timer(std::move(timer))
    , m_writer(std::make_unique<DefaultsWriter>(m_filePath)) {
    load();
}

Defaults::~Defaults() {
    flush();
}

void Defaults::load() {
    using Status = AppPaths::StoreRead::Status;
    const AppPaths::StoreRead read = AppPaths::readStore(m_filePath);
    bool decoded = false;
    if (read.status == Status::Read) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(read.data, &error);
        decoded =
            read.data.trimmed().isEmpty() || (error.error == QJsonParseError::NoError && doc.isObject());
        if (decoded)
            m_values = doc.object();
    }
    // A store that no save may reach (a FIFO, a read-only link target, one that could not be set aside)
    // keeps this session's changes in memory rather than being replaced.
    m_holdSaves = !AppPaths::settleStore(m_filePath, read, decoded);
}

void Defaults::registerDefaults(const QJsonObject& values) {
    for (auto it = values.begin(); it != values.end(); ++it)
        m_registered.insert(it.key(), it.value());
}

QJsonValue Defaults::object(const QString& key) const {
    const QJsonValue stored = m_values.value(key);
    if (!stored.isUndefined())
        return stored;
    return m_registered.value(key);
}

bool Defaults::boolValue(const QString& key) const {
    const QJsonValue v = object(key);
    switch (v.type()) {
    case QJsonValue::Bool:
        return v.toBool();
    case QJsonValue::Double:
        return v.toDouble() != 0;
    case QJsonValue::String: {
        const QString text = v.toString().trimmed();
        if (text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0 ||
            text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        const auto number = numberFromString(text);
        return number && *number != 0;
    }
    default:
        return false;
    }
}

qint64 Defaults::integer(const QString& key) const {
    const QJsonValue v = object(key);
    switch (v.type()) {
    case QJsonValue::Bool:
        return v.toBool() ? 1 : 0;
    case QJsonValue::Double: {
        // toInteger keeps 64-bit integers exact; fractions fall back to truncation.
        constexpr qint64 sentinel = std::numeric_limits<qint64>::min();
        const qint64 exact = v.toInteger(sentinel);
        if (exact != sentinel)
            return exact;
        return truncated(v.toDouble());
    }
    case QJsonValue::String: {
        bool ok = false;
        const qint64 exact = v.toString().trimmed().toLongLong(&ok);
        if (ok)
            return exact;
        const auto number = numberFromString(v.toString());
        return number ? truncated(*number) : 0;
    }
    default:
        return 0;
    }
}

double Defaults::doubleValue(const QString& key) const {
    const QJsonValue v = object(key);
    switch (v.type()) {
    case QJsonValue::Bool:
        return v.toBool() ? 1.0 : 0.0;
    case QJsonValue::Double:
        return v.toDouble();
    case QJsonValue::String:
        return numberFromString(v.toString()).value_or(0.0);
    default:
        return 0.0;
    }
}

std::optional<QString> Defaults::string(const QString& key) const {
    const QJsonValue v = object(key);
    switch (v.type()) {
    case QJsonValue::String:
        return v.toString();
    case QJsonValue::Bool:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QJsonValue::Double: {
        constexpr qint64 sentinel = std::numeric_limits<qint64>::min();
        const qint64 exact = v.toInteger(sentinel);
        if (exact != sentinel)
            return QString::number(exact);
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    }
    default:
        return std::nullopt;
    }
}

std::optional<QStringList> Defaults::stringArray(const QString& key) const {
    const QJsonValue v = object(key);
    if (!v.isArray())
        return std::nullopt;
    const QJsonArray array = v.toArray();
    QStringList list;
    list.reserve(array.size());
    for (const QJsonValue& element : array) {
        if (!element.isString())
            return std::nullopt;
        list << element.toString();
    }
    return list;
}

std::optional<QJsonArray> Defaults::array(const QString& key) const {
    const QJsonValue v = object(key);
    if (!v.isArray())
        return std::nullopt;
    return v.toArray();
}

std::optional<QJsonObject> Defaults::dictionary(const QString& key) const {
    const QJsonValue v = object(key);
    if (!v.isObject())
        return std::nullopt;
    return v.toObject();
}

void Defaults::set(const QString& key, const QJsonValue& value) {
    if (value.isUndefined()) {
        remove(key);
        return;
    }
    const QJsonValue old = m_values.value(key);
    const bool differs = old.isUndefined() || old != value;
    m_values.insert(key, value);
    scheduleSave();
    if (differs)
        emit changed(key);
}

void Defaults::remove(const QString& key) {
    if (!m_values.contains(key))
        return;
    m_values.remove(key);
    scheduleSave();
    emit changed(key);
}

QJsonObject Defaults::persistentDomain(const QString& domain) const {
    // Every domain's file lies in a folder of its own beside this store's folder.
    const QString configHome = QFileInfo(QFileInfo(m_filePath).path()).path();
    const QString path = AppPaths::defaultsFileIn(configHome, domain);
    if (path.isEmpty())
        return {};
    const AppPaths::StoreRead read = AppPaths::readStore(path);
    if (read.status != AppPaths::StoreRead::Status::Read)
        return {};
    const QJsonDocument doc = QJsonDocument::fromJson(read.data);
    return doc.isObject() ? doc.object() : QJsonObject();
}

void Defaults::scheduleSave() {
    if (m_holdSaves)
        return;
    m_dirty = true;
    if (!m_timer->isActive())
        m_timer->start(m_saveDelayMs, [this] { handOver(); });
}

void Defaults::handOver() {
    if (!m_dirty)
        return;
    m_dirty = false;
    m_writer->submit(QJsonDocument(m_values).toJson(QJsonDocument::Indented));
}

bool Defaults::flush() {
    if (m_holdSaves)
        return false;
    m_timer->stop();
    handOver();
    return m_writer->waitForIdle();
}

int Defaults::writesDone() const {
    return m_writer->writesDone();
}

void Defaults::flushOnQuit(Defaults& defaults, QCoreApplication& app) {
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &defaults, [&defaults] { defaults.flush(); });
}
