// A custom dashboard tab of the user's: the output of a script or a web page.
#pragma once

#include <QString>
#include <QUuid>

struct CustomTab {
    enum class Kind { script, web };

    QUuid id;
    QString name;
    Kind kind = Kind::script;
    QString command;
    QString url;
    int refreshSeconds = 0;
    bool enabled = true;

    bool operator==(const CustomTab&) const = default;
};
