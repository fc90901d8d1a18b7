// The window's tests run on the offscreen platform, so they need no display and cannot be
// answered by anyone but the tests themselves; like every test, in a home of their own.

#include "support/TestHome.h"

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    // Before the application exists: Qt reads the settings folders once.
    const std::string home = qm::test::UseOwnHome();
    QApplication application(argc, argv);
    const int status = RUN_ALL_TESTS();
    qm::test::RemoveOwnHome(home);
    return status;
}
