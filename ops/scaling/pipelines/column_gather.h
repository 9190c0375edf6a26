// The column gather of the up-scaling pipelines, a stage written with NEON
// table lookups and called from the generated code: for every destination
// column x and every source row r of its region,
//
//   out(x, r, c) = rows(cols(x), r, c)                       (1-byte elements)
//   out(x, r, c) = rows(cols(x), r, c) | rows(cols(x) + 1, r, c) << 8
//                                                             (2-byte elements)
//
// An up-scale's columns advance by less than one source column per
// destination column, so the 16 columns of an aligned block (x = 16 k ..
// 16 k + 15) read at most 16 consecutive source samples: the block loads
// them from its first column `bases(k)` and shuffles them into place with
// the per-column offsets `masks(x)` = cols(x) - bases(k). The tables come
// with the call (computed once per pipeline call); a block whose columns
// span more than 16 samples has the base kNoBlockBase and is gathered one
// column at a time, as are columns of blocks only partly in the region.
//
// Argument order is the pipeline's: rows (3-D u8: x, row, channel), cols
// (1-D int32), masks (1-D u8), bases (1-D int32), lo and hi (the range the
// column table's values lie in), out (3-D, u8 or u16). The stage follows
// the generated code's bounds-query protocol: called with a row, table or
// output buffer whose host pointer is null it fills in the regions it reads
// for the output region asked for (source columns lo to hi + 16, so a
// block's 16-byte loads stay inside the rows) and returns 0. Output columns
// the tables do not describe (the generated code may realize a wider region
// than any consumer reads) are set to 0 without reading the tables. Returns
// 0 on success, -1 for buffers of another shape or rows that do not hold the
// output's rows and the columns lo to hi.
#pragma once

#include <HalideRuntime.h>

#include <cstdint>

namespace mira {
constexpr int32_t kNoBlockBase = INT32_MIN;
constexpr int kGatherBlock = 16;
}  // namespace mira

extern "C" int mira_gather_columns(halide_buffer_t* rows, halide_buffer_t* cols,
                                   halide_buffer_t* masks, halide_buffer_t* bases, int32_t lo,
                                   int32_t hi, halide_buffer_t* out);
