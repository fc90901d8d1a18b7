#pragma once

#include <string>
#include <unordered_set>

namespace qm {

class FileSystem;
class FileTools;

// A wanted BIF file name and the parts its numbered forms are made of: stem + number +
// suffix ("output" + "1" + ".bif"; a name without "." has no suffix).
struct BifNameParts {
    std::string name;
    std::string stem;
    std::string suffix;

    std::string numbered(long long number) const { return stem + std::to_string(number) + suffix; }
};

// Raises 75 when `bifPath` names no file.
BifNameParts SplitBifName(FileTools& tools, const std::string& bifPath);

// The one search for a free BIF name, for a run and for a check alike: the wanted name while
// `taken(name, 0)` is false, else the first numbered form, asked as `taken(name, n)` for n
// from `lowest` up. `lowest` is raised past the number returned: the numbers below it are
// never free again, as a run hands each out once.
template <class Taken>
std::string FreeBifName(const BifNameParts& parts, long long& lowest, Taken&& taken) {
    if (!taken(parts.name, 0LL))
        return parts.name;
    for (long long n = lowest;; ++n) {
        std::string name = parts.numbered(n);
        if (!taken(name, n)) {
            lowest = n + 1;
            return name;
        }
    }
}

// Raises 58 when a folder has the BIF file's path: the final rename would fail after all the
// work, and after the images were moved; better said before.
void RefuseFolderNamed(FileSystem& files, const std::string& bifPath);

// Free names for the BIF files of one run. When the wanted name is taken, the first number
// n >= 1 for which no file is named stem + n + suffix is used ("output" -> "output1",
// "job.bif" -> "job1.bif"). The BIF folder is read once per run, not once per index file: the
// names found there and the names handed out are kept, so a run writing many BIF files
// into a folder that holds thousands does not read it again for each of them. Another process
// may write into the folder meanwhile, so each picked name is still confirmed on the disk.
class BifNames {
public:
    BifNames(FileSystem& files, FileTools& tools);

    // The name (without folder) to write `bifPath` under in `bifFolder`: its own name while
    // no file has it, else the first free numbered form. The number is kept as taken.
    std::string freeName(const std::string& bifFolder, const std::string& bifPath);

private:
    FileSystem& files_;
    FileTools& tools_;
    // What the lowest free number is a number of; another folder or name starts afresh.
    std::string folder_;
    BifNameParts parts_;
    bool read_ = false;
    std::unordered_set<std::string> taken_;
    long long lowest_ = 1; // no number below it is free
};

} // namespace qm
