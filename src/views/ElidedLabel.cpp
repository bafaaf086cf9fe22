#include "views/ElidedLabel.h"

#include <QPainter>
#include <QTextLayout>

#include <algorithm>

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, QWidget* parent)
    : QLabel(parent)
    , m_mode(mode) {
    setTextFormat(Qt::PlainText);
}

void ElidedLabel::setMaximumLines(int lines) {
    lines = std::max(1, lines);
    if (lines == m_lines)
        return;
    m_lines = lines;
    QSizePolicy policy = sizePolicy();
    policy.setHeightForWidth(m_lines > 1);
    setSizePolicy(policy);
    updateGeometry();
    update();
}

QStringList ElidedLabel::layoutLines(const QString& text, const QFont& font, int width, int lines,
                                     Qt::TextElideMode mode) {
    const QFontMetrics fm(font);
    if (lines <= 1 || width <= 0) {
        // One line: the text's own line breaks would be drawn as nothing, so they read as spaces.
        QString flat = text;
        flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return {fm.elidedText(flat, mode, std::max(0, width))};
    }
    QString flat = text;
    flat.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(flat, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList out;
    layout.beginLayout();
    while (out.size() < lines) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        const int start = line.textStart();
        if (out.size() == lines - 1) {
            // The last line allowed takes the rest of its paragraph and gives way with "…", also when
            // more paragraphs follow.
            const QString rest = flat.mid(start);
            const qsizetype lineEnd = rest.indexOf(QChar::LineSeparator);
            QString last = (lineEnd < 0 ? rest : rest.left(lineEnd)).trimmed();
            if (lineEnd >= 0 && !rest.mid(lineEnd + 1).trimmed().isEmpty())
                last += QChar(0x2026);
            out << fm.elidedText(last, Qt::ElideRight, width);
            break;
        }
        QString piece = flat.mid(start, line.textLength());
        piece.remove(QChar::LineSeparator);
        out << piece.trimmed();
    }
    layout.endLayout();
    if (out.isEmpty())
        out << QString();
    return out;
}

QString ElidedLabel::shownText() const {
    return layoutLines(text(), font(), contentsRect().width(), m_lines, m_mode).join(QLatin1Char('\n'));
}

int ElidedLabel::heightForLines(int count) const {
    const QFontMetrics fm(font());
    const QMargins m = contentsMargins();
    return m.top() + m.bottom() + fm.height() + fm.lineSpacing() * (std::max(1, count) - 1);
}

QSize ElidedLabel::sizeHint() const {
    if (m_lines <= 1)
        return QLabel::sizeHint();
    const QMargins m = contentsMargins();
    const int width = fontMetrics().horizontalAdvance(text()) + m.left() + m.right();
    return {width, heightForLines(1)};
}

QSize ElidedLabel::minimumSizeHint() const {
    // Any width will do: the text gives way.
    if (m_lines <= 1)
        return {0, QLabel::minimumSizeHint().height()};
    return {0, heightForLines(1)};
}

bool ElidedLabel::hasHeightForWidth() const {
    return m_lines > 1;
}

int ElidedLabel::heightForWidth(int width) const {
    if (m_lines <= 1)
        return QLabel::heightForWidth(width);
    const QMargins m = contentsMargins();
    const int inner = width - m.left() - m.right();
    return heightForLines(int(layoutLines(text(), font(), inner, m_lines, m_mode).size()));
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(foregroundRole()));
    p.setFont(font());
    const QRect area = contentsRect();
    if (m_lines <= 1) {
        p.drawText(area, int(alignment()) | Qt::TextSingleLine, shownText());
        return;
    }
    const QFontMetrics fm(font());
    const QStringList lines = layoutLines(text(), font(), area.width(), m_lines, m_mode);
    const int horizontal = int(alignment() & Qt::AlignHorizontal_Mask);
    int y = area.top();
    for (const QString& line : lines) {
        p.drawText(QRect(area.left(), y, area.width(), fm.height()), horizontal | Qt::TextSingleLine, line);
        y += fm.lineSpacing();
    }
}
