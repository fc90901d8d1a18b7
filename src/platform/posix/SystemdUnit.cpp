#include "platform/posix/SystemdUnit.h"

#include <cstdio>

namespace qm {

namespace {

// Confinement that holds for every service: the job reads and writes files and nothing else.
constexpr const char* Confinement = R"(NoNewPrivileges=yes
ProtectSystem=strict
ProtectHome=read-only
PrivateTmp=yes
PrivateDevices=yes
DevicePolicy=closed
PrivateNetwork=yes
IPAddressDeny=any
PrivateMounts=yes
ProtectHostname=yes
ProtectClock=yes
ProtectKernelTunables=yes
ProtectKernelModules=yes
ProtectKernelLogs=yes
ProtectControlGroups=yes
ProtectProc=invisible
ProcSubset=pid
RestrictAddressFamilies=AF_UNIX
RestrictNamespaces=yes
RestrictRealtime=yes
RestrictSUIDSGID=yes
LockPersonality=yes
MemoryDenyWriteExecute=yes
SystemCallArchitectures=native
SystemCallFilter=@system-service
SystemCallFilter=~@privileged @resources
SystemCallErrorNumber=EPERM
)";

std::string DoublePercent(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += c;
        if (c == '%')
            out += '%';
    }
    return out;
}

struct Line {
    std::string_view text;
    std::size_t end; // offset just past the line and its ending
};

std::vector<Line> Lines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto newline = text.find('\n', start);
        const std::size_t stop = newline == std::string_view::npos ? text.size() : newline;
        lines.push_back({text.substr(start, stop - start),
                         newline == std::string_view::npos ? text.size() : newline + 1});
        start = lines.back().end;
    }
    return lines;
}

std::string_view TrimmedLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

std::optional<std::string_view> SectionName(std::string_view line) {
    line = TrimmedLeft(line);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']')
        return std::nullopt;
    return line.substr(1, line.size() - 2);
}

// The value when the line is `key=value` (blanks around the key and the "=" allowed).
std::optional<std::string_view> KeyValue(std::string_view line, std::string_view key) {
    line = TrimmedLeft(line);
    if (line.substr(0, key.size()) != key)
        return std::nullopt;
    line = TrimmedLeft(line.substr(key.size()));
    if (line.empty() || line.front() != '=')
        return std::nullopt;
    line = TrimmedLeft(line.substr(1));
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

} // namespace

std::string QuoteUnitWord(std::string_view word) {
    std::string out = "\"";
    for (const char c : word) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
        if (c == '%')
            out += '%';
    }
    return out + "\"";
}

std::string RenderUnit(const UnitDescription& unit) {
    std::string text =
        "# The Quillmarch service, written by its Install Service command. The folders it may\n"
        "# write are those of the job at installation: install it again after moving the job.\n"
        "[Unit]\n"
        "Description=Quillmarch: index files to BIF batch import files\n"
        "After=local-fs.target remote-fs.target\n"
        "\n"
        "[Service]\n"
        "Type=notify\n"
        "NotifyAccess=main\n";
    text += "ExecStart=" + unit.execStart + "\n";
    // `systemctl reload`: the service reads its job again between runs.
    text += "ExecReload=/bin/kill -HUP $MAINPID\n";
    if (!unit.workingDirectory.empty())
        text += "WorkingDirectory=" + DoublePercent(unit.workingDirectory) + "\n";
    if (!unit.user.empty())
        text += "User=" + DoublePercent(unit.user) + "\n";
    for (const auto& [name, value] : unit.environment)
        text += "Environment=" + QuoteUnitWord(name + "=" + value) + "\n";
    // A stop lets the index file being converted finish; a large one with images to move
    // across file systems takes a while.
    text += "TimeoutStopSec=10min\n";
    text += "UMask=0027\n";
    text += Confinement;
    if (unit.runsAsRoot) {
        // Root keeps only what reading and writing other users' job folders needs.
        text += "CapabilityBoundingSet=CAP_DAC_OVERRIDE CAP_DAC_READ_SEARCH CAP_FOWNER\n";
    } else {
        text += "CapabilityBoundingSet=\n";
        text += "RemoveIPC=yes\n";
    }
    text += "AmbientCapabilities=\n";
    for (const std::string& path : unit.writablePaths)
        text += "ReadWritePaths=" + QuoteUnitWord("-" + path) + "\n";
    if (unit.startsWithSystem)
        text += "\n[Install]\nWantedBy=default.target\n";
    return text;
}

std::string EncodeSettingValue(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        const bool edge = i == 0 || i + 1 == value.size();
        if (c < 0x20 || c == 0x7f || c == '%' || (edge && c == ' ') ||
            (i + 1 == value.size() && c == '\\')) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string DecodeSettingValue(std::string_view text) {
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && digit(text[i + 1]) >= 0 &&
            digit(text[i + 2]) >= 0) {
            out += static_cast<char>(digit(text[i + 1]) * 16 + digit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<std::string> FindUnitValue(std::string_view unitText, std::string_view section,
                                         std::string_view key) {
    bool inSection = false;
    for (const Line& line : Lines(unitText)) {
        if (const auto name = SectionName(line.text)) {
            inSection = *name == section;
            continue;
        }
        if (inSection) {
            if (const auto value = KeyValue(line.text, key))
                return std::string(*value);
        }
    }
    return std::nullopt;
}

std::string SetUnitValue(std::string_view unitText, std::string_view section, std::string_view key,
                         std::string_view value) {
    const std::string newLine = std::string(key) + "=" + std::string(value) + "\n";
    bool inSection = false;
    std::optional<std::size_t> sectionEnd; // where a new line of the section goes
    std::size_t start = 0;
    for (const Line& line : Lines(unitText)) {
        if (const auto name = SectionName(line.text)) {
            if (inSection)
                break;
            inSection = *name == section;
        } else if (inSection && KeyValue(line.text, key)) {
            return std::string(unitText.substr(0, start)) + newLine +
                   std::string(unitText.substr(line.end));
        }
        if (inSection && !TrimmedLeft(line.text).empty())
            sectionEnd = line.end;
        start = line.end;
    }
    std::string text(unitText);
    if (sectionEnd) {
        std::string before = text.substr(0, *sectionEnd);
        if (!before.empty() && before.back() != '\n')
            before += '\n';
        return before + newLine + text.substr(*sectionEnd);
    }
    if (!text.empty() && text.back() != '\n')
        text += '\n';
    return text + "\n[" + std::string(section) + "]\n" + newLine;
}

} // namespace qm
