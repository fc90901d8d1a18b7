// The tests run in a home of their own, whatever the environment they were started from.

#include "support/TestHome.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const std::string home = qm::test::UseOwnHome();
    const int status = RUN_ALL_TESTS();
    qm::test::RemoveOwnHome(home);
    return status;
}
