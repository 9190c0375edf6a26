// Plain central-difference gradients of an 8-bit plane into two int16 planes:
// dx = p(x+1, y) - p(x-1, y), dy = p(x, y+1) - p(x, y-1). Neighbours outside
// the image are replaced by the pixel itself (only frame pixels use that rule,
// and the host clears the frame afterwards). One work item covers timesY rows
// of 4 * timesX pixels; the launch is rounded up, so the last unit of a row is
// guarded. Strides are in bytes.
__kernel void mira_fcvImageGradientPlanars16_v2_func(
    __global const uchar* src, int srcWidth, int srcHeight, int srcStrideW, int srcStrideH,
    __global short4* dstX, int dstXWidth, int dstXHeight, int dstXStrideW, int dstXStrideH,
    __global short4* dstY, int dstYWidth, int dstYHeight, int dstYStrideW, int dstYStrideH,
    float param_float_1, float param_float_2, int param_int_1, int param_int_2)
{
    const int width = min(srcWidth, dstXWidth);
    const int height = min(srcHeight, dstXHeight);
    const int gx = timesX * (int)get_global_id(0);
    const int gy = timesY * (int)get_global_id(1);
    for (int j = 0; j < timesY; ++j) {
        const int y = gy + j;
        if (y >= height)
            return;
        __global const uchar* cur = src + (size_t)srcStrideW * (size_t)y;
        __global const uchar* above = src + (size_t)srcStrideW * (size_t)max(y - 1, 0);
        __global const uchar* below = src + (size_t)srcStrideW * (size_t)min(y + 1, height - 1);
        __global short* ox = (__global short*)((__global uchar*)dstX + (size_t)dstXStrideW * (size_t)y);
        __global short* oy = (__global short*)((__global uchar*)dstY + (size_t)dstYStrideW * (size_t)y);
        for (int i = 0; i < timesX; ++i) {
            const int x = 4 * (gx + i);
            if (x >= width)
                break;
            for (int k = 0; k < 4 && x + k < width; ++k) {
                const int c = x + k;
                const int l = max(c - 1, 0), r = min(c + 1, width - 1);
                ox[c] = (short)((int)cur[r] - (int)cur[l]);
                oy[c] = (short)((int)below[c] - (int)above[c]);
            }
        }
    }
}
