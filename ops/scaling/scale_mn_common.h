// M/N box down-scaling shared by the planar and the interleaved feature:
// 16.16 fixed-point box stepping, the scalar box line, and the vector row
// and column passes built on per-call box tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "mira/mira_types.h"

namespace mira {

// How many bands parallel_bands splits `rows` rows of `work` pixels into.
uint32_t band_count(uint32_t rows, uint64_t work);
// Runs fn(first, last, band) over band_count(rows, work) bands of [0, rows),
// on the calling thread and the library's shared workers (run_bands). Small jobs run as
// fn(0, rows, 0) in the caller. Every band has finished when the call returns.
void parallel_bands(uint32_t rows, uint64_t work,
                    const std::function<void(uint32_t, uint32_t, uint32_t)>& fn);

// A plane the box scaling may read or write: rows of `width` bytes `stride`
// apart, data present unless the plane is empty.
bool mn_plane_ok(const MIRA_Feature_Buf& b);

// Start position and step of the box line for `srcSize` -> `dstSize`
// samples, both 16.16 fixed point. A single destination sample of a source
// longer than 32767 steps by the source size so the product stays in 32 bits.
struct Slope {
    int32_t start;
    int32_t step;
};
Slope ScaleSlope(int32_t srcSize, int32_t dstSize);

// (|num| << 16) / div in 64 bits, truncated and kept as 32 bits; 0 for div 0.
int32_t FixedDiv(int32_t num, int32_t div);

// One line of box averaging: destination sample i is the mean, rounded half
// up, of the source samples from the end of box i-1 (exclusive) to
// (start + i * step) >> 16 (inclusive); an empty box gives 0. Samples are
// `elemStep` bytes apart along a row. `srcCount` bounds what is read: boxes
// reaching past it (possible only when 32-bit positions wrap) read no further.
void ScaleCols(uint8_t* dst, const uint8_t* src, int32_t count, int32_t start, int32_t step,
               int32_t elemStep, int32_t srcCount);
// The same down a column: samples `rowStep` bytes apart, in source and
// destination alike.
void ScaleRows(uint8_t* dst, const uint8_t* src, int32_t count, int32_t start, int32_t step,
               size_t rowStep, int32_t srcCount);

// One box of a line: the first source sample, how many samples are read
// (clamped to the source) and the divisor n of the rounded mean.
struct Box {
    int32_t first;
    int32_t reads;
    int32_t n;
};
// The boxes of a whole line, in destination order.
std::vector<Box> box_line(int32_t srcSize, int32_t dstSize, int32_t count);

// Horizontal pass of the box line over one plane (elemStep 1) or one
// interleaved pair plane (elemStep 2, both channels): every destination byte
// of each of `rows` rows is the rounded mean of its box. `dstBytes` bytes are
// written per row; `srcBytes` bytes are read at most.
void scaledown_mn_h(const uint8_t* src, uint8_t* dst, uint32_t srcBytes, uint32_t dstBytes,
                    uint32_t rows, uint32_t elemStep, size_t srcStride, size_t dstStride);
// Vertical pass: destination row j of `bytes` bytes is the rounded mean of the
// source rows of box j (srcRows -> dstRows).
void scaledown_mn_v(const uint8_t* src, uint8_t* dst, uint32_t srcRows, uint32_t dstRows,
                    size_t srcStride, size_t dstStride, uint32_t bytes);

// The whole box down-scale, horizontal boxes first and vertical boxes of their
// results next, streamed through one intermediate block. `srcBytes` and
// `dstBytes` are the row widths in bytes; elemStep 2 treats rows as
// interleaved pairs (dstBytes rounded down to whole pairs is written), 3 and 4
// as pixels of that many channels, each channel with its plane's boxes (the
// box line of the pixel counts).
// Returns false, writing nothing, when the block cannot be allocated.
bool scaledown_mn(const uint8_t* src, uint32_t srcBytes, uint32_t srcRows, size_t srcStride,
                  uint8_t* dst, uint32_t dstBytes, uint32_t dstRows, size_t dstStride,
                  uint32_t elemStep);

}  // namespace mira
