// The built program run whole, as a user scripts it on the headless
// screen: the dialogue, both listings and the output file, checked on the
// final cells, the picture and the file against an independent generator.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "lister/run_driver.h"
#include "tests/png_image.h"
#include "tests/reference_lines.h"
#include "tests/run_lister.h"

using testing_lister::fileIn;
using testing_lister::Options;
using testing_lister::runLister;
using testing_lister::trimmed;
using testing_reference::fileHoldsReference;
using testing_reference::referenceFile;

namespace {

const std::string elementsPromptText = " > NUMERO DE ELEMENTOS A COMBINAR EN GRUPOS DE 6 (7-49): ";
const std::string choicePromptText = " > SALIDA SOLO POR (P)ANTALLA o (G)UARDAR COMBINACIONES: ";

std::string totalRowFor(const std::string& totalText, const std::string& fileName) {
    return " > TOTAL COMBINACIONES: " + totalText + " > ARCHIVO: " + fileName;
}

}  // namespace

// The first answer: some are asked again, others accepted as a value.
struct ElementsCase {
    const char* answer;
    bool accepted;
    const char* totalText;  // what row 6 then shows, n being the value
    const char* fileName;
};

class DialogueElements : public ::testing::TestWithParam<ElementsCase> {};

TEST_P(DialogueElements, AcceptsOnly7To49AfterTheIntegerRule) {
    const ElementsCase& c = GetParam();
    testing_files::TempDir scratch;
    // A refused answer is followed by 7; ESC keeps a long listing short.
    const std::string script = std::string(c.answer) + "\r" + (c.accepted ? "" : "7\r") + "P\r\x1b";
    const auto run = runLister(script, scratch);
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.rows.size(), 71u);
    EXPECT_EQ(trimmed(run.rows[6]), totalRowFor(c.totalText, c.fileName));
    EXPECT_EQ(run.rows[4].substr(0, 57), elementsPromptText);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DialogueElements,
    // The range at both ends and the integer rule on the way; the rule's
    // own cases are the item tests'.
    ::testing::Values(ElementsCase{"6", false, " 7", "VSR_7-6.asc"}, ElementsCase{"50", false, " 7", "VSR_7-6.asc"},
                      ElementsCase{"49.5", false, " 7", "VSR_7-6.asc"}, ElementsCase{"7", true, " 7", "VSR_7-6.asc"},
                      ElementsCase{"49", true, " 13983816", "VSR_49-6.asc"},
                      ElementsCase{"7.6", true, " 28", "VSR_8-6.asc"}));

struct ChoiceCase {
    const char* answer;
    bool accepted;
    char choice;
};

class DialogueChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(DialogueChoice, AcceptsPOrGByTheFirstCharacter) {
    const ChoiceCase& c = GetParam();
    testing_files::TempDir scratch;
    const std::string script = std::string("7\r") + c.answer + "\r" + (c.accepted ? "" : "g\r");
    const auto run = runLister(script, scratch);
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.rows.size(), 71u);
    // Row 5 is cleared before each attempt: only the last answer shows.
    const std::string lastAnswer = c.accepted ? c.answer : "g";
    EXPECT_EQ(trimmed(run.rows[5]), trimmed(choicePromptText + lastAnswer));
    if (c.choice == 'G' || !c.accepted) {
        EXPECT_EQ(trimmed(run.rows[68]), " > ARCHIVO GENERADO: VSR_7-6.asc");
        EXPECT_EQ(trimmed(run.rows[69]), " > RUTA: " + run.directory + "/VSR_7-6.asc");
    } else {
        EXPECT_EQ(trimmed(run.rows[69]), " > Pulsa cualquier tecla para terminar.");
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, DialogueChoice,
                         // Each way a choice ends; the normalising rule's own cases
                         // are the driver tests'.
                         ::testing::Values(ChoiceCase{"p", true, 'P'}, ChoiceCase{" g ", true, 'G'},
                                           ChoiceCase{"x", false, 'G'}));

TEST(Dialogue, ALongerRefusedAnswerLeavesItsTailBehindTheNewOne) {
    testing_files::TempDir scratch;
    const auto run = runLister("123\r8\rP\r", scratch);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.rows[4].substr(57, 3), "8 3");
    EXPECT_EQ(trimmed(run.rows[6]), totalRowFor(" 28", "VSR_8-6.asc"));
}

