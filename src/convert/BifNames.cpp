#include "convert/BifNames.h"

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/FileTools.h"

namespace qm {

long long NumberInName(std::string_view name, std::string_view stem, std::string_view suffix) {
    if (name.size() <= stem.size() + suffix.size() || !name.starts_with(stem) ||
        !name.ends_with(suffix))
        return -1;
    const std::string_view digits =
        name.substr(stem.size(), name.size() - stem.size() - suffix.size());
    if (digits.front() == '0' || digits.size() > 18 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
        return -1;
    long long number = 0;
    for (const char digit : digits)
        number = number * 10 + (digit - '0');
    return number;
}

BifNames::BifNames(FileSystem& files, FileTools& tools) : files_(files), tools_(tools) {}

void BifNames::readFolder(const std::string& bifFolder) {
    taken_.clear();
    lowest_ = 1;
    for (const std::string& path : files_.listFiles(bifFolder)) {
        const long long number = NumberInName(tools_.GetFName(path), stem_, suffix_);
        if (number > 0)
            taken_.insert(number);
    }
    read_ = true;
}

std::string BifNames::freeName(const std::string& bifFolder, const std::string& bifPath) {
    std::string name = tools_.GetFName(bifPath);
    if (name.empty())
        throw PathError(errnum::PathFileAccessError, bifPath, "no file name");
    if (!files_.fileExists(bifFolder + "\\" + name))
        return name;

    std::string stem = tools_.GetFBase(bifPath);
    const std::size_t dot = stem.rfind('.');
    const bool hasDot = dot != std::string::npos;
    if (hasDot)
        stem.resize(dot);
    std::string suffix = hasDot ? "." + tools_.GetFExt(bifPath) : "";
    if (!read_ || folder_ != bifFolder || stem_ != stem || suffix_ != suffix) {
        folder_ = bifFolder;
        stem_ = std::move(stem);
        suffix_ = std::move(suffix);
        readFolder(bifFolder);
    }
    for (long long n = lowest_;; ++n) {
        if (taken_.contains(n))
            continue;
        name = stem_ + std::to_string(n) + suffix_;
        taken_.insert(n);
        lowest_ = n + 1;
        // It may have appeared since the folder was read.
        if (!files_.fileExists(bifFolder + "\\" + name))
            return name;
    }
}

} // namespace qm
