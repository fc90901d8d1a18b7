#include "convert/BifNames.h"

#include "support/TestWorld.h"

#include <gtest/gtest.h>

namespace qm::test {
namespace {

// Successive picks of one run: numbers found in the folder and numbers handed out are never
// picked, and a file that appears after the folder was read is still seen.
TEST(BifNamesTest, PicksAcrossARun) {
    struct Case {
        const char* name;
        std::vector<std::string> before; // files in the folder before the run
        std::string wanted;
        std::vector<std::string> picks; // each pick is made into a file unless it ends in "!"
        std::string appears;            // a file another process writes after the first pick
    } const cases[] = {
        {"free name", {}, "job.bif", {"job.bif", "job1.bif", "job2.bif"}, ""},
        {"gaps are filled",
         {"job.bif", "job2.bif", "job3.bif", "job5.bif"},
         "job.bif",
         {"job1.bif", "job4.bif", "job6.bif"},
         ""},
        {"handed out but never written", {"job.bif"}, "job.bif", {"job1.bif!", "job2.bif"}, ""},
        {"appears after the folder was read",
         {"job.bif"},
         "job.bif",
         {"job1.bif", "job3.bif"},
         "job2.bif"},
        {"no dot", {"output", "output1"}, "output", {"output2", "output3"}, ""},
        {"other names are no numbers",
         {"job.bif", "job01.bif", "jobs1.bif", "job1.csv"},
         "job.bif",
         {"job1.bif"},
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld w;
        const std::string folder = w.temp.path("out");
        for (const std::string& file : c.before)
            w.temp.write("out/" + file, "");
        w.temp.write("out/keep", "");
        BifNames names(w.files, w.tools);
        for (std::string pick : c.picks) {
            const bool written = pick.back() != '!';
            if (!written)
                pick.pop_back();
            EXPECT_EQ(names.freeName(folder, folder + "/" + c.wanted), pick);
            if (written)
                w.temp.write("out/" + pick, "");
            if (!c.appears.empty())
                w.temp.write("out/" + c.appears, "");
        }
    }
}

} // namespace
} // namespace qm::test
