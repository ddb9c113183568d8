#include "tools/pulse/csv_column.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

namespace sphyra {
namespace {

CsvColumn Read(const std::string& text, const std::string& column) {
    std::istringstream in(text);
    return ReadCsvColumn(in, column);
}

std::string Error(const std::string& text, const std::string& column) {
    try {
        Read(text, column);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

TEST(CsvColumn, ByNameOrIndexWithOrWithoutAHeader) {
    const std::string withHeader = "sample,t_s,\"u8\"\r\n0,0.00,60\r\n\r\n1,0.01,255\r\n";
    EXPECT_EQ(Read(withHeader, "u8").values, (std::vector<std::uint16_t>{60, 255}));
    EXPECT_EQ(Read(withHeader, "2").name, "u8");
    EXPECT_EQ(Read("7,65535\n8,0\n", "1").values, (std::vector<std::uint16_t>{65535, 0}));

    EXPECT_NE(Error(withHeader, "pleth").find("columns: sample, t_s, u8"), std::string::npos);
    EXPECT_NE(Error("1,2\n3,4\n", "u8").find("no header"), std::string::npos);
    EXPECT_NE(Error("a,b\n1,2\n3\n", "b").find("line 3"), std::string::npos);
    // Sample counts only: a scaled value or one out of range is refused, not rounded.
    EXPECT_NE(Error("v\n0.43\n", "v").find("line 2: \"0.43\" is not a sample count"),
              std::string::npos);
    EXPECT_NE(Error("v\n65536\n", "v").find("not a sample count"), std::string::npos);
    EXPECT_NE(Error("", "v").find("empty"), std::string::npos);
}

}  // namespace
}  // namespace sphyra
