#include "settings/ConfigFileShape.h"

namespace qm {

namespace {

constexpr int ConfigLineCount = 17;

// UTF-16 text in the Latin range is every second byte NUL; a byte-order mark says it outright.
bool LooksLikeUtf16(std::string_view bytes) {
    if (bytes.starts_with("\xff\xfe") || bytes.starts_with("\xfe\xff"))
        return true;
    std::size_t even = 0;
    std::size_t odd = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\0')
            ++(i % 2 == 0 ? even : odd);
    }
    const std::size_t nuls = even + odd;
    return nuls * 4 >= bytes.size() && (even == 0 || odd == 0) && nuls > 0;
}

// The offset of the first byte that no text file holds (controls other than tab, CR and LF),
// or npos.
std::size_t FirstControlByte(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if ((byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n') || byte == 0x7f)
            return i;
    }
    return std::string_view::npos;
}

std::string LinesText(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " line" : " lines");
}

} // namespace

std::vector<ConfigFileProblem> ConfigFileProblems(std::string_view bytes) {
    std::vector<ConfigFileProblem> problems;
    if (bytes.size() >= ConfigFileLookLimit) {
        problems.push_back({0, false, "the file is over 1 MiB long: it is no job file"});
        return problems;
    }
    if (LooksLikeUtf16(bytes)) {
        problems.push_back({0, false,
                            "the file is UTF-16 text, not 8-bit text: its settings load as "
                            "bytes with NULs between them; save it in the system's code page"});
        return problems;
    }
    if (const std::size_t at = FirstControlByte(bytes); at != std::string_view::npos) {
        problems.push_back({0, false,
                            "the file is not text (a control byte at offset " + std::to_string(at) +
                                "): it is no job file"});
        return problems;
    }

    // Lines end as the loader ends them: at CR LF, a lone CR or a lone LF.
    std::vector<std::string_view> lines;
    std::size_t crlf = 0;
    std::size_t lf = 0;
    std::size_t cr = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        lines.push_back(bytes.substr(start, i - start));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            ++crlf;
            ++i;
        } else {
            ++(bytes[i] == '\n' ? lf : cr);
        }
        start = i + 1;
    }
    if (start < bytes.size())
        lines.push_back(bytes.substr(start));

    const std::size_t count = lines.size();
    if (count < ConfigLineCount)
        problems.push_back(
            {0, false,
             "the file has " + std::to_string(count) + " of its 17 lines: the settings of lines " +
                 std::to_string(count + 1) + " to 17 are not in it and keep the values they had"});
    else if (count > ConfigLineCount)
        problems.push_back(
            {0, false, "the file has " + LinesText(count) + ", not 17: lines 18 on are ignored"});
    if (!lines.empty() && lines.front() != "1")
        problems.push_back({1, false,
                            "the format version is \"" + std::string(lines.front()) +
                                "\", not 1: the lines are loaded as those of version 1"});
    if (lf + cr > 0) {
        const char* which = crlf + cr == 0   ? "the lines end with LF"
                            : crlf + lf == 0 ? "the lines end with CR"
                                             : "some lines end with a lone LF or CR";
        problems.push_back({0, true, std::string(which) + ", not CR LF: they load the same"});
    }
    return problems;
}

} // namespace qm
