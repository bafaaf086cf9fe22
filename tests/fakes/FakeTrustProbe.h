// A trust probe whose answer the test sets; untrusted unless told otherwise. It counts the questions,
// for the tests that prove the answer is read only once.
#pragma once

#include "platform/TrustProbe.h"

class FakeTrustProbe final : public TrustProbe {
public:
    bool isTrusted() const override {
        ++asked;
        return trusted;
    }

    bool trusted = false;
    mutable int asked = 0;
};
