#include "views/KitOutputText.h"

#include "views/SystemColors.h"

#include <QEvent>
#include <QFontDatabase>

namespace {

// A result of several megabytes would take the text layout seconds; the copy button still copies it all.
constexpr qsizetype kShownLimit = 1024 * 1024;

} // namespace

KitOutputText::KitOutputText(const QString& placeholder, qreal pixelSize, QWidget* parent)
    : QPlainTextEdit(parent) {
    setReadOnly(true);
    // Read-only: no caret (keyboard selection would show one); Ctrl+C and Ctrl+A still work.
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setPlaceholderText(placeholder);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPixelSize(qRound(pixelSize));
    setFont(f);
    document()->setDocumentMargin(6);
    showOutput(QString());
}

bool KitOutputText::isError() const {
    return m_output.startsWith(QStringLiteral("❌"));
}

void KitOutputText::showOutput(const QString& output) {
    if (output == m_output && !toPlainText().isEmpty())
        return;
    m_output = output;
    const QColor ink = isError() ? SystemColors::red() : SystemColors::green();
    QColor text = ink;
    if (!isError())
        text.setAlphaF(0.9f);
    setStyleSheet(QStringLiteral("QPlainTextEdit { background: rgba(255,255,255,0.04); border-radius: 8px;"
                                 " color: %1; selection-background-color: rgba(255,255,255,0.25); }")
                      .arg(text.name(QColor::HexArgb)));
    keepPlaceholderFaint();
    if (output.size() > kShownLimit)
        setPlainText(output.left(kShownLimit) + QStringLiteral("\n…"));
    else
        setPlainText(output);
}

void KitOutputText::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    // Polishing with the style sheet derives the placeholder from the text's green; it stays faint white.
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::PaletteChange)
        keepPlaceholderFaint();
}

void KitOutputText::keepPlaceholderFaint() {
    const QColor faint = SystemColors::white(0.25);
    if (palette().color(QPalette::PlaceholderText) == faint)
        return;
    QPalette pal = palette();
    pal.setColor(QPalette::PlaceholderText, faint);
    setPalette(pal);
}
