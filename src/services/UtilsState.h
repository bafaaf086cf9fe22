// The developer kit's one state object: the chosen tool, its input and the screen-capture flag.
#pragma once

#include "model/DevTool.h"

#include <QObject>
#include <QString>

#include <optional>

class UtilsState : public QObject {
    Q_OBJECT
    Q_PROPERTY(DevTool tool READ tool WRITE setTool NOTIFY toolChanged)
    Q_PROPERTY(QString input READ input WRITE setInput NOTIFY inputChanged)
    Q_PROPERTY(bool capturing READ capturing WRITE setCapturing NOTIFY capturingChanged)
public:
    explicit UtilsState(QObject* parent = nullptr);

    DevTool tool() const { return m_tool; }
    void setTool(DevTool tool);
    QString input() const { return m_input; }
    void setInput(const QString& input);
    bool capturing() const { return m_capturing; }
    void setCapturing(bool capturing);

    // Starts the interactive screen-area capture with text recognition.
    void captureAndOCR();

    // The clipboard's plain text (else its first URL), trimmed; nothing when that is empty.
    static std::optional<QString> clipboardText();
    // The tool that suits a text: JWT, JSON, epoch, colour, URL (QR) or Base64; JSON when nothing fits.
    static DevTool detectTool(const QString& text);

    // The chip title of a tool ("JSON", "Cor", ...).
    static QString rawValue(DevTool tool);

signals:
    void toolChanged();
    void inputChanged();
    void capturingChanged();

private:
    static bool looksLikeWebURL(const QString& text);

    DevTool m_tool = DevTool::json;
    QString m_input;
    bool m_capturing = false;
};
