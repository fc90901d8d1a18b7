#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

class FileSystem;

// An index file comes from another machine; what it says must never make the program move,
// rename or overwrite a file outside the folders the job names. With moving on, every image
// move is held to one rule before anything is touched for its line: the source lies inside the
// image folder and the target inside the BIF folder.

// True when `path` lies strictly below `folder`, both judged where they really lead: "." and
// ".." resolved, symbolic links followed for the parts that exist (FileSystem::resolvedPath).
// When either cannot be mapped to the host (an unmapped drive or share), nothing there can be
// touched and the texts are compared instead, "." and ".." resolved on the text; a path that
// cannot be resolved otherwise (a loop of links) does not lie inside.
// `resolvedFolder`, when not empty, is where `folder` was found to lead: a conversion resolves
// its folders once, not on every line.
bool LiesInside(FileSystem& files, const std::string& path, const std::string& folder,
                std::string_view resolvedFolder = {});

// Where the image folder and the BIF folder lead, "" for one not resolved.
struct ResolvedFolders {
    std::string_view images;
    std::string_view bif;
};

// Raises error 1002 ("Convert CSV to BIF") naming the line's image path and the folder it
// leaves when the move from `source` to `target` breaks the rule above.
void CheckConfinedMove(FileSystem& files, const std::string& imagePath, const std::string& source,
                       const std::string& imageFolder, const std::string& target,
                       const std::string& bifFolder, ResolvedFolders resolved = {});

// Raises that error for the line's image path and the folder it leaves.
[[noreturn]] void RaiseMoveLeaves(const std::string& imagePath, const std::string& folder);

// Where a path lies for ConfinedMoves (FileSystem::openConfined): its folder resolved as
// resolvedPath resolves it, its last name as written (a link there is the move's own business).
enum class Placement : std::uint8_t {
    Below,       // `part` holds the path below the folder
    Unreachable, // the path or the folder cannot be mapped to the host: nothing there exists
    Outside,     // it does not lie below the folder (or its last name is "", "." or "..")
};

// The last folder text PartBelow resolved and where it led, so that lines of one folder resolve
// it once. A stale entry cannot do harm: a part is only ever used beneath a descriptor.
struct ResolvedFolderCache {
    std::string text;
    std::string resolved;
};

// `resolvedFolder` is FileSystem::resolvedPath of the folder, "" when it could not be mapped.
Placement PartBelow(FileSystem& files, const std::string& path, const std::string& resolvedFolder,
                    std::string& part, ResolvedFolderCache* cache = nullptr);

} // namespace qm
