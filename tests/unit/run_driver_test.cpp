// The driver's rules, and the dialogue end to end on the built program.
#include "lister/run_driver.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "tests/png_image.h"
#include "tests/run_lister.h"

using namespace lister;
using testing_lister::Options;
using testing_lister::runLister;
using testing_lister::trimmed;

TEST(RunValues, LabelsAreTwoDigits) {
    const LabelTable labels = makeLabelTable();
    EXPECT_EQ(labels[1], "01");
    EXPECT_EQ(labels[9], "09");
    EXPECT_EQ(labels[10], "10");
    EXPECT_EQ(labels[49], "49");
    for (int i = 1; i <= 49; ++i) EXPECT_EQ(labels[static_cast<std::size_t>(i)].size(), 2u) << i;
}

TEST(RunValues, CombinationsOf6) {
    const std::pair<int, std::int64_t> table[] = {{7, 7},        {8, 28},         {9, 84},       {10, 210},
                                                  {20, 38760},   {30, 593775},    {40, 3838380}, {45, 8145060},
                                                  {49, 13983816}, {6, 1},         {5, 0},        {0, 0},
                                                  {-7, 0}};
    for (auto [n, total] : table) EXPECT_EQ(combinationsOf6(n), total) << n;
}

TEST(RunValues, FileNameAndChoice) {
    EXPECT_EQ(outputFileName(7), "VSR_7-6.asc");
    EXPECT_EQ(outputFileName(49), "VSR_49-6.asc");
    const std::pair<const char*, const char*> choices[] = {
        {"p", "P"}, {"G", "G"}, {" g ", "G"}, {"gx", "G"}, {"Pantalla", "P"}, {"", ""}, {"   ", ""}, {"x", "X"}};
    for (auto [answer, choice] : choices) EXPECT_EQ(normalisedChoice(answer), choice) << answer;
}

struct PathCase {
    const char* path;
    char separator;
    const char* directory;
};

TEST(ExecutablePath, TheFolderRuleForEitherSeparator) {
    const PathCase table[] = {
        {"/usr/local/bin/lister", '/', "/usr/local/bin"}, {"/lister", '/', "/"},
        {"lister", '/', ""},                              {"a/b/", '/', "a/b"},
        {"C:\\tools\\prog.exe", '\\', "C:\\tools"},       {"C:\\prog.exe", '\\', "C:\\"},
        {"z:\\prog.exe", '\\', "z:\\"},                   {"prog.exe", '\\', ""},
        {"C:/tools/prog.exe", '\\', ""},  // only the backslash counts there
        {"\\\\server\\share\\prog.exe", '\\', "\\\\server\\share"},
    };
    for (const PathCase& c : table) EXPECT_EQ(platform::directoryOf(c.path, c.separator), c.directory) << c.path;
}

TEST(ExecutablePath, JoiningAndTitles) {
    EXPECT_EQ(platform::joinPath("", "VSR_7-6.asc", '/'), "VSR_7-6.asc");
    EXPECT_EQ(platform::joinPath("/", "VSR_7-6.asc", '/'), "/VSR_7-6.asc");
    EXPECT_EQ(platform::joinPath("/opt/x", "VSR_7-6.asc", '/'), "/opt/x/VSR_7-6.asc");
    EXPECT_EQ(platform::joinPath("C:\\tools", "VSR_49-6.asc", '\\'), "C:\\tools\\VSR_49-6.asc");
    EXPECT_EQ(platform::joinPath("C:\\", "VSR_49-6.asc", '\\'), "C:\\VSR_49-6.asc");
    EXPECT_EQ(platform::joinPath("C:/tools/", "VSR_49-6.asc", '\\'), "C:/tools/VSR_49-6.asc");
    EXPECT_EQ(platform::programTitle("/usr/bin/lister", '/'), "lister");
    EXPECT_EQ(platform::programTitle("C:\\x\\lister.exe", '\\'), "lister");
    EXPECT_EQ(platform::programTitle("a.b.c", '/'), "a.b");
}

TEST(ExecutablePath, IsThisTestProgram) {
    const std::string path = platform::executablePath();
    EXPECT_EQ(platform::programTitle(path, '/'), "lister_tests");
    EXPECT_TRUE(std::filesystem::exists(path));
}

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
    ::testing::Values(ElementsCase{"6", false, " 7", "VSR_7-6.asc"}, ElementsCase{"50", false, " 7", "VSR_7-6.asc"},
                      ElementsCase{"0", false, " 7", "VSR_7-6.asc"}, ElementsCase{"-7", false, " 7", "VSR_7-6.asc"},
                      ElementsCase{"abc", false, " 7", "VSR_7-6.asc"}, ElementsCase{"", false, " 7", "VSR_7-6.asc"},
                      ElementsCase{"6.5", false, " 7", "VSR_7-6.asc"}, ElementsCase{"49.5", false, " 7", "VSR_7-6.asc"},
                      ElementsCase{"1 2", false, " 7", "VSR_7-6.asc"}, ElementsCase{"7", true, " 7", "VSR_7-6.asc"},
                      ElementsCase{"49", true, " 13983816", "VSR_49-6.asc"},
                      ElementsCase{"7.6", true, " 28", "VSR_8-6.asc"},
                      ElementsCase{"12abc", true, " 924", "VSR_12-6.asc"},
                      ElementsCase{"&H10", true, " 8008", "VSR_16-6.asc"},
                      ElementsCase{"-4294967289", true, " 7", "VSR_7-6.asc"}));

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
                         ::testing::Values(ChoiceCase{"p", true, 'P'}, ChoiceCase{"G", true, 'G'},
                                           ChoiceCase{" g ", true, 'G'}, ChoiceCase{"gx", true, 'G'},
                                           ChoiceCase{"Pantalla", true, 'P'}, ChoiceCase{"x", false, 'G'},
                                           ChoiceCase{"", false, 'G'}, ChoiceCase{"   ", false, 'G'}));

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