TEST(Dialogue, TheFrameAndTheReportOfAScreenRun) {
    testing_files::TempDir scratch;
    Options options;
    options.screenshot = true;
    const auto run = runLister("49\rP\r\x1b", scratch, options);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.rows[1].substr(0, 97),
              "     VARIACIONES SIN REPETICION DE n ELEMENTOS TOMADOS DE 6 EN 6 > lister en C++20, por su equipo");
    EXPECT_EQ(run.rows[2].size(), 100u);
    EXPECT_EQ(trimmed(run.rows[6]), totalRowFor(" 13983816", "VSR_49-6.asc"));
    for (int row : {3, 7, 67}) EXPECT_EQ(run.rows[static_cast<std::size_t>(row)], std::string(100, ' ')) << row;
    const std::string report = trimmed(run.rows[70]);
    EXPECT_EQ(report.rfind(" > PROCESO INTERRUMPIDO. GENERADAS:  1024 combinaciones. TIEMPO:  ", 0), 0u) << report;
    EXPECT_EQ(report.substr(report.size() - 10), " segundos.");

    const testing_png::Image png = testing_png::loadPng(run.screenshot);
    ASSERT_EQ(png.width, 800);
    auto pixel = [&](int x, int y) { return png.at(x, y); };
    EXPECT_EQ(pixel(0, 2 * 8), 0x008800u);   // bar on row 3
    EXPECT_EQ(pixel(799, 6 * 8 + 7), 0x008800u);  // bar on row 7
    EXPECT_EQ(pixel(400, 66 * 8), 0x008800u);  // bar on row 67
    EXPECT_EQ(pixel(4, 300), 0x000044u);       // column 1 of the listing area, never drawn
    EXPECT_EQ(pixel(400, 580), 0x000044u);     // below the grid
    // The file name on row 6 stands on blue 64, its letters in orange.
    const int nameX = (24 + 9 + 12) * 8;  // after the two labels and the total
    bool orange = false;
    for (int x = nameX; x < nameX + 12 * 8; ++x)
        for (int y = 40; y < 48; ++y) orange |= pixel(x, y) == 0xFF8000u;
    EXPECT_TRUE(orange);
    EXPECT_EQ(pixel(nameX + 12 * 8 - 1, 47), 0x000040u);
}

TEST(Dialogue, TheFileLandsNextToTheExecutableWhateverTheCurrentFolder) {
    testing_files::TempDir scratch;
    testing_files::TempDir home;
    Options options;
    options.executable = testing_lister::copyOfLister(home.path);
    options.workingDirectory = scratch.path;
    const auto run = runLister("7\rG\r", scratch, options);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(trimmed(run.rows[69]), " > RUTA: " + home.path + "/VSR_7-6.asc");
}

TEST(Dialogue, AScriptThatStopsBeforeAnAnswerEndsWithStatus3) {
    testing_files::TempDir scratch;
    for (const char* script : {"", "7", "7\r", "6\r", "7\rx\r"}) {
        const auto run = runLister(script, scratch);
        EXPECT_EQ(run.status, 3) << script;
        EXPECT_EQ(run.errors, "lister: input ended while waiting for an answer\n") << script;
    }
}

// Each form of the command line and its status, all before any screen
// opens (no cells dumped): help and version on standard output; a mistake
// named on standard error above the usage line (help's first); an answer
// that cannot be written said in one line, with the C library's reason.
struct CommandLineForm {
    std::vector<std::string> arguments;
    std::string output;  // a shell redirection, or "cut": a pipe whose reader has gone
    int status;
    std::string said;  // how standard output begins, or standard error's first line after "lister: "
};

TEST(CommandLine, EachFormEndsWithItsStatus) {
    const std::string cannotWrite = "cannot write the ";
    const CommandLineForm forms[] = {
        {{"-h"}, "", 0, "Usage: lister ["},
        {{"--help", "--bogus"}, "", 0, "Usage: lister ["},
        {{"-V"}, "", 0, "lister " LISTER_VERSION "\n"},
        {{"--VERSION"}, "", 2, "unknown option '--VERSION'"},
        {{"--version=1"}, "", 2, "option '--version' takes no value: '--version=1'"},
        {{"x", "--help"}, "", 2, "unexpected argument 'x'"},
        {{""}, "", 2, "unexpected argument ''"},
        {{"--", "-h"}, "", 2, "unexpected argument '-h'"},
        {{"a\nb\x1b"}, "", 2, "unexpected argument 'a\\x0ab\\x1b'"},
        {{"--version"}, ">/dev/full", 1, cannotWrite + "version: " + std::strerror(ENOSPC)},
        {{"-h"}, "cut", 1, cannotWrite + "help: " + std::strerror(EPIPE)},
    };
    testing_files::TempDir home, scratch;
    Options options;
    options.executable = testing_lister::copyOfLister(home.path);
    options.arguments = {"-h"};
    const std::string help = runLister("", scratch, options).output;
    const std::string usageLine = help.substr(0, help.find('\n') + 1);
    for (const auto& form : forms) {
        options.arguments = form.arguments;
        options.prefix = {"/bin/sh", "-c", "exec \"$0\" \"$@\" " + form.output};
        if (form.output == "cut")  // SIGPIPE as a shell leaves it
            options.prefix = {"/usr/bin/python3", "-c",
                              "import os, signal, sys; signal.signal(signal.SIGPIPE, signal.SIG_DFL); "
                              "r, w = os.pipe(); os.close(r); os.dup2(w, 1); os.execv(sys.argv[1], sys.argv[1:])"};
        const auto run = runLister("7\rG\r", scratch, options);
        const bool answered = form.status == 0;
        EXPECT_EQ(run.status, form.status) << form.said << run.errors;
        EXPECT_EQ(answered ? run.output.substr(0, form.said.size()) : run.output, answered ? form.said : "");
        EXPECT_EQ(run.errors, answered ? "" : "lister: " + form.said + "\n" + (form.status == 2 ? usageLine : ""));
        EXPECT_EQ(run.rows.size(), 1u) << form.said;
    }
    // A lone -- is no argument: lister runs.
    options.arguments = {"--"};
    options.prefix.clear();
    EXPECT_EQ(runLister("7\rG\r", scratch, options).status, 0);
    EXPECT_EQ(testing_lister::readFile(fileIn(home.path, 7)), referenceFile(7));
}

