// The pointer read straight from the X server, so a button held over another program's window
// is seen too.
#pragma once

#include "platform/PointerSource.h"

#include <QtGlobal>

class X11PointerSource final : public PointerSource {
public:
    PointerSample sample() override;

private:
    quint32 m_root = 0; // looked up once: the tick must not allocate
};
