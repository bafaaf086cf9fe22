// The faint centred line a list shows when it has nothing to show.
#pragma once

#include <QLabel>

class EmptyHint : public QLabel {
    Q_OBJECT
public:
    // The text is shown as written, never interpreted as markup.
    explicit EmptyHint(const QString& text = QString(), QWidget* parent = nullptr);
};
