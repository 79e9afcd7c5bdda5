// The two vectors u and v of the feedback matrix's rotation plane as the Matrix page edits them:
// every component -1/sqrt(n), 0 or +1/sqrt(n) (n the vector's non-zero count), never a non-zero
// component of both at the same index, never an empty vector.
#pragma once

#include "engine/engine-state.h"
#include "engine/program-record.h"

namespace tarsk {

struct MatrixVectors {
    float v[2][kLines] = {};  // [0] u, [1] v

    static MatrixVectors of(const ProgramRecord& record);
    void store(ProgramRecord& record) const;

    float component(int k, int j) const { return v[k][j]; }
    int nonZero(int k) const;
    // A click on component j of vector k (signs only; normalise afterwards). Answers whether anything
    // changed.
    bool click(int k, int j);
    // Every non-zero component becomes +-1/sqrt(n) with its sign kept.
    void normalise();
};

}  // namespace tarsk
