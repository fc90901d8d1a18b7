#include "support/TestHome.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace qm::test {

std::string UseOwnHome() {
    const std::filesystem::path root = QM_TEST_HOME_ROOT;
    std::filesystem::create_directories(root);
    std::string pattern = (root / "home-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr)
        throw std::runtime_error("cannot create a test home in " + root.string());
    const std::string home = name.data();
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_STATE_HOME", (home + "/.local/state").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    return home;
}

void RemoveOwnHome(const std::string& home) {
    std::error_code ignored; // a leftover folder in the build tree harms nobody
    std::filesystem::remove_all(home, ignored);
}

} // namespace qm::test
