// Tests of the resource opener: case-insensitive lookup and read-only streams over the bytes.
#include "tarsklib/resource.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tarsk {
namespace {

constexpr size_t kInitProgramBytes = 1084;

TEST(Resource, StartProgramOpensWithoutRegardToCase) {
    std::unique_ptr<MemoryStream> stream = openResource("init.FXP");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->length(), kInitProgramBytes);
    EXPECT_EQ(stream->tell(), 0u);

    char magic[4] = {};
    ASSERT_EQ(stream->read(magic, 1, 4), 4u);
    EXPECT_EQ(0, std::memcmp(magic, "CcnK", 4));
    EXPECT_EQ(stream->write("xxxx", 1, 4), 0u);  // resources are read-only

    ResourceBytes bytes;
    ASSERT_TRUE(findResource("Fxp", "INIT", bytes));
    EXPECT_EQ(bytes.data, stream->data());
    EXPECT_EQ(bytes.size, kInitProgramBytes);

    std::unique_ptr<MemoryStream> again = openResource("Init.fxp");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->data(), stream->data());
    EXPECT_NE(openResource("Ridiva ra dez Urerozidu.fxp"), nullptr);  // names may hold spaces
}

TEST(Resource, MissingResourcesYieldNoStream) {
    EXPECT_EQ(openResource("Nothing.fxp"), nullptr);
    EXPECT_EQ(openResource("Init.zip"), nullptr);
    EXPECT_EQ(openResource("Init"), nullptr);  // no extension
    EXPECT_EQ(openResource("Init.fxp.bak"), nullptr);  // the extension is what follows the last dot
    EXPECT_EQ(openResource("Ini.fxp"), nullptr);
    EXPECT_EQ(openResource("Initial.fxp"), nullptr);
    EXPECT_EQ(openResource(nullptr), nullptr);
    ResourceBytes bytes;
    EXPECT_FALSE(findResource("FXP", "INIT ", bytes));
    EXPECT_FALSE(findResource(nullptr, "INIT", bytes));
    EXPECT_EQ(bytes.data, nullptr);
}

}  // namespace
}  // namespace tarsk
