#include "TextFormat.h"

#include <gtest/gtest.h>
#include <string>

namespace tovarine {
namespace {

// Long outputs are formatted in runs on several threads; the text must be the one written line by line.
TEST(TextFormat, ManyLinesReadAsIfWrittenInOrder)
{
    for (std::size_t count : {0u, 5u, 131071u, 131072u, 400001u}) {
        std::string expected = "head\n";
        for (std::size_t i = 0; i < count; ++i) {
            textformat::appendFaceLine(expected, static_cast<std::int64_t>(i), 7,
                                       static_cast<std::int64_t>(i) * 3);
        }
        std::string text = "head\n";
        textformat::appendLines(text, count, [](std::string& out, std::size_t i) {
            textformat::appendFaceLine(out, static_cast<std::int64_t>(i), 7,
                                       static_cast<std::int64_t>(i) * 3);
        });
        EXPECT_EQ(text, expected) << count;
    }
}

} // namespace
} // namespace tovarine
