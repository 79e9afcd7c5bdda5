// Tests of the readable program sources: parsing with its error messages, formatting, the old-layout
// writer (every layout read back exactly, unrepresentable records refused) and the .fxp framing.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "chunk-builder.h"
#include "layout-writer.h"
#include "presets/fxp-file.h"
#include "presets/program-chunk.h"
#include "program-source.h"
#include "tarsklib/stream.h"

namespace tarsk {
namespace {

using test::bitsOf;
using test::getBE32;

bool parse(const std::string& text, ProgramSource& source, std::string& error) {
    return parseProgramSource(text, "test.program", source, error);
}

TEST(ProgramSourceParse, ReadsFieldsCommentsAndFraming) {
    const std::string text =
        "# a comment\n"
        "layout 0x4000\n"
        "fxpVersion 1\n"
        "fxpByteSize 0\n"
        "\n"
        "   magic 0x5D3B607C   # trailing comment\n"
        "version 53248\n"
        "flags 0X0800\n"
        "name   Some # name  \r\n"
        "description Two\\nlines \\\\ and a tab\\t.\n"
        "delayLength 41.3 53.7   +67.1 -7.99e1\n"
        "lfo2.shape 4\n"
        "exempt density,correlation  a gated room: sparse by design \n"
        "beta -0\n"
        "inputVectors 1 4.76837158e-07 -4.76837158e-07 1 -1 -4.76837158e-07 4.76837158e-07 -1";
    ProgramSource source;
    std::string error;
    ASSERT_TRUE(parse(text, source, error)) << error;
    const ProgramRecord& r = source.record;
    EXPECT_EQ(source.layout, 0x4000u);
    EXPECT_EQ(source.fxpVersion, 1u);
    EXPECT_TRUE(source.hasFxpByteSize);
    EXPECT_EQ(source.fxpByteSize, 0u);
    EXPECT_EQ(source.fxpNumParams, 0u);
    EXPECT_EQ(r.u(word::magic), 0x5D3B607Cu);
    EXPECT_EQ(r.u(word::version), 0xD000u);
    EXPECT_EQ(r.u(word::flags), 0x0800u);
    EXPECT_EQ(std::string(r.name()), "Some # name");
    EXPECT_EQ(std::string(r.description()), "Two\nlines \\ and a tab\t.");
    EXPECT_EQ(r.f(word::delayLength + 0), 41.3f);
    EXPECT_EQ(r.f(word::delayLength + 2), 67.1f);
    EXPECT_EQ(r.f(word::delayLength + 3), -79.9f);
    EXPECT_EQ(r.u(word::lfo2 + lfo::shape), 4u);
    EXPECT_EQ(r.u(word::beta), 0x80000000u);
    EXPECT_EQ(source.exemptFigures, kFigureDensity | kFigureCorrelation);
    EXPECT_EQ(source.exemptReason, "a gated room: sparse by design");
    EXPECT_EQ(r.f(word::inputVectors + 1), std::ldexp(1.0f, -21));
    EXPECT_EQ(r.f(word::inputVectors + 7), -1.0f);
    // Everything not given is zero, including the rest of the text fields.
    EXPECT_EQ(r.u(word::dry), 0u);
    EXPECT_EQ(r.u(word::name + 6), 0u);
    EXPECT_EQ(r.u(word::description + 119), 0u);
}

TEST(ProgramSourceParse, ErrorsNameFileLineAndProblem) {
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"dry 100\n\nwetness 3\n", "test.program:3: unknown field 'wetness'"},
        {"delayLength 1 2 3\n", "test.program:1: delayLength takes 4 values, 3 given"},
        {"dry 1 2\n", "test.program:1: dry takes 1 value, 2 given"},
        {"dry\n", "test.program:1: dry takes 1 value, 0 given"},
        {"dry 0x10\n", "test.program:1: '0x10' is not a finite decimal number (dry)"},
        {"dry nan\n", "'nan' is not a finite decimal number"},
        {"dry inf\n", "'inf' is not a finite decimal number"},
        {"dry 1e40\n", "'1e40' is not a finite decimal number"},
        {"dry 1.5x\n", "'1.5x' is not a finite decimal number"},
        {"flags 0x1FFFFFFFF\n", "is not an unsigned 32-bit integer (flags)"},
        {"flags -1\n", "'-1' is not an unsigned 32-bit integer"},
        {"lfo1.shape 1.5\n", "'1.5' is not an unsigned 32-bit integer (lfo1.shape)"},
        {"dry 1\n# c\ndry 2\n", "test.program:3: 'dry' given twice (first on line 1)"},
        {"layout 0x1000\nlayout 0x2000\n", "test.program:2: 'layout' given twice"},
        {"name 0123456789012345678901234567\n", "test.program:1: name is 28 bytes, at most 27 fit"},
        {"description bad \\q escape\n", "test.program:1: bad escape in description"},
        {"description ends in \\\n", "bad escape in description"},
        {"layout 0xE000\n", "test.program:1: unknown layout '0xE000'"},
        {"fxpVersion\n", "test.program:1: fxpVersion takes one unsigned integer"},
        {"\r\n\r\nlfo3.period 1\r\n", "test.program:3: unknown field 'lfo3.period'"},
        {"tail 0\n", "test.program:1: tail takes the seconds"},
        {"tail -1\n", "tail takes the seconds"},
        {"tail forever\n", "tail takes the seconds"},
        {"tail 2\ntail sustain\n", "test.program:2: 'tail' given twice"},
        {"exempt bass\n", "test.program:1: exempt takes the figures"},
        {"exempt bass,width too wide\n", "exempt takes figures from peakiness, correlation, bass, density or all, not 'width'"},
        {"exempt all gated\nexempt bass bright\n", "test.program:2: 'exempt' given twice"},
    };
    for (const Case& c : cases) {
        ProgramSource source;
        source.record.setU(word::dry, 7);
        std::string error;
        EXPECT_FALSE(parse(c.text, source, error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << "got: " << error << "\nwanted: " << c.message;
        EXPECT_EQ(source.record.u(word::dry), 7u) << "a failed parse leaves the source alone";
    }
    // A 27-character name fits.
    ProgramSource source;
    std::string error;
    EXPECT_TRUE(parse("name 012345678901234567890123456\n", source, error)) << error;
}

ProgramRecord randomRecord(uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-1000.0f, 1000.0f);
    ProgramRecord r;
    for (int i = word::dry; i < word::description; ++i) {
        r.setF(i, value(random));
    }
    r.setU(word::magic, kProgramMagic);
    r.setU(word::version, kCurrentLayout);
    r.setU(word::flags, random() & 0xFFFF);
    r.setU(word::lfo1 + lfo::shape, random() % 7);
    r.setU(word::lfo2 + lfo::shape, random() % 7);
    r.setName("Random program");
    r.setDescription("Random description\nwith a backslash \\ in it.");
    return r;
}

TEST(ProgramSourceFormat, FormattedSourcesParseBackExactly) {
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        ProgramSource source;
        source.record = randomRecord(seed);
        source.record.setF(word::beta, -0.0f);
        source.record.setF(word::alpha, 1e-30f);
        source.tail = seed % 3 == 0 ? TailPromise::none : seed % 3 == 1 ? TailPromise::sustain : TailPromise::seconds;
        source.tailSeconds = source.tail == TailPromise::seconds ? 0.1 * seed + 0.05 : 0.0;
        source.exemptFigures = seed % 16;
        source.exemptReason = source.exemptFigures != 0 ? "a reason, with words" : "";
        if (seed % 2 == 0) {
            source.layout = 0x4000;
            source.fxpVersion = 1;
            source.hasFxpByteSize = true;
            source.fxpByteSize = 0;
            source.fxpNumParams = 3;
        }
        std::string text;
        std::string error;
        ASSERT_TRUE(formatProgramSource(source, text, error)) << error;
        ProgramSource parsed;
        ASSERT_TRUE(parse(text, parsed, error)) << error << "\n" << text;
        EXPECT_TRUE(parsed.record == source.record) << text;
        EXPECT_EQ(parsed.layout, source.layout);
        EXPECT_EQ(parsed.fxpVersion, source.fxpVersion);
        EXPECT_EQ(parsed.hasFxpByteSize, source.hasFxpByteSize);
        EXPECT_EQ(parsed.fxpByteSize, source.fxpByteSize);
        EXPECT_EQ(parsed.fxpNumParams, source.fxpNumParams);
        EXPECT_EQ(parsed.tail, source.tail);
        EXPECT_FLOAT_EQ(static_cast<float>(parsed.tailSeconds), static_cast<float>(source.tailSeconds));
        EXPECT_EQ(parsed.exemptFigures, source.exemptFigures);
        EXPECT_EQ(parsed.exemptReason, source.exemptReason);
    }
    ProgramSource bad;
    bad.record.setU(word::wet, 0x7FC00000);  // NaN
    std::string text;
    std::string error;
    EXPECT_FALSE(formatProgramSource(bad, text, error));
    EXPECT_NE(error.find("wet"), std::string::npos);
}

