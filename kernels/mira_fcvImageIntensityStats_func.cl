// Row moments of an 8-bit plane for a host-side reduction: for every row y of
// the source, the sum and the sum of squares of its srcWidth pixels go to
// dst[y] as a uint2. One work item per row (work items with a non-zero first
// index only guard). The intensity-statistics feature computes its result on
// the CPU; this kernel is the table's device counterpart.
__kernel void mira_fcvImageIntensityStats_func(
    __global const uchar* src, int srcWidth, int srcHeight, int srcStrideW, int srcStrideH,
    __global uint2* dst, int dstWidth, int dstHeight, int dstStrideW, int dstStrideH,
    float param_float_1, float param_float_2, int param_int_1, int param_int_2)
{
    const int y = (int)get_global_id(1);
    if (get_global_id(0) != 0 || y >= srcHeight || y >= dstHeight)
        return;
    __global const uchar* row = src + (size_t)srcStrideW * (size_t)y;
    uint sum = 0, squares = 0;
    for (int x = 0; x < srcWidth; ++x) {
        const uint p = row[x];
        sum += p;
        squares += p * p;
    }
    dst[y] = (uint2)(sum, squares);
}
