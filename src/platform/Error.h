#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qm {

// Every error number raised: the classic run-time numbers (below 1000, failures of the
// machine among them), then the numbers of the system's own failures.
namespace errnum {
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t OutOfMemory = 7;
inline constexpr std::int32_t SubscriptOutOfRange = 9;
inline constexpr std::int32_t TypeMismatch = 13;
inline constexpr std::int32_t ImageFileExists = 21;   // "File Exists" answered Cancel
inline constexpr std::int32_t SourceFileMissing = 23; // "Source File is Missing" answered No
inline constexpr std::int32_t InternalError = 51;
inline constexpr std::int32_t FileNotFound = 53;
inline constexpr std::int32_t FileAlreadyExists = 58;
inline constexpr std::int32_t DiskFull = 61;
inline constexpr std::int32_t InputPastEndOfFile = 62;
inline constexpr std::int32_t PermissionDenied = 70;
inline constexpr std::int32_t PathFileAccessError = 75;
inline constexpr std::int32_t PathNotFound = 76;
inline constexpr std::int32_t ImageFolderUnknown = 301; // no image folder, image not beside
inline constexpr std::int32_t InvalidPropertyValue = 380;
inline constexpr std::int32_t ImagePathFieldMissing = 1000;
inline constexpr std::int32_t DocumentTypeMissing = 1001;
inline constexpr std::int32_t MoveLeavesFolder = 1002;
inline constexpr std::int32_t JournalIgnored = 1020;
inline constexpr std::int32_t CannotServeJob = 1030; // the service cannot run the job installed
} // namespace errnum

// A numbered failure with the source that raised it and a description. Every operation
// that can fail raises this; the one error reporter shows number and description.
class Error : public std::runtime_error {
public:
    Error(std::int32_t number, std::string source, std::string description);

    std::int32_t number() const noexcept { return number_; }
    const std::string& source() const noexcept { return source_; }
    const std::string& description() const noexcept { return description_; }

private:
    std::int32_t number_;
    std::string source_;
    std::string description_;
};

// The error for a failed system call on `path`: the classic number that errno maps to and
// its description followed by ": " and the path.
Error MachineError(int errnoValue, const std::string& path);

// A machine error raised without errno, such as "File not found: x".
Error PathError(std::int32_t number, const std::string& path, const std::string& detail = {});

} // namespace qm
