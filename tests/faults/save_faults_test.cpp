// Saves of varnoke-pcx-convert under injected system-call failures (the fail_calls shim,
// put in front of the C library with LD_PRELOAD). Each failure must end with one clear
// line and exit status 1, the earlier files byte-identical and no file left behind; a
// file system without hard links must still save.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

namespace fs = std::filesystem;
using varnoke::test::ProgramRun;
using varnoke::test::runCommand;

struct Case {
    const char* extras;  // the outputs besides pic.scr and pic.pal
    const char* fail;    // VARNOKE_FAIL
    bool saves;
};

// Calls in a save of pic.scr and pic.pal over earlier files: open 1 reads the picture,
// opens 2 and 3 create the temporary files, write and fsync 1 and 2 fill and flush them,
// link 1 and 2 keep the earlier files, rename 1 and 2 put the new ones in place, open 4
// and fsync 3 flush the folder. A preview or a disc image is written third.
const Case kCases[] = {
    {"", "link:*:EPERM", true},  // no hard links (FAT, exFAT): the earlier files are copied
    {"", "link:*:EPERM,rename:2", false},
    {"", "link:*:EPERM,fsync:5", false},
    {"", "open:2", false},
    {"", "open:3", false},
    {"", "write:1", false},
    {"", "write:2:ENOSPC", false},
    {"", "fsync:1", false},
    {"", "fsync:2", false},
    {"", "rename:1", false},
    {"", "rename:2", false},
    {"", "open:4", false},
    {"", "fsync:3", false},
    {"--preview pic.png", "rename:3", false},
    {"--preview pic.png", "write:3", false},
    {"--dsk pics.dsk", "rename:3", false},
    {"--dsk pics.dsk", "link:*:EPERM,rename:3", false},
    {"--dsk pics.dsk", "link:*:EPERM", true},
};

// The converter run in `folder` on `picture`, to pic.scr.
ProgramRun convert(const fs::path& folder, const std::string& picture, const std::string& extras,
                   const std::string& environment = "") {
    return runCommand("cd '" + folder.string() + "' && " + environment + " " + VARNOKE_CONVERTER + " " + extras + " " +
                      VARNOKE_SAMPLES_DIR + "/" + picture + " pic.scr");
}

TEST(SaveFaults, EveryFailureKeepsTheEarlierFilesAndLeavesNothingBehind) {
    const varnoke::test::TestFolder root;
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.extras) + " with " + c.fail);
        // The earlier files, and what a save without failures makes of them.
        const fs::path earlier = root / "earlier";
        const fs::path expected = root / "expected";
        const fs::path folder = root / "folder";
        for (const fs::path& f : {earlier, expected, folder}) {
            fs::remove_all(f);
            fs::create_directories(f);
        }
        ASSERT_EQ(convert(earlier, "sunset-mode0.pcx", c.extras).status, 0);
        fs::copy(earlier, expected);
        ASSERT_EQ(convert(expected, "sunset-mode1.pcx", c.extras).status, 0);
        fs::copy(earlier, folder);
        const fs::path mark = root / "mark";
        fs::remove(mark);

        const ProgramRun run =
            convert(folder, "sunset-mode1.pcx", c.extras,
                    "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" VARNOKE_FAIL_CALLS " VARNOKE_FAIL_MARK=" +
                        mark.string() + " VARNOKE_FAIL=" + c.fail);
        EXPECT_TRUE(fs::exists(mark)) << "the failure was not injected";
        const fs::path& outcome = c.saves ? expected : earlier;
        EXPECT_EQ(run.status, c.saves ? 0 : 1) << run.err;
        if (!c.saves) {
            EXPECT_TRUE(run.err.starts_with("varnoke-pcx-convert: nothing written: ")) << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
        const ProgramRun diff = runCommand("diff -r '" + folder.string() + "' '" + outcome.string() + "'");
        EXPECT_EQ(diff.status, 0) << "the files differ from those of " << outcome << ":\n" << diff.out;
    }
}

}  // namespace
