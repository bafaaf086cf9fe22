// The one change callback some seams offer their user, as their implementations keep it: set through
// the seam's setChangeHandler(), called by the implementation whenever what the seam reports may have
// changed. The seams themselves hold no state; each implementation holds one of these.
#pragma once

#include <functional>
#include <utility>

class ChangeNotice {
public:
    // Replaces an earlier handler; an empty one stops the calls.
    void set(std::function<void()> handler) { m_changed = std::move(handler); }
    void notify() const {
        if (m_changed)
            m_changed();
    }

private:
    std::function<void()> m_changed;
};
