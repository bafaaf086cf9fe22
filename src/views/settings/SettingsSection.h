// One block of the settings window: a title, a description under it, then the section's own rows,
// all 12 pixels apart. Title and description are shown as given.
#pragma once

#include <QWidget>

class QBoxLayout;
class QLabel;

class SettingsSection : public QWidget {
    Q_OBJECT
public:
    SettingsSection(const QString& title, const QString& description, QWidget* parent = nullptr);

    QString title() const;
    QString description() const;

    void addContent(QWidget* content);
    void addContent(QBoxLayout* content);

private:
    QLabel* m_title;
    QLabel* m_description;
};
