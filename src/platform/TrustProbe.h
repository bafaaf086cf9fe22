// The seam for "may this process synthesise key presses into other applications?".
#pragma once

class TrustProbe {
public:
    virtual ~TrustProbe() = default;
    virtual bool isTrusted() const = 0;
};
