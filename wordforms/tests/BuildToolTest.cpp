#include "ondrix_fst.h"

#include "Scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace murmelo {
namespace {

int runTool(const std::string& args, const test::ScratchDir& dir) {
    const std::string command = std::string(WORDFORMS_BUILD_TOOL) + " " + args + " >" + dir.file("out.txt") + " 2>" +
                                dir.file("err.txt");
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(BuildTool, BuildsASetFromAnUnsortedListAndReportsForeignWords) {
    test::ScratchDir dir;
    const auto words = dir.write("words.txt", "ёлка\r\nКот\nкот\n\nиз-за\nёж\nабв\nslovo");
    ASSERT_EQ(runTool(words + " " + dir.file("set.fst"), dir), 0) << slurp(dir.file("err.txt"));
    EXPECT_NE(slurp(dir.file("out.txt")).find("4 keys"), std::string::npos);
    EXPECT_NE(slurp(dir.file("err.txt")).find("left out 2 words"), std::string::npos);
    ondrix_fst* set = ondrix_fst_open(dir.file("set.fst").c_str());
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(ondrix_fst_len(set), 4u);
    for (const char* w : {"ёлка", "кот", "ёж", "абв"}) EXPECT_TRUE(ondrix_fst_contains(set, w, std::strlen(w))) << w;
    char out[64];
    EXPECT_EQ(ondrix_fst_fuzzy(set, "еж", 4, 1, 0, out, sizeof out), 1);
    EXPECT_STREQ(out, "ёж");
    ondrix_fst_close(set);
}

TEST(BuildTool, RefusesBadInputWithoutTouchingTheOutput) {
    test::ScratchDir dir;
    const auto out = dir.write("map.fst", "old");
    EXPECT_EQ(runTool("--values " + dir.write("a.txt", "кот\t5\nкит\tмного\n") + " " + out, dir), 1);
    EXPECT_NE(slurp(dir.file("err.txt")).find(":2:"), std::string::npos);
    EXPECT_EQ(runTool("--values " + dir.write("b.txt", "кот\t5\nКОТ\t6\n") + " " + out, dir), 1);
    EXPECT_EQ(runTool(dir.file("missing.txt") + " " + out, dir), 1);
    EXPECT_EQ(runTool("", dir), 2);
    EXPECT_EQ(slurp(out), "old");
    EXPECT_EQ(runTool("--values " + dir.write("c.txt", "кот\t5\nКОТ\t5\nкит\t300\n") + " " + out, dir), 0);
}

}  // namespace
}  // namespace murmelo
