// The Matrix page's vector editing.
#include "editor/matrix-vectors.h"

#include <cmath>

namespace tarsk {

namespace {
constexpr int kVectorWord[2] = {word::vectorU, word::vectorV};
}  // namespace

MatrixVectors MatrixVectors::of(const ProgramRecord& record) {
    MatrixVectors out;
    for (int k = 0; k < 2; ++k) {
        for (int j = 0; j < kLines; ++j) {
            const float x = record.f(kVectorWord[k] + j);
            out.v[k][j] = std::isfinite(x) ? x : 0.0f;
        }
    }
    return out;
}

void MatrixVectors::store(ProgramRecord& record) const {
    for (int k = 0; k < 2; ++k) {
        for (int j = 0; j < kLines; ++j) {
            record.setF(kVectorWord[k] + j, v[k][j]);
        }
    }
}

int MatrixVectors::nonZero(int k) const {
    int n = 0;
    for (float x : v[k]) {
        n += x != 0.0f ? 1 : 0;
    }
    return n;
}

bool MatrixVectors::click(int k, int j) {
    float& mine = v[k][j];
    float& theirs = v[1 - k][j];
    if (theirs != 0.0f) {
        // The index moves over to this vector unless it is the other vector's last one.
        if (nonZero(1 - k) > 1) {
            mine = 1.0f;
            theirs = 0.0f;
            return true;
        }
        return false;
    }
    if (mine > 0.0f) {
        mine = -1.0f;
    } else if (mine < 0.0f) {
        mine = nonZero(k) >= 2 ? 0.0f : 1.0f;
    } else {
        mine = 1.0f;
    }
    return true;
}

void MatrixVectors::normalise() {
    for (int k = 0; k < 2; ++k) {
        const int n = nonZero(k);
        if (n == 0) {
            continue;
        }
        const float size = 1.0f / std::sqrt(static_cast<float>(n));
        for (float& x : v[k]) {
            x = x > 0.0f ? size : (x < 0.0f ? -size : 0.0f);
        }
    }
}

}  // namespace tarsk
