// Which hot key a recording or a clear applies to.
#pragma once

enum class HotkeyTarget { island, clipboardPicker };