// A record cut down to what the given layout can hold: the fields it lacks get the values loading gives.
ProgramRecord recordFor(uint32_t layout, uint32_t seed) {
    ProgramRecord r = randomRecord(seed);
    uint32_t flags = r.u(word::flags);
    if (layout <= 0xC000) {
        r.setF(word::lfo1 + lfo::inverterDepth, 0.0f);
        r.setF(word::lfo2 + lfo::inverterDepth, 0.0f);
        r.setF(word::envInverterDepth, 0.0f);
    }
    if (layout <= 0xB000) {
        flags &= ~0x070Fu;  // bits never loaded from these layouts (emphasis among them)
        const bool taps[3] = {(seed & 1) != 0, (seed & 2) != 0, (seed & 4) != 0};
        flags &= ~flag::tapOutputs;
        for (int i = 0; i < 3; ++i) {
            r.setF(word::tapLevel + i, taps[i] ? 1.0f : 0.0f);
            if (taps[i]) {
                flags |= flag::tapOutputs;
            }
        }
    }
    if (layout <= 0xA000) {
        flags &= ~0x2010u;
        // Multitap came from cross mixing (or the old count, which also gives inner feedback).
        if ((flags & flag::crossMixing) != 0) {
            flags |= flag::multitap;
        } else if ((flags & flag::multitap) != 0) {
            flags |= flag::innerFeedback;
        }
    }
    if (layout <= 0x9000) {
        flags |= flag::swapRowsColumns;
    }
    if (layout <= 0x8000) {
        r.setF(word::support, 0.0f);
        r.setF(word::envInverterDepth, 0.0f);
    }
    if (layout <= 0x7000) {
        for (int i = lfo::decayDepth; i <= lfo::shift; ++i) {
            r.setU(word::lfo1 + i, 0);
        }
        r.setF(word::lfo2 + lfo::period, 1.0f);
        for (int i = lfo::delayDepth; i <= lfo::shift; ++i) {
            r.setU(word::lfo2 + i, 0);
        }
    }
    if (layout <= 0x6000) {
        r.setU(word::lfo1 + lfo::shape, 0);
    }
    if (layout <= 0x5000) {
        r.setF(word::inputGain, 1.0f);
        r.setF(word::outGain, 1.0f);
    }
    if (layout <= 0x2000) {
        r.setDescription("");
        if ((flags & flag::multitap) != 0 && (flags & flag::crossMixing) == 0) {
            flags |= flag::crossMixing;  // an old multitap count implied cross mixing here
        }
    }
    if (layout == 0x1000) {
        const float defaults[] = {1.0f, 1.0f, 1.0f, 1.0f, 100.0f, 1.0f, 1.0f};
        for (int i = 0; i < 7; ++i) {
            r.setF(word::decayScale + i, defaults[i]);
        }
    }
    r.setU(word::flags, flags);
    return r;
}

