// A trust probe whose answer the test sets; untrusted unless told otherwise.
#pragma once

#include "platform/TrustProbe.h"

class FakeTrustProbe final : public TrustProbe {
public:
    bool isTrusted() const override { return trusted; }

    bool trusted = false;
};
