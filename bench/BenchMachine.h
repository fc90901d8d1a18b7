#pragma once

// What the benchmark programs share: a machine without settings, log or moving clock, and the
// index file they convert.

#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/SystemLog.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace bench {

class BenchSettingsStore : public qm::SettingsStore {
public:
    std::optional<std::string> read(qm::SettingsScope, const std::string&, const std::string&,
                                    const std::string&) override {
        return std::nullopt;
    }
    void write(qm::SettingsScope, const std::string&, const std::string&, const std::string&,
               const std::string&) override {}
};

class BenchSystemLog : public qm::SystemLog {
public:
    void debugOutput(std::string_view) override {}
    void logEvent(qm::EventType, int, std::string_view) override {}
};

class BenchClock : public qm::Clock {
public:
    qm::LocalTime now() override { return {2026, 2, 3, 9, 5, 7}; }
};

// A deterministic index file: image path, five ordinary fields, every seventh name and
// every third note quoted (one of them with a delimiter and a doubled quote inside).
inline std::uintmax_t WriteIndexFile(const std::string& path, long lines) {
    std::ofstream out(path, std::ios::binary);
    std::string line;
    char number[64];
    for (long i = 1; i <= lines; ++i) {
        line.clear();
        std::snprintf(number, sizeof number, "B%04ld\\%08ld.tif", i / 1000, i);
        line += number;
        line += ',';
        if (i % 7 == 0)
            line += "\"Smith, John\"";
        else
            line += "Customer" + std::to_string(i % 9973);
        std::snprintf(number, sizeof number, ",2024-%02ld-%02ld,", i % 12 + 1, i % 28 + 1);
        line += number;
        line += "ACC-" + std::to_string(100000 + i % 900000);
        line += ',';
        line += std::to_string(i % 100000) + "." + std::to_string(i % 100);
        line += ',';
        if (i % 3 == 0)
            line += "\"Paid \"\"in full\"\", thanks\"";
        else
            line += "Scanned at station 4";
        line += "\r\n";
        out << line;
    }
    out.close();
    return std::filesystem::file_size(path);
}

} // namespace bench
