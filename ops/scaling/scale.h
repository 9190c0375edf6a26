// General scale (feature 23): the pipeline dispatch shared by its CPU methods
// and by the chroma up-sample.
#pragma once

#include <cstdint>

#include "mira/mira_types.h"
#include "ops/requests.h"

namespace mira {

// The source with a one-pixel frame: (bufHeight + 2) rows of stride + 2
// bytes; padded row r + 1 holds source row r between the frame pixels.
// Border type 2 repeats the edge bytes and rows, border type 1 fills the
// frame with the constant. Only each row's width is read from the caller;
// the rest of a padded row repeats the right frame pixel. Null when it cannot
// be had (free it with std::free).
uint8_t* framed_copy(const MIRA_Feature_Buf& s, const scale_param& p);

// Resizes one plane with the pipeline of `interpolation` and the direction
// the widths give (scale factor destination width over source width, both
// axes). Equal widths copy min(source, destination) rows of the width.
// Returns false, writing nothing, for an unknown mode (the caller logs it).
// With `independent`, each axis is scaled by its own ratio (widths along the
// rows, heights down the columns), each in its own direction, and equal
// sizes copy. With `channels` 2 to 4 (independent axes only) the buffers
// hold interleaved pixels of that many bytes (widths in bytes) and each
// channel is scaled with the plane's arithmetic at the pixels' factors.
bool scale_plane(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst,
                 const scale_param& p, bool independent = false, uint32_t channels = 1);

}  // namespace mira
