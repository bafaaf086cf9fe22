// The dashboard's AI tab: the agent sessions of the last hour, then one card per AI provider with its
// usage windows as block bars and percentages.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class AIUsageService;
class AgentsService;
class QVBoxLayout;

class AITab : public QWidget {
    Q_OBJECT
public:
    AITab(AIUsageService& service, AgentsService& agents, QWidget* parent = nullptr);

    // The percentage of a share, rounded half away from zero; an absurd share is held to ±10^15 % first.
    static qint64 percentOf(double fraction);
    // "42%", through the catalogue.
    static QString percentText(double fraction);
    // Red above 0.85, orange above 0.6, green otherwise.
    static QColor percentColor(double fraction);
    // The window is used up.
    static bool showsExhausted(double fraction) { return fraction >= 0.999; }
    // "now" for 0 minutes, else "12 min", through the catalogue.
    static QString ageText(int minutesAgo);

private:
    void rebuild();

    AIUsageService& m_service;
    AgentsService& m_agents;
    QWidget* m_content = nullptr;
    QVBoxLayout* m_column = nullptr;
};
