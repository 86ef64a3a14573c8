// Faults injected into whole runs of the built program around its file:
// places it cannot write, disks that fill, a second lister, names that are
// no file, no /proc, long and odd paths. It must always end by itself, say
// what went wrong and never leave a wrong file. Signals, memory and keys
// are in fault_process_test.cpp.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "lister/run_driver.h"
#include "screen/cp437.h"
#include "tests/reference_lines.h"
#include "tests/run_lister.h"

using testing_lister::ended;
using testing_lister::fileIn;
using testing_lister::grownTo;
using testing_lister::Options;
using testing_lister::readFile;
using testing_lister::runLister;
using testing_lister::trimmed;
using testing_reference::fileHoldsReference;
using testing_reference::referenceFile;

namespace {

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

// The count on the progress panel's first row.
std::int64_t panelCount(const testing_lister::Run& run) {
    const std::string label = " > GENERADAS:  ";
    return run.rows.size() > 68 && run.rows[68].rfind(label, 0) == 0 ? std::atoll(run.rows[68].c_str() + label.size())
                                                                      : -1;
}

// The path as a row of `room` cells shows it: in code page 437, whole when
// it fits, else its first 20 characters, "..." and its end.
std::string shown(const std::string& path, std::size_t room) {
    const std::string text = screen::cp437FromUtf8(path);
    return text.size() <= room ? text : text.substr(0, 20) + "..." + text.substr(text.size() - (room - 23));
}

void expectCreationError(const testing_lister::Run& run, const std::string& path) {
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.rows.size(), 71u);
    EXPECT_EQ(trimmed(run.rows[70]), " > ERROR AL CREAR EL ARCHIVO: " + shown(path, 62) + "  ERR= 2");
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
    // Letters of code page 437 and others, bytes outside UTF-8, and bytes a
    // print would obey (LF, CR, BEL, TAB, BS), which are drawn instead.
    const std::string home =
        top.path + "/Documentos/Loter\xc3\xad" "a-\xd0\x9a\xd0\xb8\xd1\x80-\xe9\xff-\n\r\a\t\b\x7f";
    std::filesystem::create_directories(home);
    chmod(top.path.c_str(), 0755);
    // Writable, the odd bytes are no obstacle: the file lands there and the
    // path is shown in the cells' own letters.
    Options options;
    options.executable = testing_lister::copyOfLister(home);
    auto run = runLister("7\rG\r", scratch, options);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(readFile(fileIn(home, 7)), referenceFile(7));
    // The í as its byte in code page 437; Cyrillic and bytes outside UTF-8 as "?".
    EXPECT_EQ(trimmed(run.rows[69]),
              " > RUTA: " + top.path + "/Documentos/Loter\xa1" "a-???" "-??" "-\n\r\a\t\b\x7f/VSR_7-6.asc");
    EXPECT_EQ(trimmed(run.rows[70]).rfind(" > OK. TIEMPO INVERTIDO: ", 0), 0u) << run.rows[70];
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

// The file stops growing during the listing: it must hold the listing's
// true beginning in whole lines, and the panel count no more than that.
TEST(FaultDiskFull, TheFileCannotGrowDuringTheListing) {
    const auto size = std::filesystem::file_size(LISTER_BINARY);
    struct Case {
        const char* fault;
        std::vector<std::string> command;  // with the home folder, lister and the scratch folder after it
    };
    // What lister leaves in its folder is copied out to the scratch folder.
    const std::string runAndCopy = "; status=$?; cp \"$1/VSR_49-6.asc\" \"$3/\" 2>/dev/null; exit $status";
    const Case cases[] = {
        // Room for the executable and about a megabyte of lines.
        {"a small file system",
         {"unshare", "--map-root-user", "--mount", "sh", "-c",
          "mount -t tmpfs -o size=" + std::to_string(size / 1024 + 1024) +
              "k tmpfs \"$1\" && cp \"$2\" \"$1/lister\" && \"$1/lister\"" + runAndCopy}},
        // Past the limit, a write fails (SIGXFSZ would end lister).
        {"the file-size limit",
         {"sh", "-c", "cp \"$2\" \"$1/lister\" && (ulimit -f 2000 && exec \"$1/lister\")" + runAndCopy}},
        // The piece that fails there (the ninth) ends on the last line of a
        // run. (sh counts this limit in blocks of 512 bytes.)
        {"the file-size limit at the end of a run",
         {"sh", "-c", "cp \"$2\" \"$1/lister\" && (ulimit -f 1078 && exec \"$1/lister\")" + runAndCopy}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        if (c.command[0] == "unshare" && !namespacesWork()) {
            std::printf("skipped %s: no private mount namespace on this machine\n", c.fault);
            continue;
        }
        testing_files::TempDir home, scratch;
        Options options;
        options.prefix = c.command;
        options.prefix.insert(options.prefix.end(), {"sh", home.path, LISTER_BINARY, scratch.path});
        options.executable = "--";  // ends the shell's arguments; the shell runs the copy
        const auto run = runLister("49\rG\r", scratch, options);
        ASSERT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(trimmed(run.rows[70]), " > ERROR AL ESCRIBIR EL ARCHIVO: " + fileIn(home.path, 49) + "  ERR= 3");
        const std::string written = scratch.path + "/VSR_49-6.asc";
        const std::uintmax_t bytes = std::filesystem::file_size(written);
        EXPECT_GT(bytes, 65548u);
        EXPECT_LT(bytes, 4u << 20);
        EXPECT_EQ(bytes % 14, 0u);
        EXPECT_TRUE(fileHoldsReference(written, 49, bytes / 14)) << "not the listing's true beginning";
        EXPECT_EQ(panelCount(run), static_cast<std::int64_t>(bytes / 14)) << run.rows[68];
    }
}

// A second lister on the file the first one is writing: it reports the
// file as not created and writes nothing; the first one's file is exact.
TEST(FaultTwoListers, OneFileStaysWholeAndTheOtherListerSaysError2) {
    testing_files::TempDir home, first, second;
    Options options;
    options.executable = testing_lister::copyOfLister(home.path);
    const std::string path = fileIn(home.path, 49);
    testing_lister::Run other;
    bool overlapped = false;
    // Stopped while it writes, the first lister holds the file for as long
    // as the second one runs. Tried again should it end before the stop.
    for (int attempt = 0; attempt < 3 && !overlapped; ++attempt) {
        std::filesystem::remove(path);
        Options writer = options;
        writer.whileRunning = [&](pid_t pid) {
            if (!grownTo(path, 1, pid) || kill(pid, SIGSTOP) != 0) return;
            overlapped = !ended(pid);
            if (overlapped) other = runLister("49\rG\r", second, options);
            kill(pid, SIGCONT);
        };
        const auto run = runLister("49\rG\r", first, writer);
        ASSERT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(trimmed(run.rows[70]).rfind(" > OK. TIEMPO INVERTIDO: ", 0), 0u) << run.rows[70];
    }
    ASSERT_TRUE(overlapped) << "the first lister always ended before the second one started";
    expectCreationError(other, path);
    EXPECT_TRUE(fileHoldsReference(path, 49));
}

// Output names that are no file on disk. A FIFO nobody reads must not
// hold lister up (timeout ends a hung run), as the screenshot's or the
// listing's; a reader that goes away is a write error; the null device
// takes everything, as any other file would.
TEST(FaultOutputs, NamesThatAreNoFile) {
    struct Case {
        const char* output;
        bool fifo;
        std::string reader;  // shell lines run before lister, with $1 the FIFO
        std::string report;  // the start of row 70
    };
    const std::string hangBound = "exec timeout -s KILL 60 \"$2\"";
    const Case cases[] = {
        {"a FIFO nobody reads", true, "", " > ERROR AL CREAR EL ARCHIVO: "},
        {"a FIFO whose reader goes away", true,
         "exec 3<>\"$1\"; head -c 100000 <&3 >/dev/null 3<&- & exec 3<&-; ", " > ERROR AL ESCRIBIR EL ARCHIVO: "},
        {"the null device", false, "", " > OK. TIEMPO INVERTIDO: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        testing_files::TempDir home, scratch;
        Options options;
        options.executable = testing_lister::copyOfLister(home.path);
        const std::string path = fileIn(home.path, 49);
        if (c.fifo)
            ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
        else
            std::filesystem::create_symlink("/dev/null", path);
        options.prefix = {"sh", "-c", c.reader + hangBound, "sh", path};
        const std::string shot = scratch.path + "/shot.png";
        ASSERT_EQ(mkfifo(shot.c_str(), 0644), 0);
        options.environment = {"LISTER_SCREENSHOT=" + shot};
        const auto run = runLister("49\rG\r", scratch, options);
        ASSERT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(trimmed(run.rows[70]).rfind(c.report, 0), 0u) << run.rows[70];
        EXPECT_EQ(run.errors, "lister: cannot write the screenshot " + shot + ": nobody reads that FIFO\n");
    }
}

// A file system without locks (some network mounts: flock fails with
// ENOLCK or EOPNOTSUPP, injected by strace) is written unlocked.
TEST(FaultOutputs, AFileSystemWithoutLocks) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the leak check cannot run in a process that strace traces";
#endif
    if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace cannot run here";
    for (const std::string error : {"ENOLCK", "EOPNOTSUPP"}) {
        testing_files::TempDir home, scratch;
        Options options;
        options.executable = testing_lister::copyOfLister(home.path);
        options.prefix = {"strace", "-f", "-o", "/dev/null", "-e", "trace=flock", "-e", "inject=flock:error=" + error};
        EXPECT_EQ(runLister("7\rG\r", scratch, options).status, 0) << error;
        EXPECT_EQ(readFile(fileIn(home.path, 7)), referenceFile(7)) << error;
    }
}

// Without /proc lister finds itself by the path it was started by, made
// absolute against the folder it started in; without that either it
// writes nowhere rather than into the current folder.
TEST(FaultNoProc, TheFileStillLandsNextToTheExecutable) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer reads its options and checks for leaks through /proc";
#endif
    if (!namespacesWork()) GTEST_SKIP() << "no private mount namespace on this machine";
    testing_files::TempDir top, scratch;
    const std::string home = top.path + "/home", elsewhere = top.path + "/elsewhere";
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(elsewhere + "/gone");
    const std::string lister = testing_lister::copyOfLister(home);
    struct Case {
        const char* start;
        std::string folder;      // where it starts
        std::string executable;  // how it is named
        bool removeFolder;       // the folder is removed before lister starts
    };
    const Case cases[] = {
        {"by its full path", elsewhere, lister, false},
        {"by a path relative to another folder", elsewhere, "../home/lister", false},
        {"in a folder removed meanwhile", elsewhere + "/gone", "../../home/lister", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        Options options;
        options.prefix = {"unshare", "--map-root-user", "--mount", "sh", "-c",
                          std::string("mount -t tmpfs tmpfs /proc && cd \"$1\" && ") +
                              (c.removeFolder ? "rmdir \"$1\" && " : "") + "exec \"$2\"",
                          "sh", c.folder};
        options.executable = c.executable;
        const auto run = runLister("7\rG\r", scratch, options);
        if (c.removeFolder) {
            expectCreationError(run, lister::outputFileName(7));
            EXPECT_FALSE(std::filesystem::exists(fileIn(home, 7)));
        } else {
            ASSERT_EQ(run.status, 0) << run.errors;
            EXPECT_EQ(trimmed(run.rows[69]), " > RUTA: " + fileIn(home, 7));
            EXPECT_TRUE(fileHoldsReference(fileIn(home, 7), 7));
            std::filesystem::remove(fileIn(home, 7));
        }
        EXPECT_FALSE(std::filesystem::exists(fileIn(elsewhere, 7)));
    }
}

// Folders as deep as a long home and an unpacked archive in it make them,
// writable and not: rows 69 and 70 keep their places, nothing scrolls, the
// outcome and the end of the path, the file's name, stay in view. The
// paths (12 bytes more) fill the room of the error line (62) or of row 69
// (91) exactly, pass it by one, or run far past it.
TEST(FaultLongPaths, TheOutcomeStaysInViewWhateverTheFolder) {
    for (std::size_t length : {50u, 51u, 79u, 80u, 99u, 179u, 180u, 188u, 288u, 400u, 691u}) {
        SCOPED_TRACE(length);
        testing_files::TempDir top, scratch;
        std::string home = top.path;
        while (home.size() < length) {
            std::size_t part = std::min<std::size_t>(length - home.size() - 1, 200);
            if (length - home.size() - 1 - part == 1) --part;  // room for one more "/" and a letter
            home += "/" + std::string(part, 'd');
            std::filesystem::create_directory(home);
        }
        ASSERT_EQ(home.size(), length);
        chmod(top.path.c_str(), 0755);
        const std::string path = fileIn(home, 7);
        for (const bool writable : {true, false}) {
            std::filesystem::remove(path);
            Options options = writable ? Options{} : notWritable(home, scratch);
            if (writable) options.executable = testing_lister::copyOfLister(home);
            const auto run = runLister("7\rG\r", scratch, options);
            chmod(home.c_str(), 0755);
            ASSERT_EQ(run.rows.size(), 71u) << run.errors;
            EXPECT_EQ(run.rows[1].rfind("     VARIACIONES SIN REPETICION DE n ELEMENTOS", 0), 0u) << run.rows[1];
            if (writable) {
                EXPECT_EQ(readFile(path), referenceFile(7));
                EXPECT_EQ(trimmed(run.rows[69]), " > RUTA: " + shown(path, 91));
                EXPECT_EQ(trimmed(run.rows[70]).rfind(" > OK. TIEMPO INVERTIDO: ", 0), 0u) << run.rows[70];
            } else {
                expectCreationError(run, path);
            }
        }
    }
}
