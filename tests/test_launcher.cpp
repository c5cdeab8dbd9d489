// The release's launcher, run as a viewer would start it, in a release folder whose show is a
// script that reports what it was given.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/process.h"

namespace fs = std::filesystem;

namespace {

// Prints its process, its parent, its working folder and its arguments; ends as FAKE_END says.
const char fakeShow[] = R"sh(#!/bin/sh
echo "ppid $PPID"
echo "cwd $(pwd -P)"
for a in "$@"; do echo "arg [$a]"; done
case "$FAKE_END" in
  status*) exit ${FAKE_END#status } ;;
  signal*) kill -${FAKE_END#signal } $$ ;;
esac
)sh";

class Launcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/show-launcher-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch = pattern;
        release = scratch + "/a release folder";
        fs::create_directories(release + "/bin");
        fs::create_directories(scratch + "/elsewhere");
        launcher = release + "/" SHOW_NAME;
        fs::copy_file(SHOW_LAUNCHER, launcher);
        show = release + "/bin/" SHOW_NAME;
        writeWholeFile(show, fakeShow);
        fs::permissions(show, fs::perms(0755));
    }
    void TearDown() override { fs::remove_all(scratch); }

    ProcessResult start(const std::vector<std::string> &argv, const std::string &workDir,
                        const std::vector<std::string> &env = {})
    {
        ProcessOptions options;
        options.workDir = workDir;
        options.setEnv = env;
        options.timeoutSeconds = 20;
        return runProcess(argv, options);
    }

    std::string scratch, release, launcher, show;
};

TEST_F(Launcher, StartsTheShowInItsOwnFolderHoweverItIsStarted)
{
    fs::create_symlink(launcher, scratch + "/elsewhere/link");
    struct Case {
        const char *what;
        std::vector<std::string> argv;
        std::string workDir;
        std::vector<std::string> env;
    };
    const Case cases[] = {
        {"by its full path from another folder", {launcher}, "/", {}},
        {"by a relative path", {"./a release folder/" SHOW_NAME}, scratch, {}},
        {"through a symbolic link in another folder", {"./link"}, scratch + "/elsewhere", {}},
        {"by its name, found on PATH", {SHOW_NAME}, "/", {"PATH=" + release + ":/usr/bin:/bin"}},
    };
    const std::string expected = "ppid " + std::to_string(getpid()) + "\ncwd " +
                                 fs::canonical(release).string() + "\n";
    for (const Case &c : cases) {
        ProcessResult run = start(c.argv, c.workDir, c.env);
        EXPECT_EQ(run.status, 0) << c.what << ": " << run.err;
        // The parent of the show is this test: the launcher became the show, it did not start a child.
        EXPECT_EQ(run.out, expected) << c.what;
        EXPECT_EQ(run.err, "") << c.what;
    }
}

TEST_F(Launcher, PassesArgumentsOnAndTheShowsEndBack)
{
    struct Case {
        const char *what;
        std::vector<std::string> args;
        std::string fakeEnd;
        int status;
    };
    const Case cases[] = {
        {"arguments unchanged, blanks and empty ones too", {"one", "two words", "", "*"}, "", 0},
        {"the show's exit status", {}, "status 3", 3},
        {"an audio failure's status, -1", {}, "status 255", 255},
        {"the signal that ended the show", {}, "signal TERM", 128 + 15},
    };
    for (const Case &c : cases) {
        std::vector<std::string> argv = {launcher};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ProcessResult run = start(argv, "/", {"FAKE_END=" + c.fakeEnd});
        EXPECT_EQ(run.status, c.status) << c.what << ": " << run.err;
        std::string given;
        for (const std::string &line : splitLines(run.out))
            if (line.rfind("arg ", 0) == 0)
                given += line.substr(4);
        std::string expected;
        for (const std::string &a : c.args)
            expected += "[" + a + "]";
        EXPECT_EQ(given, expected) << c.what;
    }
}

TEST_F(Launcher, AShowItCannotStartIsOneLineAndTheShellsStatus)
{
    struct Case {
        const char *what;
        void (*damage)(const std::string &show);
        int status;
        const char *reason;
    };
    const Case cases[] = {
        {"show missing", [](const std::string &s) { fs::remove(s); }, 127, "No such file or directory"},
        {"show not executable", [](const std::string &s) { fs::permissions(s, fs::perms(0644)); }, 126,
         "Permission denied"},
    };
    for (const Case &c : cases) {
        c.damage(show);
        ProcessResult run = start({launcher}, "/");
        EXPECT_EQ(run.status, c.status) << c.what;
        EXPECT_EQ(run.out, "") << c.what;
        const std::string line = launcher + ": cannot start " + fs::canonical(release).string() +
                                 "/bin/" SHOW_NAME ": " + c.reason + "\n";
        EXPECT_EQ(run.err, line) << c.what;
        writeWholeFile(show, fakeShow);
        fs::permissions(show, fs::perms(0755));
    }
}

} // namespace
