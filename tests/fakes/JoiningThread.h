// A test's worker thread that is always joined, also when a failed check leaves the test early.
#pragma once

#include <functional>
#include <thread>
#include <utility>

namespace TestSupport {

// A failed QVERIFY returns from the test function; a std::thread still joinable then ends the whole
// executable. This one is joined when it goes out of scope. `finish` makes the body return (closes the
// pipe it reads, raises its stop flag) and runs only on that early way out: a test that finished the
// body itself and called join() is left as it was.
class JoiningThread {
public:
    template <typename Body>
    JoiningThread(std::function<void()> finish, Body&& body)
        : m_finish(std::move(finish))
        , m_thread(std::forward<Body>(body)) {}
    ~JoiningThread() {
        if (!m_thread.joinable())
            return;
        if (m_finish)
            m_finish();
        m_thread.join();
    }
    JoiningThread(const JoiningThread&) = delete;
    JoiningThread& operator=(const JoiningThread&) = delete;

    void join() { m_thread.join(); }

private:
    std::function<void()> m_finish;
    std::thread m_thread; // last: it starts once `m_finish` is in place
};

} // namespace TestSupport
