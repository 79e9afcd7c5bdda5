// The structure word the engine publishes with its load figures: which stages the cooked network runs.
#include <gtest/gtest.h>

#include "engine/cook.h"
#include "loop-test-support.h"

namespace tarsk {
namespace {

using test::EngineRig;

// Runs two callbacks with a one-tick meter interval, so that the second publishes, and answers the
// published structure word.
uint32_t publishedStructure(const ProgramRecord& record) {
    EngineRig rig;
    rig.start(record);
    rig.engine->setMeterInterval(1);
    test::Stereo in(256, 0.1f);
    rig.run(in, {128});
    return rig.engine->loadFigures().structure;
}

TEST(NetworkStructure, ThePublishedWordNamesTheStagesTheCookedProgramRuns) {
    const ProgramRecord hall = test::hallRecord();
    const uint32_t hallBits = publishedStructure(hall);
    EXPECT_EQ(hallBits & structure::feedback, structure::feedback);
    EXPECT_EQ(hallBits & structure::modulated, structure::modulated);
    EXPECT_EQ(hallBits & (structure::saturator | structure::multitap | structure::filtersBeforeOutput), 0u);

    ProgramRecord dense = hall;
    dense.setU(word::flags, dense.u(word::flags) | flag::multitap | flag::filtersBeforeOutput);
    dense.setF(word::drive, 6.0f);
    dense.setF(word::halfLife, 0.0f);
    const uint32_t denseBits = publishedStructure(dense);
    EXPECT_EQ(denseBits & structure::multitap, structure::multitap);
    EXPECT_EQ(denseBits & structure::filtersBeforeOutput, structure::filtersBeforeOutput);
    EXPECT_EQ(denseBits & structure::saturator, structure::saturator);
    EXPECT_EQ(denseBits & structure::feedback, 0u) << "half life 0: no feedback";
    EXPECT_LE(denseBits, 0xFFFFu) << "a 16-bit word";
}

}  // namespace
}  // namespace tarsk
