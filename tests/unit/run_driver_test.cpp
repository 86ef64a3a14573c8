// The driver's rules: labels, totals, names, choices and paths.
#include "lister/run_driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"

using namespace lister;

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
    EXPECT_EQ(platform::programTitle(path, '/'), "lister_unit_tests");
    EXPECT_TRUE(std::filesystem::exists(path));
}
