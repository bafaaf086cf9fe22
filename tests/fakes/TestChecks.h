// Lets a test's helper report whether its checks held, so that its caller stops at the first failure.
#pragma once

#include <QTest>

#include <utility>

namespace TestSupport {

// QVERIFY, QCOMPARE and the QTRY_ forms leave only the function they are written in: a helper that
// asserts and returns nothing lets its caller carry on after a failure. A helper instead returns
// `passes([&] { ...its checks... })` as a [[nodiscard]] bool and is called as QVERIFY(helper(...)).
// False also when the test had failed before, so a caller never goes on from a failed state.
template <typename Checks> [[nodiscard]] bool passes(Checks&& checks) {
    std::forward<Checks>(checks)();
    return !QTest::currentTestFailed();
}

} // namespace TestSupport
