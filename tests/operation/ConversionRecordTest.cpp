// The record of each index file in the system log, from real runs on real files.

#include "convert/JobRunner.h"
#include "operation/ConversionLog.h"
#include "support/FaultyFileSystem.h"
#include "support/TestWorld.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace qm {
namespace {

namespace fs = std::filesystem;

TEST(ConversionRecordTest, OneInfoLinePerIndexFileTable) {
    struct Case {
        const char* name;
        bool remove;
        bool move;
        bool bifTaken;
        bool broken; // the job names no ImagePath field
        // "@" stands for the temporary folder; the BIF file is named as the job's path text
        // names it, the folder joined with "\".
        const char* expected;
    };
    const Case cases[] = {
        {"converted", false, false, false, false,
         "Converted @/in/a.csv into @/out\\result.bif: 2 documents, 0 images moved, index file "
         "kept"},
        {"removed", true, false, false, false,
         "Converted @/in/a.csv into @/out\\result.bif: 2 documents, 0 images moved, index file "
         "removed"},
        {"images moved", false, true, false, false,
         "Converted @/in/a.csv into @/out\\result.bif: 2 documents, 2 images moved, index file "
         "kept"},
        {"numbered", true, false, true, false,
         "Converted @/in/a.csv into @/out\\result1.bif: 2 documents, 0 images moved, index file "
         "removed"},
        {"failed", true, false, false, true,
         "Not converted: @/in/a.csv (Error in Convert CSV to BIF: 1000 - ImagePath field is "
         "missing!  Cannot process file!; Line # 1); the index file stays"},
    };
    for (const Case& c : cases) {
        test::TestWorld w;
        w.useRepeatedJob();
        w.job.setText(TextField::CurrentConfigFile, w.temp.path("job.sbf"));
        w.job.setFlag(MenuField::RemoveProcessed, c.remove);
        w.job.setCheck(CheckField::MoveFiles, c.move ? CheckState::Checked : CheckState::Unchecked);
        if (c.broken)
            w.job.setText(TextField::FieldNames, "Name|Other");
        w.temp.write("in/a.csv", "One,a.tif\r\nTwo,b.tif\r\n");
        w.temp.write("img/a.tif", "A");
        w.temp.write("img/b.tif", "B");
        fs::create_directories(w.temp.path("out"));
        if (c.bifTaken)
            w.temp.write("out/result.bif", "earlier");
        ConversionLog record(w.systemLog);
        w.context.observer = &record;

        const RunSummary summary = RunJob(w.context);

        std::string expected = c.expected;
        for (auto at = expected.find('@'); at != std::string::npos; at = expected.find('@'))
            expected.replace(at, 1, w.temp.path());
        // Other events (the failure's own report) are not part of the record.
        std::vector<std::string> lines;
        for (const auto& event : w.systemLog.events) {
            if (event.id == ConversionEventId) {
                EXPECT_EQ(event.type, EventType::Information) << c.name;
                lines.push_back(event.text);
            }
        }
        EXPECT_EQ(lines, std::vector<std::string>{expected}) << c.name;
        EXPECT_EQ(summary.documents, c.broken ? 0 : 2) << c.name;
        EXPECT_EQ(record.totals().failures, c.broken ? 1 : 0) << c.name;
    }
}

TEST(ConversionRecordTest, AConversionWhoseIndexFileCannotBeDeletedIsStillRecorded) {
    test::TestWorld w;
    w.useRepeatedJob();
    w.job.setText(TextField::CurrentConfigFile, w.temp.path("job.sbf"));
    w.temp.write("in/a.csv", "One,a.tif\r\n");
    w.temp.write("in/b.csv", "Two,b.tif\r\n");
    test::FaultyFileSystem faulty(w.files, {test::FileOp::Delete});
    test::Fault fault;
    fault.at = 1;
    fault.errnoValue = EACCES;
    faulty.arm(fault);
    Context context{faulty, w.tools, w.host, w.job, w.process, w.log, w.reporter};
    ConversionLog record(w.systemLog);
    context.observer = &record;

    const RunSummary summary = RunJob(context);

    // The run ends at the failed deletion: one file converted, its index file kept.
    EXPECT_EQ(summary.converted, 1);
    ASSERT_EQ(record.totals().bifFiles, 1);
    std::string line;
    for (const auto& event : w.systemLog.events)
        if (event.id == ConversionEventId)
            line = event.text;
    EXPECT_NE(line.find(": 1 document, 0 images moved, index file kept"), std::string::npos)
        << line;
}

} // namespace
} // namespace qm