const uint32_t kAllLayouts[] = {0x1000, 0x2000, 0x3000, 0x4000, 0x5000, 0x6000, 0x7000,
                                0x8000, 0x9000, 0xA000, 0xB000, 0xC000, 0xD000};

TEST(LayoutWriter, EveryLayoutReadsBackIntoTheRecord) {
    for (uint32_t layout : kAllLayouts) {
        for (uint32_t seed = 1; seed <= 16; ++seed) {
            const ProgramRecord record = recordFor(layout, seed);
            uint8_t chunk[kLayoutWriterMaxBytes];
            std::string error;
            const size_t size = writeChunkInLayout(record, layout, chunk, error);
            ASSERT_EQ(size, chunkLayoutBytes(layout)) << std::hex << layout << " seed " << seed << ": " << error;
            EXPECT_EQ(test::getLE32(chunk + 4), layout);
            EXPECT_EQ(test::getLE32(chunk), kProgramMagic);
            ProgramRecord loaded;
            ASSERT_TRUE(readChunk(loaded, chunk, size));
            EXPECT_TRUE(loaded == record) << std::hex << layout << " seed " << seed;
        }
    }
    // The old magic is stored as it stands.
    ProgramRecord old = recordFor(0x5000, 3);
    old.setU(word::magic, kProgramMagicOld);
    uint8_t chunk[kLayoutWriterMaxBytes];
    std::string error;
    ASSERT_EQ(writeChunkInLayout(old, 0x5000, chunk, error), 820u) << error;
    EXPECT_EQ(test::getLE32(chunk), kProgramMagicOld);
}

