// Faults injected into whole runs of the built program from outside its
// files: signals at random moments, too little memory or stack, no file
// locks, scripts that stop early, random keys during listings. It must
// always end by itself, say what went wrong and never leave a wrong file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "lister/run_driver.h"
#include "tests/reference_lines.h"
#include "tests/run_lister.h"

using testing_lister::fileIn;
using testing_lister::grownTo;
using testing_lister::Options;
using testing_lister::readFile;
using testing_lister::runLister;
using testing_lister::trimmed;
using testing_reference::fileHoldsReference;
using testing_reference::referenceFile;

// TERM, INT and HUP at random moments of an n = 49 file listing: each
// ends lister, and the file holds whole lines of the listing's beginning.
TEST(FaultSignals, EndingAFileListingAtRandomMomentsLeavesWholeLines) {
    // Within the first 16 MiB, some 250 pieces: quick under the sanitizers too.
    constexpr std::uintmax_t latest = 16u << 20;
    constexpr int landings = 10;
    testing_files::TempDir home, scratch;
    Options options;
    options.executable = testing_lister::copyOfLister(home.path);
    const std::string path = fileIn(home.path, 49);
    std::mt19937_64 random(20261209u);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        int landed = 0, attempts = 0;
        // A signal that comes only after the end does not count; it is sent again.
        for (; landed < landings && attempts < 3 * landings; ++attempts) {
            std::filesystem::remove(path);
            // The signal comes once the file has grown past a random size.
            const std::uintmax_t size = std::uniform_int_distribution<std::uintmax_t>(1, latest)(random);
            options.whileRunning = [&](pid_t pid) {
                if (grownTo(path, size, pid)) kill(pid, signal);
            };
            const auto run = runLister("49\rG\r", scratch, options);
            if (run.signal == signal) ++landed;
            else ASSERT_EQ(run.status, 0) << run.errors;
            std::error_code missing;
            const std::uintmax_t bytes = std::filesystem::file_size(path, missing);
            ASSERT_FALSE(missing) << missing.message();
            ASSERT_EQ(bytes % 14, 0u) << "a partial last line, signal after " << size << " bytes";
            ASSERT_TRUE(fileHoldsReference(path, 49, bytes / 14)) << "signal after " << size << " bytes";
        }
        EXPECT_EQ(landed, landings);
        RecordProperty(std::string("attempts_") + sigabbrev_np(signal), attempts);
    }
}

// A FIFO whose reader never reads fills; TERM still ends lister.
TEST(FaultSignals, AFifoNobodyReadsStillLetsThemThrough) {
    testing_files::TempDir home, scratch;
    Options options;
    options.executable = testing_lister::copyOfLister(home.path);
    const std::string path = fileIn(home.path, 49);
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    options.whileRunning = [&](pid_t pid) {
        for (int held = 0; held < fcntl(reader, F_GETPIPE_SZ) && !testing_lister::ended(pid);)
            ioctl(reader, FIONREAD, &held);
        kill(pid, SIGTERM);
        for (int tenths = 0; tenths < 600 && !testing_lister::ended(pid); ++tenths) usleep(100000);
        kill(pid, SIGKILL);  // held up for a minute: for ever, as it was
    };
    EXPECT_EQ(runLister("49\rG\r", scratch, options).signal, SIGTERM);
    close(reader);
}

// Too little memory (a tight ulimit -v) and a 32 KB stack, the memory
// scanned until lister runs whole: below some limit the system cannot load
// it (status 127); then the screen or its thread cannot start (a line,
// status 1); then the screenshot has no memory (a line naming that, the
// normal status, the cells still dumped). Never an abort.
TEST(FaultMemory, TooLittleIsSaidInOneLineNeverAnAbort) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers need more address space and stack than any of these limits";
#endif
    testing_files::TempDir home, scratch;
    Options options;
    options.executable = testing_lister::copyOfLister(home.path);
    options.screenshot = true;
    int refused = 0, screenshotsRefused = 0;
    for (int kilobytes = 4000; kilobytes <= 40000; kilobytes += 500) {
        SCOPED_TRACE(kilobytes);
        options.prefix = {"sh", "-c",
                          "ulimit -c 0 && ulimit -s 32 && ulimit -v " + std::to_string(kilobytes) + " && exec \"$1\"",
                          "sh"};
        const auto run = runLister("7\rG\r", scratch, options);
        EXPECT_EQ(run.signal, 0) << run.errors;
        if (run.status == 127) continue;  // the system could not load it
        if (run.status == 0 && run.errors.empty()) break;  // enough for all of it
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
        if (run.status == 0) {
            EXPECT_EQ(run.errors, "lister: cannot write the screenshot " + run.screenshot + ": not enough memory\n");
            EXPECT_EQ(run.rows.size(), 71u) << "no cells dump";
            ++screenshotsRefused;
            continue;
        }
        ASSERT_EQ(run.status, 1) << run.errors;
        EXPECT_TRUE(run.errors.rfind("lister: the screen cannot start: ", 0) == 0 ||
                    run.errors.rfind("lister: the headless screen cannot open (not enough memory)", 0) == 0)
            << run.errors;
        ++refused;
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(screenshotsRefused, 0);
    EXPECT_EQ(readFile(fileIn(home.path, 7)), referenceFile(7));
    EXPECT_EQ(runLister("12\rP\r", scratch, options).status, 0) << "the screen listing on that stack";
}