namespace {

// Scripts typed ahead in one go: wherever the ESC falls in the script, past
// the queue's fifteen keys or not, the first check that reads it stops.
struct ScriptedStop {
    const char* name;
    std::string script;
    std::int64_t stopsAt;
    int page;
};

// The answers 49 and P, the second padded with keys the editor ignores so
// that the key after its Enter is key number `position`.
std::string answersUpToKey(int position) {
    return "49\rP" + std::string(static_cast<std::size_t>(position - 6), '\1') + "\r";
}

}  // namespace

class ScreenListingRun : public ::testing::TestWithParam<ScriptedStop> {};

TEST_P(ScreenListingRun, EscStopsAtItsCheckEveryTimeAndTheReportSaysSo) {
    const ScriptedStop& c = GetParam();
    for (int attempt = 0; attempt < 10; ++attempt) {
        testing_files::TempDir scratch;
        const auto run = testing_lister::runLister(c.script, scratch);
        ASSERT_EQ(run.status, 0) << run.errors;
        const std::string count = std::to_string(c.stopsAt);
        ASSERT_EQ(testing_lister::trimmed(run.rows[68]),
                  " > GENERADAS:  " + count + " /  13983816   PAGINA:  " + std::to_string(c.page))
            << "attempt " << attempt;
        const std::string report = testing_lister::trimmed(run.rows[70]);
        EXPECT_EQ(report.rfind(" > PROCESO INTERRUMPIDO. GENERADAS:  " + count + " combinaciones. TIEMPO:  ", 0), 0u)
            << report;
        EXPECT_EQ(report.substr(report.size() - 10), " segundos.");
        EXPECT_EQ(testing_lister::trimmed(run.rows[69]), " > Pulsa cualquier tecla para terminar.");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, ScreenListingRun,
    ::testing::Values(ScriptedStop{"EscRightAfterTheAnswers", "49\rP\r\x1b", 1024, 3},
                      ScriptedStop{"EscAsKey16", answersUpToKey(16) + "\x1b", 1024, 3},
                      ScriptedStop{"EscAsKey31", answersUpToKey(31) + "\x1b", 1024, 3},
                      ScriptedStop{"EscAsKey46", answersUpToKey(46) + "\x1b", 1024, 3},
                      ScriptedStop{"AnXThenEscAsKey16", answersUpToKey(15) + "x\x1b", 2048, 5},
                      ScriptedStop{"AnXThenEscAsKey31", answersUpToKey(30) + "x\x1b", 2048, 5},
                      ScriptedStop{"AnXThenEscAsKey46", answersUpToKey(45) + "x\x1b", 2048, 5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScreenListingWhole, AnEscThatNoCheckTookLeavesTheListingWholeAndTheRunEnds) {
    testing_files::TempDir scratch;
    const auto run = testing_lister::runLister("12\rP\r\x1b", scratch);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(testing_lister::trimmed(run.rows[68]), " > GENERADAS:  924 /  924   PAGINA:  3");
    EXPECT_EQ(testing_lister::trimmed(run.rows[70]).rfind(" > OK. TIEMPO INVERTIDO:  ", 0), 0u);
}

TEST(ScreenListingWhole, AllOf49ListedToTheLastCombination) {
    testing_files::TempDir scratch;
    const auto run = testing_lister::runLister("49\rP\r", scratch);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(testing_lister::trimmed(run.rows[68]), " > GENERADAS:  13983816 /  13983816   PAGINA:  33860");
    const std::int64_t last = 13983816 - 1;
    const int row = 8 + static_cast<int>(last % 413 % 59);
    const int column = 2 + 14 * static_cast<int>(last % 413 / 59);
    EXPECT_EQ(run.rows[static_cast<std::size_t>(row)].substr(static_cast<std::size_t>(column - 1), 13), "444546474849 ");
    EXPECT_EQ(testing_lister::trimmed(run.rows[70]).rfind(" > OK. TIEMPO INVERTIDO:  ", 0), 0u);
}

TEST(FileListingRun, SevenElementsWriteTheirNinetyEightBytesNextToTheExecutable) {
    testing_files::TempDir home, scratch;
    Options options;
    options.executable = testing_lister::copyOfLister(home.path);
    options.workingDirectory = scratch.path;
    // An older, longer file of the same name is replaced, not appended to.
    testing_lister::writeFile(fileIn(home.path, 7), std::string(1000, 'z'));
    const auto run = runLister("7\rG\r", scratch, options);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(testing_lister::readFile(fileIn(home.path, 7)), referenceFile(7));
    EXPECT_FALSE(std::filesystem::exists(fileIn(scratch.path, 7)));
    EXPECT_EQ(trimmed(run.rows[68]), " > ARCHIVO GENERADO: VSR_7-6.asc");
    EXPECT_EQ(trimmed(run.rows[69]), " > RUTA: " + fileIn(home.path, 7));
    EXPECT_EQ(trimmed(run.rows[70]).rfind(" > OK. TIEMPO INVERTIDO:  ", 0), 0u);
}

TEST(FileListingRun, TheWholeFileOf49) {
    testing_files::TempDir home, scratch;
    Options options;
    options.executable = testing_lister::copyOfLister(home.path);
    const auto run = runLister("49\rG\r", scratch, options);
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::string path = fileIn(home.path, 49);
    ASSERT_EQ(std::filesystem::file_size(path), 195773424u);
    EXPECT_TRUE(fileHoldsReference(path, 49));
    EXPECT_EQ(trimmed(run.rows[68]), " > ARCHIVO GENERADO: VSR_49-6.asc");
}

TEST(FileListingRun, EscAtTheFirstCheckLeaves8192WholeLines) {
    testing_files::TempDir home, scratch;
    Options options;
    options.executable = testing_lister::copyOfLister(home.path);
    const auto run = runLister("49\rG\r\x1b", scratch, options);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(testing_lister::readFile(fileIn(home.path, 49)), referenceFile(49, 8192));
    EXPECT_EQ(trimmed(run.rows[70]).rfind(" > PROCESO INTERRUMPIDO. GENERADAS:  8192 combinaciones. TIEMPO:  ", 0), 0u)
        << run.rows[70];
}

TEST(FileListingRun, AFileThatCannotBeCreatedIsReportedWithError2) {
    testing_files::TempDir home, scratch;
    Options options;
    options.executable = testing_lister::copyOfLister(home.path);
    std::filesystem::create_directory(fileIn(home.path, 7));
    const auto run = runLister("7\rG\r", scratch, options);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(trimmed(run.rows[70]), " > ERROR AL CREAR EL ARCHIVO: " + fileIn(home.path, 7) + "  ERR= 2");
    EXPECT_EQ(trimmed(run.rows[69]), " > Pulsa cualquier tecla para terminar.");
    EXPECT_EQ(trimmed(run.rows[68]), "");  // no panel, no file lines
}

class FullDisk : public ::testing::TestWithParam<int> {};

TEST_P(FullDisk, IsReportedWithError3AndNeverAsOk) {
    const int n = GetParam();
    testing_files::TempDir home, scratch;
    Options options;
    options.executable = testing_lister::copyOfLister(home.path);
    std::filesystem::create_symlink("/dev/full", fileIn(home.path, n));
    const auto run = runLister(std::to_string(n) + "\rG\r", scratch, options);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(trimmed(run.rows[70]), " > ERROR AL ESCRIBIR EL ARCHIVO: " + fileIn(home.path, n) + "  ERR= 3");
    EXPECT_EQ(trimmed(run.rows[69]), " > Pulsa cualquier tecla para terminar.");
    for (const auto& row : run.rows) EXPECT_EQ(row.find("OK."), std::string::npos) << row;
}

// Seen at the close; at the first piece; at the first piece, where it ends
// on the last line of a run (16, 19, 45).
INSTANTIATE_TEST_SUITE_P(Sizes, FullDisk, ::testing::Values(7, 49, 16, 19, 45));
