// The program's log: lines "[Quillbay] …" to syslog and stderr. They travel as Qt messages, so the same
// handler writes the debug lines of the categories in platform/LogCategories.h, and a test can take them.
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace Log {

// The category of the lines below; a subsystem's debug lines use "quillbay.<subsystem>".
inline constexpr char kCategory[] = "quillbay";

// Writes one line; `message` is the text after the "[Quillbay] " prefix. Never filtered out by logging rules.
void line(const QString& message);

// The line a message of the program becomes: "[Quillbay] text" for one written by line(), and
// "[Quillbay] clipboard: text" for one in the category "quillbay.clipboard". Nothing for a message from
// elsewhere (Qt itself, a library), which keeps Qt's own form.
std::optional<QString> format(const QMessageLogContext& context, const QString& message);

// From now on, the program's messages go to syslog and stderr as format() gives them, and every other
// message to stderr as Qt writes it. Called once, first thing in main; there is nothing to undo, since the
// last lines come while the process ends.
void useSystemOutput();

} // namespace Log
