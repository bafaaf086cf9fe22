// A one-line text field styled for the island's black background.
#pragma once

#include <QLineEdit>

class DarkField : public QLineEdit {
    Q_OBJECT
public:
    // The caller owns the text: it reads textChanged/textEdited and writes back with setText().
    explicit DarkField(const QString& placeholder = QString(), QWidget* parent = nullptr);

    QString placeholder() const { return placeholderText(); }
};
