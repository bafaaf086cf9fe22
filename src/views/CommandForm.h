// The Terminal tab's inline form that adds a saved command or edits one, bound to the service's drafts.
#pragma once

#include <QWidget>

class CommandsService;
class DarkField;
class QPushButton;

class CommandForm : public QWidget {
    Q_OBJECT
public:
    explicit CommandForm(CommandsService& service, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void syncFromService();

    CommandsService& m_service;
    DarkField* m_name = nullptr;
    DarkField* m_folder = nullptr;
    DarkField* m_command = nullptr;
    QPushButton* m_save = nullptr;
};
