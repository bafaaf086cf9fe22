// The two phases the focus timer alternates between.
#pragma once

enum class PomodoroPhase { focus, rest };
