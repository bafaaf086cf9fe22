// The kit's selectable result text: the output, or a faint placeholder while it is empty; red for a line
// that begins with "❌", green otherwise.
#pragma once

#include <QPlainTextEdit>

class KitOutputText : public QPlainTextEdit {
    Q_OBJECT
public:
    KitOutputText(const QString& placeholder, qreal pixelSize, QWidget* parent = nullptr);

    void showOutput(const QString& output);
    // The text as the output gave it (the view may show less of a very long one).
    QString output() const { return m_output; }
    bool isError() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void keepPlaceholderFaint();

    QString m_output;
};
