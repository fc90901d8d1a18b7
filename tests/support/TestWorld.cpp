#include "support/TestWorld.h"

#include <chrono>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace qm::test {

ScopedEnvironment::ScopedEnvironment(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str()))
        previous_ = old;
    if (value)
        ::setenv(name_.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
    if (previous_)
        ::setenv(name_.c_str(), previous_->c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

bool WaitForFile(const std::string& path, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (::access(path.c_str(), F_OK) != 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

TestWorld::TestWorld()
    : CoreWiring(files, tools, host, systemLog, clock, temp.path("debug-QM.log")) {}

void TestWorld::mapDrive(std::string_view letter, const std::string& hostFolder) {
    store.write(SettingsScope::User, "Quillmarch", "Drives", std::string(letter), hostFolder);
}

void TestWorld::useRepeatedJob() {
    job.setText(TextField::FieldNames, "Name|ImagePath");
    job.setText(TextField::DocType, "Invoice");
    job.setText(TextField::ImageFolder, temp.path("img"));
    job.setCheck(CheckField::MoveFiles, CheckState::Unchecked);
    job.setText(TextField::IndexFile, temp.path("in/*.csv"));
    job.setText(TextField::BIFFile, temp.path("out/result.bif"));
    job.setFlag(MenuField::RemoveProcessed, true);
}

} // namespace qm::test
