// The clickable part of a clipboard row, shared by the Clip tab and the quick-paste picker: an optional
// number, the copy or copied icon, and the entry's text on at most two lines, its line feeds shown as " ⏎ ".
#pragma once

#include <QAbstractButton>
#include <QColor>

class ClipEntryButton : public QAbstractButton {
    Q_OBJECT
public:
    struct Style {
        int number = 0; // shown as written when above 0
        double textPixels = 10.5;
        double iconOpacity = 0.4;
    };

    ClipEntryButton(const QString& text, Style style, QWidget* parent = nullptr);

    // The row's text as shown: line feeds as " ⏎ ", and no more of a long text than two lines can hold.
    static QString displayText(const QString& text);

    // Shows the green check mark (and, when not empty, `label` instead of the text).
    void setConfirmed(bool confirmed, const QString& label = QString());
    bool isConfirmed() const { return m_confirmed; }
    QString shownText() const {
        return m_confirmedLabel.isEmpty() || !m_confirmed ? m_text : m_confirmedLabel;
    }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Lays the text out in `width` pixels, at most two lines, the second elided; returns the height.
    int layoutLines(int width, QStringList* lines) const;

    QString m_text;
    Style m_style;
    bool m_confirmed = false;
    QString m_confirmedLabel;
};
