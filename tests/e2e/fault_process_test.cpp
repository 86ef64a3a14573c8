// Faults injected into whole runs of the built program from outside its
// files: signals at random moments, too little memory, scripts that stop
// early, random keys during listings. It must always end by itself, say
// what went wrong and never leave a wrong file.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

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

// Too little memory for the screen's thread (the 26 to 32 MB): a
// line on standard error and status 1, never an abort. Below some limit
// the system cannot even load the program (status 127, its own message).
TEST(FaultMemory, AScreenThatCannotStartEndsWithStatus1) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers need more address space than any of these limits";
#endif
    testing_files::TempDir home, scratch;
    int refused = 0;
    // Where the screen's thread or memory runs out depends on the build:
    // scan until lister runs whole.
    for (int kilobytes = 4000; kilobytes <= 40000; kilobytes += 2000) {
        SCOPED_TRACE(kilobytes);
        Options options;
        options.executable = testing_lister::copyOfLister(home.path);
        options.prefix = {"sh", "-c", "ulimit -c 0 && ulimit -v " + std::to_string(kilobytes) + " && exec \"$1\"", "sh"};
        const auto run = runLister("7\rG\r", scratch, options);
        EXPECT_EQ(run.signal, 0) << run.errors;
        if (run.status == 127) continue;  // the system could not load it
        if (run.status == 0 && run.errors.empty()) break;  // enough for all of it
        ASSERT_EQ(run.status, 1) << run.errors;
        EXPECT_EQ(run.errors.rfind("lister: the screen cannot start: ", 0), 0u) << run.errors;
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
        ++refused;
    }
    EXPECT_GT(refused, 0);
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
