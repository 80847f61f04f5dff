#include <filesystem>

#include "runfiles/runfiles.h"
#include "test_support.h"

namespace varno {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names(const fs::path& dir) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir)) found.push_back(e.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}

TEST(OutputFile, PreviousFileStaysUntilCommitAndDiscardLeavesNothing) {
    test::TempDir dir;
    dir.write("out.txt", "previous\n");
    {
        OutputFile out;
        out.open(dir.path().string(), "out.txt");
        std::fputs("new\n", out.stream());
        std::fflush(out.stream());
        EXPECT_EQ(test::readFile(dir.file("out.txt")), "previous\n");
        EXPECT_EQ(names(dir.path()).size(), 2u);
    }  // not committed
    EXPECT_EQ(names(dir.path()), std::vector<std::string>{"out.txt"});
    EXPECT_EQ(test::readFile(dir.file("out.txt")), "previous\n");

    OutputFile out;
    out.open(dir.path().string(), "out.txt");
    std::fputs("new\n", out.stream());
    out.commit();
    EXPECT_EQ(test::readFile(dir.file("out.txt")), "new\n");
    EXPECT_EQ(names(dir.path()), std::vector<std::string>{"out.txt"});
}

TEST(OutputFile, LinkToAFileKeepsTheLinkAndDevicesAreWrittenInPlace) {
    test::TempDir dir;
    dir.write("target.txt", "old\n");
    fs::create_symlink(dir.file("target.txt"), dir.file("link.txt"));
    OutputFile out;
    out.open(dir.path().string(), "link.txt");
    std::fputs("through the link\n", out.stream());
    out.commit();
    EXPECT_TRUE(fs::is_symlink(dir.file("link.txt")));
    EXPECT_EQ(test::readFile(dir.file("target.txt")), "through the link\n");

    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full: the full-disk case was skipped";
    OutputFile full;
    full.open("/dev", "full");
    EXPECT_EQ(full.writingPath(), "/dev/full");
    std::fputs("x\n", full.stream());
    try {
        full.commit();
        ADD_FAILURE() << "a write to a full disk passed";
    } catch (const InputError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot write /dev/full: No space left on device");
    }
}

TEST(OutputFile, MissingDirectoryIsNamed) {
    test::TempDir dir;
    OutputFile out;
    EXPECT_THROW(out.open(dir.file("absent"), "out.txt"), InputError);
    makeOutputDirectory(dir.file("a/b"));
    out.open(dir.file("a/b"), "out.txt");
    out.commit();
    EXPECT_TRUE(fs::exists(dir.file("a/b/out.txt")));
    removeOutput(dir.file("a/b"), "out.txt");
    EXPECT_FALSE(fs::exists(dir.file("a/b/out.txt")));
}

TEST(RunLock, OneHolderAtATimeAndNothingLeftAfterRelease) {
    test::TempDir dir;
    RunLock first;
    ASSERT_TRUE(first.acquire(dir.path().string()));
    RunLock second;  // a second open file description conflicts as a second process would
    EXPECT_FALSE(second.acquire(dir.path().string()));
    first.release();
    EXPECT_TRUE(names(dir.path()).empty());
    EXPECT_TRUE(second.acquire(dir.path().string()));
}

TEST(ScratchDirectory, PrivateUnderTmpdirAndRemovedWithItsContent) {
    test::TempDir tmp;
    const char* saved = std::getenv("TMPDIR");
    const std::string savedValue = saved != nullptr ? saved : "";
    setenv("TMPDIR", tmp.path().c_str(), 1);
    {
        ScratchDirectory scratch;
        scratch.create();
        EXPECT_EQ(fs::path(scratch.path()).parent_path(), tmp.path());
        EXPECT_EQ(fs::status(scratch.path()).permissions(), fs::perms::owner_all);
        std::ofstream(scratch.path() + "/ZZ-A") << "x";
    }
    if (saved != nullptr) {
        setenv("TMPDIR", savedValue.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
    EXPECT_TRUE(names(tmp.path()).empty());
}

}  // namespace
}  // namespace varno
