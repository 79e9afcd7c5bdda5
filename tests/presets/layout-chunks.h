// Hand-built chunks of every layout, laid out from the layout tables word by word, with marked values.
#pragma once

#include <string>

#include "chunk-builder.h"

namespace tarsk::test {

constexpr uint32_t kMagic = 0x5D3B607C;
constexpr uint32_t kOldMagic = 0x5D3B6001;
inline const std::string kTestName = "Layout test program";
inline const std::string kTestDescription = "A description\nover two lines.";

inline ChunkBuilder chunkD000(uint32_t flags, uint32_t magic = kMagic) {
    ChunkBuilder b(880);
    b.header(magic, 0xD000, flags).text(4, 28, kTestName).words(11, 100).text(101, 480, kTestDescription);
    return b;
}

inline ChunkBuilder chunkC000(uint32_t flags) {
    ChunkBuilder b(880);
    b.header(kMagic, 0xC000, flags).text(4, 28, kTestName);
    b.words(11, 12).words(13, 29).words(30, 54).words(55, 61).words(63, 69).words(71, 77);
    b.dropped(4, bitsOf(7777.0f)).dropped(4, bitsOf(8888.0f));  // the 8th and 9th dynamics values
    b.words(78, 79).words(80, 100).text(101, 480, kTestDescription);
    return b;
}

// 0x9000, 0xA000 and 0xB000 share one layout.
inline ChunkBuilder chunkB000(uint32_t version, uint32_t flags) {
    ChunkBuilder b(880);
    b.header(kMagic, version, flags).text(4, 28, kTestName);
    b.words(11, 12).words(13, 29).words(30, 54).dropped(12).words(55, 61).words(63, 69).words(71, 77);
    b.dropped(8).words(78, 79).words(80, 97).text(101, 480, kTestDescription);
    return b;
}

inline ChunkBuilder chunk8000(uint32_t flags) {
    ChunkBuilder b(872);
    b.header(kMagic, 0x8000, flags).text(4, 28, kTestName);
    b.words(11, 12).words(13, 29).words(30, 54).dropped(12).words(55, 61).words(63, 69).words(71, 79);
    b.words(80, 97).text(101, 480, kTestDescription);
    return b;
}

inline ChunkBuilder chunk7000(uint32_t flags) {
    ChunkBuilder b(832);
    b.header(kMagic, 0x7000, flags).text(4, 28, kTestName);
    b.words(11, 12).words(13, 29).words(30, 54).dropped(12).words(55, 58).words(71, 79).words(80, 97);
    b.text(101, 480, kTestDescription);
    return b;
}

inline ChunkBuilder chunk6000(uint32_t flags) {
    ChunkBuilder b(828);
    b.header(kMagic, 0x6000, flags).text(4, 28, kTestName);
    b.words(11, 12).words(13, 29).words(30, 54).dropped(12).words(55, 57).words(71, 79).words(80, 97);
    b.text(101, 480, kTestDescription);
    return b;
}

inline ChunkBuilder chunk5000(uint32_t flags, uint32_t magic = kMagic) {
    ChunkBuilder b(820);
    b.header(magic, 0x5000, flags).text(4, 28, kTestName);
    b.words(11, 12).words(13, 29).words(30, 54).dropped(12).words(55, 57).words(71, 79).words(80, 95);
    b.text(101, 480, kTestDescription);
    return b;
}

// The first 512 bytes of a memory image (identical in all four image layouts).
inline void imageFront(ChunkBuilder& b, uint32_t version, uint32_t flags) {
    b.at(0).header(kMagic, version, flags).at(12).dropped(4).at(16).text(4, 28, kTestName);
    b.at(44).words(11, 12).at(52).dropped(12).at(64).words(13, 29).at(132).dropped(44);
    b.at(176).words(30, 54).at(276).dropped(12).at(288).words(55, 57).at(300).words(71, 79);
    b.at(336).dropped(64).at(400).words(80, 95).at(464).dropped(48);
}

inline ChunkBuilder image4000(uint32_t flags) {
    ChunkBuilder b(1024);
    imageFront(b, 0x4000, flags);
    b.at(512).text(101, 480, kTestDescription).at(992).dropped(32);
    return b;
}

inline ChunkBuilder image3000(uint32_t flags) {
    ChunkBuilder b(1056);
    imageFront(b, 0x3000, flags);
    b.at(512).dropped(32).at(544).text(101, 480, kTestDescription).at(1024).dropped(32);
    return b;
}

// 0x1000 and 0x2000: 544 bytes, no description; the inner angles sit at image words 33 and 34.
inline ChunkBuilder image2000(uint32_t version, uint32_t flags, float phi, float theta) {
    ChunkBuilder b(544);
    imageFront(b, version, flags);
    b.at(512).dropped(32, 0x41414141);  // text-like junk where later images have the description
    b.poke(132, bitsOf(phi)).poke(136, bitsOf(theta));
    return b;
}

}  // namespace tarsk::test
