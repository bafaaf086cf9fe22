// Debug lines are off by default; information and above are on.
#include "platform/LogCategories.h"

Q_LOGGING_CATEGORY(lcIsland, "quillbay.island", QtInfoMsg)
Q_LOGGING_CATEGORY(lcHotkeys, "quillbay.hotkeys", QtInfoMsg)
Q_LOGGING_CATEGORY(lcClipboard, "quillbay.clipboard", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServices, "quillbay.services", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAI, "quillbay.ai", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNews, "quillbay.news", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUpdates, "quillbay.updates", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWeb, "quillbay.web", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPlatform, "quillbay.platform", QtInfoMsg)
