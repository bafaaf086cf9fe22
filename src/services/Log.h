// The one log sink: lines "[Quillbay] …" to syslog and stderr. Tests may capture the lines instead.
#pragma once

#include <QString>

#include <functional>

namespace Log {

// Writes one line; `message` is the text after the "[Quillbay] " prefix.
void line(const QString& message);

// Replaces the output (syslog and stderr) with `capture`; an empty function restores it.
// Receives the whole line, prefix included.
void setCapture(std::function<void(const QString&)> capture);

} // namespace Log
