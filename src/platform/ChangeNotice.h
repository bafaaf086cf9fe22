// The one change callback some seams offer their user: set by the user, called by the implementation
// whenever what the seam reports may have changed.
#pragma once

#include <functional>
#include <utility>

class ChangeNotice {
public:
    // Replaces an earlier handler; an empty one stops the calls. Each seam says when it calls.
    void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

protected:
    ChangeNotice() = default;
    ~ChangeNotice() = default;

    void notifyChanged() const {
        if (m_changed)
            m_changed();
    }

private:
    std::function<void()> m_changed;
};