TEST(LayoutWriter, OldLayoutsStoreWhatTheMigrationsUndo) {
    // Spot checks of the stored words themselves, at the offsets of the layout tables.
    ProgramRecord record = recordFor(0x4000, 5);
    record.setF(word::beta, 0.0f);
    record.setF(word::tap1, 0.25f);
    record.setF(word::tap3, 0.75f);
    uint8_t chunk[kLayoutWriterMaxBytes];
    std::string error;
    ASSERT_EQ(writeChunkInLayout(record, 0x4000, chunk, error), 1024u) << error;
    EXPECT_EQ(test::getLE32(chunk + 64 + 4 * (18 - 13)), bitsOf(0.75f));  // tap 3 where tap 1 goes
    EXPECT_EQ(test::getLE32(chunk + 64 + 4 * (26 - 13)), bitsOf(0.25f));
    EXPECT_EQ(test::getLE32(chunk + 176 + 4 * (40 - 30)), 0x80000000u);  // beta as -0
    EXPECT_EQ(std::memcmp(chunk + 512, record.description(), 480), 0);
    EXPECT_EQ(test::getLE32(chunk + 8) & 0x0800u, 0u);  // the swap flag comes from the migration
}

TEST(LayoutWriter, UnrepresentableRecordsAreRefused) {
    struct Case {
        uint32_t layout;
        void (*change)(ProgramRecord&);
        const char* message;
    };
    const std::vector<Case> cases = {
        {0xC000, [](ProgramRecord& r) { r.setF(word::envInverterDepth, 0.5f); }, "envInverterDepth"},
        {0xC000, [](ProgramRecord& r) { r.setF(word::lfo2 + lfo::inverterDepth, -0.0f); }, "lfo2.inverterDepth"},
        {0xB000, [](ProgramRecord& r) { r.setF(word::tapLevel + 1, 0.5f); }, "tapLevel"},
        {0xB000, [](ProgramRecord& r) { r.setU(word::flags, r.u(word::flags) | 0x0100); }, "never loaded"},
        {0xB000, [](ProgramRecord& r) { r.setU(word::flags, r.u(word::flags) ^ flag::tapOutputs); }, "Tap outputs"},
        {0xA000, [](ProgramRecord& r) { r.setU(word::flags, r.u(word::flags) | flag::filtersBeforeOutput); },
         "did not exist"},
        {0xA000,
         [](ProgramRecord& r) { r.setU(word::flags, (r.u(word::flags) | flag::crossMixing) & ~flag::multitap); },
         "Cross mixing implies Multitap"},
        {0xA000,
         [](ProgramRecord& r) {
             r.setU(word::flags, (r.u(word::flags) | flag::multitap) & ~(flag::crossMixing | flag::innerFeedback));
         },
         "Multitap needs"},
        {0x9000, [](ProgramRecord& r) { r.setU(word::flags, r.u(word::flags) & ~flag::swapRowsColumns); }, "swap"},
        {0x8000, [](ProgramRecord& r) { r.setF(word::support, 0.25f); }, "support"},
        {0x7000, [](ProgramRecord& r) { r.setF(word::lfo2 + lfo::period, 2.0f); }, "lfo2.period"},
        {0x7000, [](ProgramRecord& r) { r.setU(word::lfo2 + lfo::shape, 3); }, "lfo2.shape"},
        {0x6000, [](ProgramRecord& r) { r.setU(word::lfo1 + lfo::shape, 1); }, "lfo1.shape"},
        {0x5000, [](ProgramRecord& r) { r.setF(word::outGain, 2.0f); }, "outGain"},
        {0x2000, [](ProgramRecord& r) { r.setDescription("text"); }, "description"},
        {0x1000, [](ProgramRecord& r) { r.setF(word::midCenter, 200.0f); }, "midCenter"},
        {0xD000, [](ProgramRecord& r) { r.setU(word::version, 0xC000); }, "version word"},
        {0x4000, [](ProgramRecord& r) { r.setU(word::reserved, 1); }, "reserved"},
    };
    for (const Case& c : cases) {
        ProgramRecord record = recordFor(c.layout, 7);
        uint8_t chunk[kLayoutWriterMaxBytes];
        std::string error;
        ASSERT_NE(writeChunkInLayout(record, c.layout, chunk, error), 0u) << error;
        c.change(record);
        error.clear();
        EXPECT_EQ(writeChunkInLayout(record, c.layout, chunk, error), 0u) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << "got: " << error;
    }
    std::string error;
    uint8_t chunk[kLayoutWriterMaxBytes];
    EXPECT_EQ(writeChunkInLayout(recordFor(0xD000, 1), 0x0E00, chunk, error), 0u);
    EXPECT_NE(error.find("unknown layout"), std::string::npos);
}

