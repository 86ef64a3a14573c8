// Faults injected into whole runs of the built program: places it cannot
// write, disks that fill, long and odd paths, random keys, scripts that
// stop early. It must always end by itself, say what went wrong and never
// leave a wrong file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "lister/run_driver.h"
#include "tests/reference_lines.h"
#include "tests/run_lister.h"

using testing_lister::Options;
using testing_lister::readFile;
using testing_lister::runLister;
using testing_lister::trimmed;
using testing_reference::referenceFile;

namespace {

std::string fileIn(const std::string& directory, int n) { return directory + "/" + lister::outputFileName(n); }

// lister as a user who cannot write where it stands. Root writes anywhere,
// so root runs it as nobody; anyone else is already kept out by the mode.
Options notWritable(const std::string& home, testing_files::TempDir& scratch) {
    Options options;
    options.executable = testing_lister::copyOfLister(home);
    chmod(home.c_str(), 0555);
    chmod(scratch.path.c_str(), 0777);  // where its cells file goes
    if (geteuid() == 0) options.prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    return options;
}

// Whether this machine lets the tests run lister in a private mount
// namespace of their own, where they may mount what they like.
bool namespacesWork() {
    return std::system("unshare --map-root-user --mount true >/dev/null 2>&1") == 0;
}

void expectCreationError(const testing_lister::Run& run, const std::string& path) {
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.rows.size(), 71u);
    EXPECT_EQ(trimmed(run.rows[70]), " > ERROR AL CREAR EL ARCHIVO: " + path + "  ERR= 2");
    EXPECT_EQ(trimmed(run.rows[69]), " > Pulsa cualquier tecla para terminar.");
}

}  // namespace

TEST(FaultNoCreate, AFolderTheUserCannotWrite) {
    testing_files::TempDir home, scratch;
    const Options options = notWritable(home.path, scratch);
    const auto run = runLister("7\rG\r", scratch, options);
    chmod(home.path.c_str(), 0755);
    expectCreationError(run, fileIn(home.path, 7));
    EXPECT_FALSE(std::filesystem::exists(fileIn(home.path, 7)));
}

TEST(FaultNoCreate, AFolderWithBytesOutsideAscii) {
    testing_files::TempDir top, scratch;
    const std::string home = top.path + "/carpeta-\xc3\xb1-\xe9\xff";
    std::filesystem::create_directory(home);
    chmod(top.path.c_str(), 0755);
    // Writable, the odd bytes are no obstacle: the file lands there and the
    // path is shown byte for byte.
    Options options;
    options.executable = testing_lister::copyOfLister(home);
    auto run = runLister("7\rG\r", scratch, options);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(readFile(fileIn(home, 7)), referenceFile(7));
    EXPECT_EQ(trimmed(run.rows[69]), " > RUTA: " + fileIn(home, 7));
    // Not writable, it is the same creation error as anywhere.
    std::filesystem::remove(fileIn(home, 7));
    options = notWritable(home, scratch);
    run = runLister("7\rG\r", scratch, options);
    chmod(home.c_str(), 0755);
    expectCreationError(run, fileIn(home, 7));
}

TEST(FaultNoCreate, AReadOnlyMount) {
    if (!namespacesWork()) GTEST_SKIP() << "no private mount namespace on this machine";
    testing_files::TempDir home, scratch;
    Options options;
    const std::string lister = testing_lister::copyOfLister(home.path);
    options.executable = lister;
    options.prefix = {"unshare", "--map-root-user", "--mount", "sh", "-c",
                      "mount --bind -o ro \"$1\" \"$1\" && exec \"$2\"", "sh", home.path};
    // sh runs "$2": the executable, which runLister appends last.
    const auto run = runLister("7\rG\r", scratch, options);
    expectCreationError(run, fileIn(home.path, 7));
}

TEST(FaultDiskFull, ASmallFileSystemFillsDuringTheListing) {
    if (!namespacesWork()) GTEST_SKIP() << "no private mount namespace on this machine";
    testing_files::TempDir home, scratch;
    const auto size = std::filesystem::file_size(LISTER_BINARY);
    // Room for the executable and about a megabyte of lines.
    const std::string mountAndRun = "mount -t tmpfs -o size=" + std::to_string(size / 1024 + 1024) +
                                    "k tmpfs \"$1\" && cp \"$2\" \"$1/lister\" && \"$1/lister\"; status=$?; "
                                    "cp \"$1/VSR_49-6.asc\" \"$3/\" 2>/dev/null; exit $status";
    Options options;
    options.prefix = {"unshare", "--map-root-user", "--mount", "sh", "-c", mountAndRun, "sh", home.path, LISTER_BINARY,
                      scratch.path};
    options.executable = "--";  // ends the shell's arguments; the shell runs the copy
    const auto run = runLister("49\rG\r", scratch, options);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(trimmed(run.rows[70]), " > ERROR AL ESCRIBIR EL ARCHIVO: " + fileIn(home.path, 49) + "  ERR= 3");
    // What did reach the disk is the listing's true beginning.
    const std::string written = readFile(scratch.path + "/VSR_49-6.asc");
    EXPECT_GT(written.size(), 65548u);
    EXPECT_LT(written.size(), 4u << 20);
    EXPECT_EQ(written, referenceFile(49, written.size() / 14 + 1).substr(0, written.size()));
}

TEST(FaultLongPaths, TheFileLandsNextToAnExecutableDeepDown) {
    for (std::size_t wanted : {300u, 1100u}) {
        testing_files::TempDir top, scratch;
        std::string home = top.path;
        while (home.size() < wanted) {
            home += "/" + std::string(120, 'd');
            std::filesystem::create_directory(home);
        }
        Options options;
        options.executable = testing_lister::copyOfLister(home);
        const auto run = runLister("7\rG\r", scratch, options);
        ASSERT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(readFile(fileIn(home, 7)), referenceFile(7)) << home.size();
        // The long RUTA line runs past the last row and scrolls the screen.
        std::string shown;
        for (std::size_t row = 1; row < run.rows.size(); ++row) shown += run.rows[row];
        EXPECT_NE(shown.find(fileIn(home, 7)), std::string::npos) << home.size();
    }
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
