// Exchange of the two bytes of every pair of an interleaved plane: each
// 4-byte group (p0, p1, p2, p3) becomes (p1, p0, p3, p2). Widths are byte
// counts; one work item covers timesY rows of timesX groups and the last group
// of a row (a single pair) is guarded. Rows are addressed byte-wise.
__kernel void mira_fcvColorCbCrSwapu8_func(__global const uchar4* src, int srcWidth, int srcHeight,
                                           int srcStrideW, int srcStrideH,
                                           __global uchar4* dst, int dstWidth, int dstHeight,
                                           int dstStrideW, int dstStrideH,
                                           float param_float_1, float param_float_2,
                                           int param_int_1, int param_int_2)
{
    const int width = min(srcWidth, dstWidth) & ~1;
    const int height = min(srcHeight, dstHeight);
    const int gx = timesX * (int)get_global_id(0);
    const int gy = timesY * (int)get_global_id(1);
    for (int j = 0; j < timesY; ++j) {
        const int y = gy + j;
        if (y >= height)
            return;
        __global const uchar* in = (__global const uchar*)src + (size_t)srcStrideW * (size_t)y;
        __global uchar* out = (__global uchar*)dst + (size_t)dstStrideW * (size_t)y;
        for (int i = 0; i < timesX; ++i) {
            const int x = 4 * (gx + i);
            if (x >= width)
                break;
            if (x + 4 <= width) {
                const uchar4 p = vload4(0, in + x);
                vstore4(p.s1032, 0, out + x);
            } else {
                const uchar2 p = vload2(0, in + x);
                vstore2(p.s10, 0, out + x);
            }
        }
    }
}