TEST(FaultScripts, InputEndingAtAnyPointOfTheDialogueEndsWithStatus3) {
    testing_files::TempDir home, scratch;
    Options options;
    options.executable = testing_lister::copyOfLister(home.path);
    const std::string script = "5\r12\rx\rG\r";
    for (std::size_t length = 0; length < script.size(); ++length) {
        const auto run = runLister(script.substr(0, length), scratch, options);
        EXPECT_EQ(run.status, 3) << length;
        EXPECT_EQ(run.errors, "lister: input ended while waiting for an answer\n") << length;
    }
    EXPECT_EQ(runLister(script, scratch, options).status, 0);
    EXPECT_EQ(readFile(fileIn(home.path, 12)), referenceFile(12));
}

// Valid answers, then random bytes as keys during the listing: every run
// ends by itself, and every file holds exactly its count of whole lines.
// 1000 runs (LISTER_RANDOM_RUNS) in four shards that may run side by side.
constexpr int randomShards = 4;

class RandomKeys : public ::testing::TestWithParam<int> {};

TEST_P(RandomKeys, DuringListings) {
    const char* configured = std::getenv("LISTER_RANDOM_RUNS");
    const int runs = (configured ? std::atoi(configured) : 1000) / randomShards;
    testing_files::TempDir home, scratch;
    Options options;
    options.executable = testing_lister::copyOfLister(home.path);
    std::mt19937 random(20261208u + static_cast<unsigned>(GetParam()));
    int interrupted = 0, files = 0;
    for (int i = 0; i < runs; ++i) {
        const int n = std::uniform_int_distribution<int>(7, 20)(random);
        const bool toFile = random() % 2 == 0;
        std::string keys(std::uniform_int_distribution<std::size_t>(0, 24)(random), '\0');
        for (char& k : keys) k = static_cast<char>(random() % 5 == 0 ? 27 : random() % 256);
        const std::string script = std::to_string(n) + "\r" + (toFile ? "G" : "P") + "\r" + keys;
        std::filesystem::remove(fileIn(home.path, n));
        const auto run = runLister(script, scratch, options);
        ASSERT_EQ(run.status, 0) << "run " << i << ": " << run.errors;
        ASSERT_EQ(run.rows.size(), 71u) << "run " << i;
        const std::string report = trimmed(run.rows[70]);
        const std::int64_t total = lister::combinationsOf6(n);
        std::int64_t count = total;
        const std::string stopped = " > PROCESO INTERRUMPIDO. GENERADAS:  ";
        if (report.rfind(stopped, 0) == 0) {
            count = std::atoll(report.c_str() + stopped.size());
            ++interrupted;
            EXPECT_EQ(count % (toFile ? 8192 : 1024), 0) << "run " << i;
            EXPECT_LT(count, total) << "run " << i;
        } else {
            ASSERT_EQ(report.rfind(" > OK. TIEMPO INVERTIDO:  ", 0), 0u) << "run " << i << ": " << report;
        }
        if (toFile) {
            ++files;
            ASSERT_EQ(readFile(fileIn(home.path, n)), referenceFile(n, static_cast<std::size_t>(count)))
                << "run " << i << ", n " << n << ", count " << count;
        }
    }
    RecordProperty("interrupted", interrupted);
    RecordProperty("files", files);
    if (runs >= 100) {
        EXPECT_GT(interrupted, 0);  // the keys did reach the stop checks
    }
}

INSTANTIATE_TEST_SUITE_P(Shards, RandomKeys, ::testing::Range(0, randomShards));
