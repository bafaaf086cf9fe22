// Kit state, tool detection and clipboard reading.
#include "services/UtilsState.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

UtilsState::UtilsState(QObject* parent)
    : QObject(parent) {}

void UtilsState::setTool(DevTool tool) {
    if (tool == m_tool)
        return;
    m_tool = tool;
    emit toolChanged();
}

void UtilsState::setInput(const QString& input) {
    if (input == m_input)
        return;
    m_input = input;
    emit inputChanged();
}

void UtilsState::setCapturing(bool capturing) {
    if (capturing == m_capturing)
        return;
    m_capturing = capturing;
    emit capturingChanged();
}

void UtilsState::captureAndOCR() {}

std::optional<QString> UtilsState::clipboardText() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return std::nullopt;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return std::nullopt;
    QString text;
    if (data->hasText())
        text = data->text();
    else if (data->hasUrls() && !data->urls().isEmpty())
        text = data->urls().constFirst().toString();
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

QString UtilsState::rawValue(DevTool tool) {
    switch (tool) {
    case DevTool::json:
        return QStringLiteral("JSON");
    case DevTool::jwt:
        return QStringLiteral("JWT");
    case DevTool::uuid:
        return QStringLiteral("UUID");
    case DevTool::base64:
        return QStringLiteral("Base64");
    case DevTool::epoch:
        return QStringLiteral("Epoch");
    case DevTool::color:
        return QStringLiteral("Cor");
    case DevTool::qr:
        return QStringLiteral("QR");
    case DevTool::ocr:
        return QStringLiteral("OCR");
    case DevTool::image:
        return QStringLiteral("Imagem");
    }
    return QString();
}

bool UtilsState::looksLikeWebURL(const QString& text) {
    const QString candidate = text.contains(QStringLiteral("://")) ? text : QStringLiteral("https://") + text;
    const QUrl url(candidate, QUrl::StrictMode);
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return false;
    // The host as written: QUrl turns a bare number such as "170000000" into a dotted IPv4 address.
    QString authority = candidate.mid(candidate.indexOf(QStringLiteral("://")) + 3);
    authority = authority.left(authority.indexOf(QRegularExpression(QStringLiteral("[/?#]"))));
    authority = authority.mid(authority.lastIndexOf(QLatin1Char('@')) + 1);
    QString host;
    if (authority.startsWith(QLatin1Char('[')))
        host = authority.mid(1, authority.indexOf(QLatin1Char(']')) - 1);
    else
        host = authority.left(authority.indexOf(QLatin1Char(':')));
    host = host.toLower();
    if (host.isEmpty() || url.host().isEmpty())
        return false;
    return host == QLatin1String("localhost") || host == QLatin1String("127.0.0.1") ||
           host.contains(QLatin1Char('.')) || host.contains(QLatin1Char(':'));
}

DevTool UtilsState::detectTool(const QString& text) {
    static const QRegularExpression jwt(
        QStringLiteral("^[A-Za-z0-9_-]{8,}\\.[A-Za-z0-9_-]{8,}\\.[A-Za-z0-9_-]*$"));
    static const QRegularExpression epoch(QStringLiteral("^\\d{10,13}$"));
    static const QRegularExpression color(QStringLiteral("^#?[0-9a-fA-F]{6}$"));
    // Strict Base64: the standard alphabet, padded to a multiple of four.
    static const QRegularExpression base64(QStringLiteral("^[A-Za-z0-9+/]*={0,2}$"));

    if (jwt.match(text).hasMatch())
        return DevTool::jwt;
    if (text.startsWith(QLatin1Char('{')) || text.startsWith(QLatin1Char('['))) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
        if (error.error == QJsonParseError::NoError && (doc.isObject() || doc.isArray()))
            return DevTool::json;
    }
    if (epoch.match(text).hasMatch())
        return DevTool::epoch;
    if (color.match(text).hasMatch())
        return DevTool::color;
    if (looksLikeWebURL(text))
        return DevTool::qr;
    if (text.size() >= 13 && text.size() % 4 == 0 && base64.match(text).hasMatch()) {
        const auto decoded =
            QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (decoded)
            return DevTool::base64;
    }
    return DevTool::json;
}
