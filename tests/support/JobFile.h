#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm::test {

// A job file (.sbf) of these lines, each ended with `end`.
inline std::string SbfLines(const std::vector<std::string>& lines, std::string_view end = "\r\n") {
    std::string text;
    for (const std::string& line : lines)
        (text += line) += end;
    return text;
}

// A whole job file, line by line in file order; the defaults are what most tests leave alone.
struct SbfJob {
    std::string version = "1";
    std::string indexFile{}, bifFile{}, imageFolder{};
    std::string docType = "Invoice";
    std::string folder{};
    std::string delimiter = ",";
    std::string maxFiles = "2500";
    std::string fieldNames = "IMAGEPATH|Name|Amount";
    std::string append = "0", createFolder = "0", deleteImages = "0", moveFiles = "0";
    std::string removeProcessed = "False", allowDupes = "False", promptWhenFinished = "False",
                skipHeader = "False";

    std::string text(std::string_view end = "\r\n") const {
        return SbfLines({version, indexFile, bifFile, imageFolder, docType, folder, delimiter,
                         maxFiles, fieldNames, append, createFolder, deleteImages, moveFiles,
                         removeProcessed, allowDupes, promptWhenFinished, skipHeader},
                        end);
    }
};

// A job in the working folder with paths relative to it: index files in in/, images in scans/
// moved beside the BIF file out\batch.bif.
inline SbfJob RelativeMovingJob() {
    return {.indexFile = "in\\*.csv",
            .bifFile = "out\\batch.bif",
            .imageFolder = "scans",
            .folder = "/Finance",
            .moveFiles = "1"};
}

} // namespace qm::test
