// Plain central-difference gradients of an 8-bit plane into two int16 planes:
// dx = p(x+1, y) - p(x-1, y), dy = p(x, y+1) - p(x, y-1). Neighbours outside
// the image are replaced by the pixel itself (only frame pixels use that rule,
// and the host clears the frame afterwards). One work item covers timesY rows
// of 4 * timesX pixels; the launch is rounded up, so the last unit of a row is
// guarded. Strides are in bytes.
#include "common/neighbourhood3x3.clh"
#include "common/work_item.clh"
#include "common/gradient3x3.clh"

void mira_gradient3x3(const int p[9], int* gx, int* gy)
{
    *gx = p[5] - p[3];
    *gy = p[7] - p[1];
}

MIRA_GRADIENT3X3_KERNEL(mira_fcvImageGradientPlanars16_v2_func)
