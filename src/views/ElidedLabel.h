// Text that ends (or starts, or breaks in the middle) with "…" where the label is too narrow for it,
// redone at every width; `text()` keeps the whole text. One line by default; with more lines allowed the
// text wraps at word boundaries and the last line it may use ends in "…".
#pragma once

#include <QLabel>
#include <QStringList>

class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(Qt::TextElideMode mode, QWidget* parent = nullptr);

    // At most `lines` lines (at least one); the label is then as tall as the lines its text needs.
    void setMaximumLines(int lines);
    int maximumLines() const { return m_lines; }

    // What the label shows at its present width, its lines joined by "\n".
    QString shownText() const;
    // The lines `text` takes at `width` in `font`, at most `lines` of them, the last one elided by `mode`
    // when the text goes on beyond it.
    static QStringList layoutLines(const QString& text, const QFont& font, int width, int lines,
                                   Qt::TextElideMode mode);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int heightForLines(int count) const;

    Qt::TextElideMode m_mode;
    int m_lines = 1;
};
