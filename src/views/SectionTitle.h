// The small upper-case caption above a group of rows.
#pragma once

#include <QLabel>

class SectionTitle : public QLabel {
    Q_OBJECT
public:
    explicit SectionTitle(const QString& text = QString(), QWidget* parent = nullptr);

    // Stores the caption in upper case; the original text is not kept.
    void setTitle(const QString& text);
};
