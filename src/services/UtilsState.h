// The developer kit's one state object: the chosen tool, its input and result, and the operations that
// reach outside the process (screen text, image conversion, screen colour).
#pragma once

#include "model/DevTool.h"
#include "model/ImageOutputFormat.h"
#include "services/WorkPool.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class AreaCapture;
class AbsentSeams;
class Clock;
class FileRevealer;
class HeifCodec;
class LanAddress;
class Pasteboard;
class ScreenColorSampler;
class TextRecognizer;

class UtilsState : public QObject {
    Q_OBJECT
    Q_PROPERTY(DevTool tool READ tool WRITE setTool NOTIFY toolChanged)
    Q_PROPERTY(QString input READ input WRITE setInput NOTIFY inputChanged)
    Q_PROPERTY(QString output READ output WRITE setOutput NOTIFY outputChanged)
    Q_PROPERTY(std::optional<QColor> swatch READ swatch NOTIFY swatchChanged)
    Q_PROPERTY(QImage qrImage READ qrImage NOTIFY qrImageChanged)
    Q_PROPERTY(bool capturing READ capturing WRITE setCapturing NOTIFY capturingChanged)
    Q_PROPERTY(ImageOutputFormat imageFormat READ imageFormat WRITE setImageFormat NOTIFY imageFormatChanged)
public:
    // A seam left empty is the absent one (the operation that needs it ends as a cancel would); the
    // clock, when empty, is the machine's.
    struct Seams {
        Clock* clock = nullptr;
        Pasteboard* pasteboard = nullptr;
        LanAddress* lanAddress = nullptr;
        AreaCapture* areaCapture = nullptr;
        ScreenColorSampler* colorSampler = nullptr;
        TextRecognizer* textRecognizer = nullptr;
        FileRevealer* fileRevealer = nullptr;
        HeifCodec* heifCodec = nullptr;
    };

    explicit UtilsState(QObject* parent = nullptr);
    UtilsState(Seams seams, QObject* parent = nullptr);
    ~UtilsState() override;

    // Quitting: a recognition under way stops, and no background result arrives any more.
    void cancelWork() { m_pool.cancel(); }
    // Blocks until the background work has ended, its results posted (tests only).
    bool waitForWork(int msecs = -1) { return m_pool.waitForDone(msecs); }

    DevTool tool() const { return m_tool; }
    // Runs process() afterwards, also when the tool does not change.
    void setTool(DevTool tool);
    QString input() const { return m_input; }
    // Runs process() afterwards, also when the text does not change.
    void setInput(const QString& input);
    QString output() const { return m_output; }
    void setOutput(const QString& output);
    std::optional<QColor> swatch() const { return m_swatch; }
    QImage qrImage() const { return m_qrImage; }
    bool capturing() const { return m_capturing; }
    void setCapturing(bool capturing);
    ImageOutputFormat imageFormat() const { return m_imageFormat; }
    void setImageFormat(ImageOutputFormat format);

    // Recomputes output, swatch and QR image from the input for the current tool. A long input is worked
    // on off the main thread; the output stays empty until its result arrives.
    void process();
    // Whether a result of process() is still being worked out.
    bool processing() const { return m_pending != 0; }

    // The QR tool with the clipboard's text as input.
    void pasteURL();
    // Most bytes of clipboard text the kit takes in.
    static constexpr qsizetype kWholeTextMaxBytes = 32 * 1024 * 1024;

    // The clipboard's text decides the tool, then becomes the input; nothing happens without text. A text
    // longer than the clipboard's first read is read again whole first, and a long one is judged off the
    // main thread, so either arrives later; one longer than kWholeTextMaxBytes is refused with a message.
    void pasteAndDetect();
    // A fresh random UUID (upper case, hyphenated) as the output; the input is untouched.
    void generateUUID();
    // Puts the output on the clipboard as plain text (also when it is empty).
    void copyOutput();

    // Lets the user select an area of the screen and puts the text read there on the output and the
    // clipboard. Ignored while a selection is open.
    void captureAndOCR();
    // Converts image files beside themselves to imageFormat, in the background.
    void convertImages(const QStringList& paths);
    // Takes a colour from the screen into the colour tool.
    void pickColorFromScreen();
    // Takes a colour chosen in a colour dialog into the colour tool (white when it is not valid).
    void setPickedColor(const QColor& color);

    // The clipboard's plain text (else its first URL), trimmed; nothing when that is empty.
    // The tool that suits a text: JWT, JSON, epoch, colour, URL (QR) or Base64; JSON when nothing fits.
    static DevTool detectTool(const QString& text);
    // The chip title of a tool ("JSON", "Cor", ...).
    static QString rawValue(DevTool tool);

signals:
    void toolChanged();
    void inputChanged();
    void outputChanged();
    void swatchChanged();
    void qrImageChanged();
    void capturingChanged();
    void imageFormatChanged();
    // A long process() has delivered its result.
    void processed();

private:
    std::optional<QString> pastedText() const;
    void detectAndUse(const QString& text);
    void setSwatch(std::optional<QColor> swatch);
    void setQrImage(const QImage& image);
    void recognize(const QImage& area);

    std::unique_ptr<AbsentSeams> m_absent; // stands in for the seams left empty
    Seams m_seams;
    DevTool m_tool = DevTool::json;
    QString m_input;
    QString m_output;
    std::optional<QColor> m_swatch;
    QImage m_qrImage;
    bool m_capturing = false;
    ImageOutputFormat m_imageFormat = ImageOutputFormat::png;
    // Counts the runs of process(); a late result from an older run is dropped.
    quint64 m_generation = 0;
    quint64 m_pending = 0;
    WorkPool m_pool; // last: its end waits for the workers before the rest goes
};
