#pragma once

#include <string>

namespace qm::test {

// Gives the test process a home of its own below the build tree (QM_TEST_HOME_ROOT): HOME,
// XDG_STATE_HOME and XDG_CONFIG_HOME point into a fresh folder, so neither the tests nor the
// programs they start read or write the settings, journals and logs of the person running
// them. Returns the folder; RemoveOwnHome removes it when the tests end.
std::string UseOwnHome();
void RemoveOwnHome(const std::string& home);

} // namespace qm::test
