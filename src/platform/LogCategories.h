// The program's logging categories, one per subsystem. Their debug lines are off unless switched on,
// e.g. QT_LOGGING_RULES="quillbay.clipboard.debug=true"; the README lists them. Declared in the lowest
// layer so that a subsystem's seams and its services write under the same name.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcIsland)    // quillbay.island: the panel, its screen, focus
Q_DECLARE_LOGGING_CATEGORY(lcHotkeys)   // quillbay.hotkeys: global key grabs
Q_DECLARE_LOGGING_CATEGORY(lcClipboard) // quillbay.clipboard: selection owners, history
Q_DECLARE_LOGGING_CATEGORY(lcServices)  // quillbay.services: saved commands and their processes
Q_DECLARE_LOGGING_CATEGORY(lcAI)        // quillbay.ai: usage of the AI tools
Q_DECLARE_LOGGING_CATEGORY(lcNews)      // quillbay.news: feeds
Q_DECLARE_LOGGING_CATEGORY(lcUpdates)   // quillbay.updates: checks, downloads, installs
Q_DECLARE_LOGGING_CATEGORY(lcWeb)       // quillbay.web: web tabs and their browser engine
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)  // quillbay.platform: modules, stores, the instance lock