TEST(ProgramFileBuild, FramingFollowsTheSource) {
    ProgramSource source;
    source.record = recordFor(0xD000, 9);
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(buildProgramFile(source, file, error)) << error;
    // With the default framing the file is exactly what the plug-in writes.
    std::vector<uint8_t> written(940);
    MemoryStream stream(written.data(), written.size());
    ASSERT_TRUE(writeFxp(stream, source.record));
    EXPECT_EQ(file, written);

    source.record = recordFor(0x3000, 9);
    source.layout = 0x3000;
    source.fxpVersion = 1;
    source.hasFxpByteSize = true;
    source.fxpByteSize = 0;
    source.fxpNumParams = 5;
    ASSERT_TRUE(buildProgramFile(source, file, error)) << error;
    ASSERT_EQ(file.size(), 1116u);
    EXPECT_EQ(getBE32(file.data() + 4), 0u);
    EXPECT_EQ(getBE32(file.data() + 20), 1u);
    EXPECT_EQ(getBE32(file.data() + 24), 5u);
    EXPECT_EQ(getBE32(file.data() + 56), 1056u);
    ProgramRecord loaded;
    MemoryStream in(file.data(), file.size());
    ASSERT_TRUE(readFxpIntoRecord(in, loaded));
    EXPECT_TRUE(loaded == source.record);

    source.hasFxpByteSize = false;
    ASSERT_TRUE(buildProgramFile(source, file, error));
    EXPECT_EQ(getBE32(file.data() + 4), 1056u + 52u);

    source.record.setF(word::inputGain, 3.0f);
    source.layout = 0x5000;
    EXPECT_FALSE(buildProgramFile(source, file, error));
    EXPECT_NE(error.find("inputGain"), std::string::npos);
}

}  // namespace
}  // namespace tarsk
