#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qm {

// The names of one folder as a single read of it found them: many lookups in one folder cost
// one listing rather than a system call each. It tells only what it holds. A name it lacks
// may have been made since, or be spelled otherwise on a file system that ignores case, so
// the caller looks that up as usual, unless tellsMissing().
class FolderListing {
public:
    struct Listed {
        unsigned char type = 0; // the listing's DT_REG, DT_LNK, DT_DIR...; DT_UNKNOWN tells nothing
        std::uint64_t inode = 0;
    };

    // Reads the folder `folder` (any descriptor of it, O_PATH too). False, holding nothing,
    // when the folder is larger than `maxBytes` as the system counts a folder's size or holds
    // more than `maxNames` names, lies on a file system whose listing is not known to give the
    // inode numbers stat gives, or cannot be read.
    bool read(int folder, std::size_t maxBytes, std::size_t maxNames);

    // What the listing says of `name`, or nullptr when it does not hold it.
    const Listed* find(std::string_view name) const;

    // The device of the folder read, which every name it holds but a mount point lies on.
    std::uint64_t device() const { return device_; }

    // True when a name the listing lacks was not in the folder when it was read: the folder
    // matches names byte for byte (no case folding).
    bool tellsMissing() const { return tellsMissing_; }

    void clear();

private:
    std::vector<char> bytes_; // the system's records; names_ points into them
    std::unordered_map<std::string_view, Listed> names_;
    std::uint64_t device_ = 0;
    bool tellsMissing_ = false;
};

} // namespace qm
