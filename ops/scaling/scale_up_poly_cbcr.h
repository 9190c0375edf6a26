// Lanczos-3 up-scale of an interleaved CbCr plane (feature 22): each channel
// separately, Cb first, with the ratio of the heights as the factor.
#pragma once

#include "ops/scaling/scale_up_poly.h"
