// Loading a .sbf configuration file of any content, then saving the job and loading it
// again. Properties: loading never raises; a saved job loads back to the same settings; the
// save replaces the file whole (17 CR LF lines, the first "1").
#include "FuzzWorld.h"
#include "settings/ConfigFile.h"

#include <fstream>
#include <sstream>

using namespace qm;

namespace {

struct Snapshot {
    std::vector<std::string> texts;
    std::vector<CheckState> checks;
    std::vector<bool> flags;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const JobSettings& job) {
    Snapshot s;
    for (int i = 0; i < TextFieldCount; ++i)
        if (static_cast<TextField>(i) != TextField::CurrentConfigFile)
            s.texts.push_back(job.text(static_cast<TextField>(i)));
    for (int i = 0; i < CheckFieldCount; ++i)
        s.checks.push_back(job.check(static_cast<CheckField>(i)));
    for (int i = 0; i < MenuFieldCount; ++i)
        s.flags.push_back(job.flag(static_cast<MenuField>(i)));
    return s;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzWorld world;
    const std::string content(reinterpret_cast<const char*>(data), size);
    world.temp.write("job.sbf", content);
    const std::string path = world.temp.path("job.sbf");
    try {
        OpenConfig(world.context, path);
    } catch (...) {
        fuzz::Violation("loading a configuration file raised", content);
    }
    const Snapshot loaded = Take(world.job);

    SaveConfig(world.context, path);
    const std::string saved = ReadAll(path);
    if (!world.systemLog.events.empty() || saved.rfind("1\r\n", 0) != 0)
        fuzz::Violation("the save did not write a whole file", saved);

    world.job.LoadDefaults();
    OpenConfig(world.context, path);
    if (!(Take(world.job) == loaded))
        fuzz::Violation("a saved job does not load back the same", content);
    return 0;
}
