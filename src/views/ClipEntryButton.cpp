// Painting and two-line layout of a clipboard row's text.
#include "views/ClipEntryButton.h"

#include "views/Icons.h"
#include "views/SystemColors.h"

#include <QFontDatabase>
#include <QPainter>
#include <QTextLayout>

namespace {

constexpr int kIconWidth = 14;
constexpr int kNumberWidth = 12;
constexpr int kSpacing = 8;
// Two lines of a row never show more than this many characters of an entry of up to 10000.
constexpr qsizetype kShownPrefix = 600;

QFont monoFont(double pixels) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPixelSize(qMax(1, qRound(pixels)));
    return f;
}

} // namespace

ClipEntryButton::ClipEntryButton(const QString& text, Style style, QWidget* parent)
    : QAbstractButton(parent)
    , m_text(displayText(text))
    , m_style(style) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setFont(monoFont(style.textPixels));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setText(m_text); // for accessibility and tests
}

QString ClipEntryButton::displayText(const QString& text) {
    QString shown = text.left(kShownPrefix);
    shown.replace(QLatin1Char('\n'), QStringLiteral(" \u23CE "));
    return shown;
}

void ClipEntryButton::setConfirmed(bool confirmed, const QString& label) {
    if (m_confirmed == confirmed && m_confirmedLabel == label)
        return;
    m_confirmed = confirmed;
    m_confirmedLabel = label;
    updateGeometry();
    update();
}

int ClipEntryButton::layoutLines(int width, QStringList* lines) const {
    const QFontMetrics fm(font());
    const QString text = shownText();
    QTextLayout layout(text, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    int count = 0;
    while (count < 2) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(qMax(1, width));
        if (lines) {
            QString part = text.mid(line.textStart(), line.textLength());
            if (count == 1 && line.textStart() + line.textLength() < text.size())
                part = fm.elidedText(text.mid(line.textStart()), Qt::ElideRight, qMax(1, width));
            lines->append(part);
        }
        ++count;
    }
    layout.endLayout();
    return qMax(1, count) * fm.lineSpacing();
}

int ClipEntryButton::heightForWidth(int width) const {
    const int textWidth = width - kIconWidth - kSpacing - (m_style.number > 0 ? kNumberWidth + kSpacing : 0);
    return layoutLines(textWidth, nullptr);
}

QSize ClipEntryButton::sizeHint() const {
    return QSize(200, heightForWidth(200));
}

QSize ClipEntryButton::minimumSizeHint() const {
    return QSize(kIconWidth + kSpacing + 20, QFontMetrics(font()).lineSpacing());
}

void ClipEntryButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    int x = 0;
    const QFontMetrics fm(font());
    const int firstLineCentre = fm.lineSpacing() / 2;
    if (m_style.number > 0) {
        QFont numberFont = monoFont(9);
        numberFont.setWeight(QFont::DemiBold);
        p.setFont(numberFont);
        p.setPen(SystemColors::white(0.3));
        p.drawText(QRect(x, 0, kNumberWidth, fm.lineSpacing()), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(m_style.number));
        x += kNumberWidth + kSpacing;
    }
    const QString symbol =
        m_confirmed ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("doc.on.doc");
    const QColor tint = m_confirmed ? SystemColors::green() : SystemColors::white(m_style.iconOpacity);
    const QPixmap icon = Icons::pixmap(symbol, QSize(10, 10), tint, devicePixelRatioF());
    p.drawPixmap(x + (kIconWidth - 10) / 2, firstLineCentre - 5, icon);
    x += kIconWidth + kSpacing;

    QStringList lines;
    layoutLines(width() - x, &lines);
    p.setFont(font());
    p.setPen(SystemColors::white(0.85));
    int y = 0;
    for (const QString& line : lines) {
        p.drawText(QRect(x, y, width() - x, fm.lineSpacing()), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += fm.lineSpacing();
    }
}
