// 3x3 Sobel gradients of an 8-bit plane into two int16 planes, from the
// filters filterX = {-1 0 1, -2 0 2, -1 0 1} and filterY = {-1 -2 -1, 0 0 0,
// 1 2 1} (row-major, top row first), in exact integer arithmetic. Neighbours
// outside the image are replaced by the nearest pixel of the image (only
// frame pixels use that rule, and the host clears the frame afterwards). One
// work item covers timesY rows of 4 * timesX pixels; the launch is rounded up,
// so the last unit of a row is guarded. Strides are in bytes.
#include "common/neighbourhood3x3.clh"
#include "common/work_item.clh"
#include "common/gradient3x3.clh"

__constant int filterX[9] = {-1, 0, 1, -2, 0, 2, -1, 0, 1};
__constant int filterY[9] = {-1, -2, -1, 0, 0, 0, 1, 2, 1};

void mira_gradient3x3(const int p[9], int* gx, int* gy)
{
    int sx = 0, sy = 0;
    for (int k = 0; k < 9; ++k) {
        sx += filterX[k] * p[k];
        sy += filterY[k] * p[k];
    }
    *gx = sx;
    *gy = sy;
}

MIRA_GRADIENT3X3_KERNEL(mira_fcvImageGradientSobelPlanars16_v3_func)
