// The file listing: its lines, its pieces and the file table's rules.
#include "lister/file_listing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "lister/run_driver.h"
#include "tests/reference_lines.h"
#include "tests/run_lister.h"

using namespace lister;
using testing_reference::referenceFile;

namespace {

RunValues runFor(int n) {
    RunValues run;
    run.n = n;
    run.choice = "G";
    run.fileName = outputFileName(n);
    run.total = combinationsOf6(n);
    run.labels = makeLabelTable();
    return run;
}

struct Pieces {
    std::vector<std::size_t> sizes;
    std::string bytes;
};

// The listing into a recorder instead of a file; `failAt` makes that piece
// (counted from 1) fail.
bool listInto(RunValues& run, Pieces& pieces, std::size_t failAt = 0) {
    std::vector<char> buffer(writeBufferSize);
    return writeLines(run, buffer.data(), [&](char* filled, std::size_t length) -> char* {
        pieces.sizes.push_back(length);
        if (pieces.sizes.size() == failAt) return nullptr;
        pieces.bytes.append(filled, length);
        return filled;
    });
}

}  // namespace

TEST(FileLines, SevenElementsAreOnePieceOf98BytesAtTheEnd) {
    RunValues run = runFor(7);
    Pieces pieces;
    EXPECT_TRUE(listInto(run, pieces));
    EXPECT_EQ(pieces.sizes, std::vector<std::size_t>{98});
    EXPECT_EQ(pieces.bytes, referenceFile(7));
    EXPECT_EQ(pieces.bytes.substr(0, 28), "010203040506\r\n010203040507\r\n");
}

TEST(FileLines, SixteenElementsGoOutAs65548AndThen46564Bytes) {
    RunValues run = runFor(16);
    Pieces pieces;
    EXPECT_TRUE(listInto(run, pieces));
    EXPECT_EQ(pieces.sizes, (std::vector<std::size_t>{65548, 46564}));
    EXPECT_EQ(pieces.bytes, referenceFile(16));
    EXPECT_EQ(run.count, 8008);
}

TEST(FileLines, AFailedPieceStopsTheListingAtOnce) {
    RunValues run = runFor(30);
    Pieces pieces;
    EXPECT_FALSE(listInto(run, pieces, 2));
    EXPECT_EQ(pieces.sizes.size(), 2u);
    EXPECT_EQ(run.count, 4682);  // the lines of the pieces that went out, none of the failing one
    EXPECT_EQ(pieces.bytes, referenceFile(30, 4682));
}

TEST(FileTableRules, NumbersOpeningWritingAndClosing) {
    testing_files::TempDir dir;
    FileTable table;
    EXPECT_EQ(freeFileNumber(table), 1);
    EXPECT_EQ(openForOutput(table, 1, dir.path + "/missing/a"), fileNotCreated);
    EXPECT_EQ(openForOutput(table, 1, dir.path), fileNotCreated);  // a folder
    ASSERT_EQ(openForOutput(table, 1, dir.path + "/a"), fileOk);
    EXPECT_EQ(writeText(table, 1, "010203040506\r\n", 14), fileOk);
    EXPECT_EQ(writeText(table, 1, "", 0), fileOk);
    // A file being written cannot be had by another writer, which leaves it as it is.
    FileTable other;
    EXPECT_EQ(openForOutput(other, 1, dir.path + "/a"), fileNotCreated);
    EXPECT_EQ(close(table, 1), fileOk);
    EXPECT_EQ(linesWritten(table, 1), 1);  // still told once closed
    EXPECT_EQ(testing_lister::readFile(dir.path + "/a"), "010203040506\r\n");
    ASSERT_EQ(mkfifo((dir.path + "/fifo").c_str(), 0644), 0);
    EXPECT_EQ(openForOutput(table, 1, dir.path + "/fifo"), fileNotCreated);  // nobody reads it
    EXPECT_EQ(freeFileNumber(table), 1);
}

TEST(FileTableRules, AFullDeviceFailsTheWrite) {
    FileTable table;
    ASSERT_EQ(openForOutput(table, 1, "/dev/full"), fileOk);
    std::string piece(65548, 'x');
    EXPECT_EQ(writeText(table, 1, piece.data(), piece.size()), fileWriteFailed);
    // Nothing waits in a buffer: the smallest write fails at once.
    EXPECT_EQ(writeText(table, 1, "0102\r\n", 6), fileWriteFailed);
    EXPECT_EQ(linesWritten(table, 1), 0);
    EXPECT_EQ(close(table, 1), fileOk);
}
