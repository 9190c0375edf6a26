// The up-scaling pipelines' column gather stage against a plain per-column
// reference: every output element is rows(cols(x)) (and the next sample, for
// pairs), for up-scale column tables at many factors and for tables whose
// blocks span too many samples for one load, at odd widths and heights, with
// regions that do not start on a block, strides wider than the rows, and
// buffers that end at a guard page. Also the bounds-query answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "common/guarded_image.h"
#include "ops/scaling/pipelines/column_gather.h"

using mira_test::GuardedBlock;
using mira_test::GuardedImage;

namespace {

int64_t floor_div(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// A 1-D table of int32 or u8 over [min, min + n), ending at a guard page.
struct Table {
    GuardedBlock block;
    halide_dimension_t dim;
    halide_buffer_t buf{};
    Table(int32_t min, int32_t n, int bytes) : block(size_t(std::max(n, 1)) * bytes) {
        dim = {min, n, 1, 0};
        buf.host = block.data();
        buf.type = halide_type_t(halide_type_uint, uint8_t(8 * bytes), 1);
        if (bytes == 4) buf.type = halide_type_t(halide_type_int, 32, 1);
        buf.dimensions = 1;
        buf.dim = &dim;
    }
    int32_t* i32() { return reinterpret_cast<int32_t*>(block.data()); }
};

// A 3-D buffer (x, row, channel) over a guarded image.
struct Plane3 {
    halide_dimension_t dim[3];
    halide_buffer_t buf{};
    Plane3(GuardedImage& img, int32_t xmin, int32_t xn, int32_t rmin, int32_t rn, int bytes) {
        dim[0] = {xmin, xn, 1, 0};
        dim[1] = {rmin, rn, int32_t(img.stride() / bytes), 0};
        dim[2] = {0, 1, int32_t(img.stride() / bytes) * std::max(rn, 1), 0};
        buf.host = img.data();
        buf.type = halide_type_t(halide_type_uint, uint8_t(8 * bytes), 1);
        buf.dimensions = 3;
        buf.dim = dim;
    }
};

// The source columns of destination columns [x0, x0 + n) for an up-scale by
// s (first tap ceil(c - half) of the centre c = (x + 0.5) / s - 0.5,
// clamped to [lo, hi]), or random columns in [lo, hi] for s = 0.
std::vector<int32_t> columns(int32_t x0, int32_t n, float s, float half, int32_t lo, int32_t hi,
                             uint32_t seed) {
    std::vector<int32_t> c(size_t(std::max(n, 0)));
    std::mt19937 rng(seed);
    for (int32_t i = 0; i < n; ++i) {
        if (s == 0.0f) {
            c[size_t(i)] = lo + int32_t(rng() % uint32_t(hi - lo + 1));
        } else {
            const float centre = (float(x0 + i) + 0.5f) / s - 0.5f;
            c[size_t(i)] = std::clamp(int32_t(std::ceil(centre - half)), lo, hi);
        }
    }
    return c;
}

// (destination columns, rows, x0, factor (0: random columns), bytes)
using Case = std::tuple<int32_t, int32_t, int32_t, float, int>;

class ColumnGather : public ::testing::TestWithParam<Case> {};

TEST_P(ColumnGather, MatchesPerColumnReference) {
    const auto [n, rn, x0, s, bytes] = GetParam();
    const int32_t lo = bytes == 1 ? -1 : -2;
    // Source width: what a destination of x0 + n columns at factor s reads.
    const int32_t sw = s == 0.0f ? 40 : std::max(1, int32_t(std::ceil(float(x0 + n) / s)) + 1);
    const int32_t hi = sw;
    const int32_t rmin = -1;
    const std::vector<int32_t> c =
        columns(x0, n, s, bytes == 1 ? 0.5f : 1.0f, lo, hi, uint32_t(n * 7 + rn));

    // The tables as the pipelines compute them: per aligned block of 16
    // columns its first column, or kNoBlockBase when it spans more than 16.
    // The blocks cover the whole region; columns outside it do not exist
    // for the stage, so the partial blocks at the ends get their bases from
    // the region's columns only.
    Table cols(x0, n, 4), offs(x0, n, 1);
    const int32_t k0 = int32_t(floor_div(x0, 16));
    const int32_t kn = n > 0 ? int32_t(floor_div(x0 + n - 1, 16)) - k0 + 1 : 0;
    Table bases(k0, kn, 4);
    for (int32_t k = 0; k < kn; ++k) {
        int32_t mn = INT32_MAX, mx = INT32_MIN;
        for (int32_t x = std::max((k0 + k) * 16, x0); x < std::min((k0 + k + 1) * 16, x0 + n); ++x) {
            mn = std::min(mn, c[size_t(x - x0)]);
            mx = std::max(mx, c[size_t(x - x0)]);
        }
        bases.i32()[k] = mx - mn <= 15 ? mn : mira::kNoBlockBase;
        for (int32_t x = std::max((k0 + k) * 16, x0); x < std::min((k0 + k + 1) * 16, x0 + n); ++x) {
            cols.i32()[x - x0] = c[size_t(x - x0)];
            offs.block.data()[x - x0] = uint8_t(std::clamp(c[size_t(x - x0)] - mn, 0, 255));
        }
    }

    const int32_t rw = hi + 16 - lo + 1;
    GuardedImage src(uint32_t(rw), uint32_t(rn), uint32_t(rw + 5));
    src.fillRandom(uint32_t(rw * 3 + rn));
    GuardedImage dst(uint32_t(bytes * n), uint32_t(rn), uint32_t(bytes * (n + 3)));
    dst.fill(0x5A);
    Plane3 rows(src, lo, rw, rmin, rn, 1), out(dst, x0, n, rmin, rn, bytes);

    ASSERT_EQ(mira_gather_columns(&rows.buf, &cols.buf, &offs.buf, &bases.buf, lo, hi, &out.buf), 0);
    for (int32_t r = 0; r < rn; ++r)
        for (int32_t i = 0; i < n; ++i) {
            const int32_t col = c[size_t(i)] - lo;
            const uint8_t* srow = src.row(uint32_t(r));
            const uint8_t* orow = dst.row(uint32_t(r)) + size_t(bytes) * i;
            ASSERT_EQ(orow[0], srow[col]) << "row " << r << " column " << i;
            if (bytes == 2) {
                ASSERT_EQ(orow[1], srow[col + 1]) << "row " << r << " column " << i;
            }
        }
    EXPECT_TRUE(dst.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ColumnGather,
    ::testing::Combine(::testing::Values(1, 7, 17, 33, 641),          // destination columns
                       ::testing::Values(1, 2, 3, 17),                // rows
                       ::testing::Values(0, 5, -3),                   // first column
                       ::testing::Values(1.1f, 1.2f, 1.25f, 1.92f, 2.5f, 3.0f, 1.0001f, 16.0f,
                                         0.0f),                       // factor (0: random)
                       ::testing::Values(1, 2)));                     // element bytes

// Blocks whose columns span exactly 16 samples (one load) and 17 (two):
// the stage takes the load for the first only where the table says so, and
// both give the per-column result.
TEST(ColumnGather, BlockSpanAtTheLimit) {
    for (int span : {15, 16}) {
        for (int bytes : {1, 2}) {
            const int32_t n = 32, lo = -2, hi = 40;
            std::vector<int32_t> c(n);
            for (int32_t i = 0; i < n; ++i) c[size_t(i)] = (i % 16) * span / 15 + (i / 16) * 3;
            Table cols(0, n, 4), offs(0, n, 1), bases(0, 2, 4);
            for (int k = 0; k < 2; ++k) {
                bases.i32()[k] = span <= 15 ? c[size_t(16 * k)] : mira::kNoBlockBase;
                for (int i = 16 * k; i < 16 * k + 16; ++i) {
                    cols.i32()[i] = c[size_t(i)];
                    offs.block.data()[i] = uint8_t(c[size_t(i)] - c[size_t(16 * k)]);
                }
            }
            const int32_t rw = hi + 16 - lo + 1;
            GuardedImage src(uint32_t(rw), 3, uint32_t(rw));
            src.fillRandom(uint32_t(span + bytes));
            GuardedImage dst(uint32_t(bytes * n), 3, uint32_t(bytes * n));
            Plane3 rows(src, lo, rw, 0, 3, 1), out(dst, 0, n, 0, 3, bytes);
            ASSERT_EQ(mira_gather_columns(&rows.buf, &cols.buf, &offs.buf, &bases.buf, lo, hi,
                                          &out.buf),
                      0);
            for (uint32_t r = 0; r < 3; ++r)
                for (int32_t i = 0; i < n; ++i)
                    for (int t = 0; t < bytes; ++t)
                        ASSERT_EQ(dst.row(r)[bytes * i + t], src.row(r)[c[size_t(i)] - lo + t])
                            << "span " << span << " bytes " << bytes << " column " << i;
        }
    }
}

// Called with null host pointers, the stage names the regions it reads for
// the output region asked for, and touches nothing.
TEST(ColumnGather, BoundsQueryNamesTheRegionsRead) {
    halide_dimension_t rd[3] = {}, od[3] = {{-3, 37, 1, 0}, {4, 9, 40, 0}, {0, 1, 400, 0}};
    halide_dimension_t cd = {}, md = {}, bd = {};
    halide_buffer_t rows{}, cols{}, offs{}, bases{}, out{};
    rows.dimensions = 3;
    rows.dim = rd;
    rows.type = halide_type_t(halide_type_uint, 8, 1);
    for (auto [b, d] : {std::pair{&cols, &cd}, {&offs, &md}, {&bases, &bd}}) {
        b->dimensions = 1;
        b->dim = d;
    }
    cols.type = bases.type = halide_type_t(halide_type_int, 32, 1);
    offs.type = halide_type_t(halide_type_uint, 8, 1);
    out.dimensions = 3;
    out.dim = od;
    out.type = halide_type_t(halide_type_uint, 16, 1);
    ASSERT_EQ(mira_gather_columns(&rows, &cols, &offs, &bases, -2, 50, &out), 0);
    EXPECT_EQ(rd[0].min, -2);
    EXPECT_EQ(rd[0].extent, 50 + 16 + 2 + 1);
    EXPECT_EQ(rd[1].min, 4);
    EXPECT_EQ(rd[1].extent, 9);
    EXPECT_EQ(rd[2].extent, 1);
    EXPECT_EQ(cd.min, -3);
    EXPECT_EQ(cd.extent, 37);
    EXPECT_EQ(md.min, -3);
    EXPECT_EQ(md.extent, 37);
    EXPECT_EQ(bd.min, -1);  // blocks -1 (columns -16..-1) to 2 (32..47)
    EXPECT_EQ(bd.extent, 4);
    EXPECT_EQ(rows.host, nullptr);
}

// An output region wider than the tables (the generated code may realize
// columns no consumer reads): the columns the tables describe are gathered,
// the others set to 0, and the tables are read only where they exist (they
// end at guard pages).
TEST(ColumnGather, ColumnsOutsideTheTablesAreZero) {
    for (int bytes : {1, 2}) {
        const int32_t x0 = -4, n = 40, t0 = 0, tn = 21, lo = -2, hi = 30;
        Table cols(t0, tn, 4), offs(t0, tn, 1), bases(0, 2, 4);
        for (int32_t i = 0; i < tn; ++i) {
            cols.i32()[i] = i / 2;
            offs.block.data()[i] = uint8_t(i / 2 - (i / 16) * 8);
        }
        bases.i32()[0] = 0;
        bases.i32()[1] = 8;
        const int32_t rw = hi + 16 - lo + 1;
        GuardedImage src(uint32_t(rw), 2, uint32_t(rw + 1));
        src.fillRandom(uint32_t(7 + bytes));
        GuardedImage dst(uint32_t(bytes * n), 2, uint32_t(bytes * n));
        dst.fill(0x5A);
        Plane3 rows(src, lo, rw, 0, 2, 1), out(dst, x0, n, 0, 2, bytes);
        ASSERT_EQ(mira_gather_columns(&rows.buf, &cols.buf, &offs.buf, &bases.buf, lo, hi, &out.buf),
                  0);
        for (uint32_t r = 0; r < 2; ++r)
            for (int32_t i = 0; i < n; ++i) {
                const int32_t x = x0 + i;
                for (int t = 0; t < bytes; ++t) {
                    const uint8_t want = x >= t0 && x < t0 + tn ? src.row(r)[x / 2 - lo + t] : 0;
                    ASSERT_EQ(dst.row(r)[bytes * i + t], want) << "bytes " << bytes << " x " << x;
                }
            }
    }
}

TEST(ColumnGather, RejectsBuffersOfAnotherShape) {
    halide_dimension_t d3[3] = {{0, 16, 1, 0}, {0, 1, 16, 0}, {0, 1, 16, 0}}, d1 = {0, 16, 1, 0};
    std::vector<uint8_t> mem(64);
    halide_buffer_t rows{}, cols{}, offs{}, bases{}, out{};
    rows.host = out.host = cols.host = offs.host = bases.host = mem.data();
    rows.dimensions = out.dimensions = 3;
    rows.dim = out.dim = d3;
    cols.dimensions = offs.dimensions = bases.dimensions = 1;
    cols.dim = offs.dim = bases.dim = &d1;
    rows.type = offs.type = halide_type_t(halide_type_uint, 8, 1);
    cols.type = bases.type = halide_type_t(halide_type_int, 32, 1);
    out.type = halide_type_t(halide_type_uint, 32, 1);  // neither bytes nor pairs
    EXPECT_EQ(mira_gather_columns(&rows, &cols, &offs, &bases, 0, 0, &out), -1);
    out.type = halide_type_t(halide_type_uint, 8, 1);
    EXPECT_EQ(mira_gather_columns(&rows, &cols, &offs, &bases, 1, 0, &out), -1);  // hi < lo
    EXPECT_EQ(mira_gather_columns(&rows, &cols, &offs, &bases, 0, 0, &out), 0);
    // Inputs that do not hold what the output region reads.
    halide_dimension_t short_rows[3] = {{0, 16, 1, 0}, {1, 1, 16, 0}, {0, 1, 16, 0}};
    rows.dim = short_rows;  // row 0 missing
    EXPECT_EQ(mira_gather_columns(&rows, &cols, &offs, &bases, 0, 0, &out), -1);
    rows.dim = d3;
    EXPECT_EQ(mira_gather_columns(&rows, &cols, &offs, &bases, 0, 16, &out), -1);  // column 16
    cols.dimensions = 2;
    EXPECT_EQ(mira_gather_columns(&rows, &cols, &offs, &bases, 0, 0, &out), -1);
}

}  // namespace
