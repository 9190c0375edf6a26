// OpenCL entry points, resolved at run time from the ICD loader with
// dlopen/dlsym into one table, so the library loads (and every CPU path
// works) on a machine without OpenCL.
#pragma once

#ifndef CL_TARGET_OPENCL_VERSION
#define CL_TARGET_OPENCL_VERSION 200
#endif
#ifndef CL_USE_DEPRECATED_OPENCL_1_2_APIS
#define CL_USE_DEPRECATED_OPENCL_1_2_APIS
#endif
#include <CL/cl.h>

namespace ZOR {

// Entry points every OpenCL 1.2 loader has.
#define ZOR_CL_CORE_FUNCS(X)                                                                 \
    X(clGetPlatformIDs) X(clGetDeviceIDs) X(clGetDeviceInfo) X(clCreateContext)              \
    X(clReleaseContext) X(clCreateCommandQueue) X(clReleaseCommandQueue)                     \
    X(clCreateProgramWithSource) X(clBuildProgram) X(clGetProgramBuildInfo)                  \
    X(clReleaseProgram) X(clCreateKernel) X(clReleaseKernel) X(clSetKernelArg)               \
    X(clEnqueueNDRangeKernel) X(clFinish) X(clCreateBuffer) X(clReleaseMemObject)            \
    X(clEnqueueMapBuffer) X(clEnqueueUnmapMemObject) X(clGetPlatformInfo)                   \
    X(clGetProgramInfo) X(clCreateProgramWithBinary) X(clGetKernelWorkGroupInfo)           \
    X(clFlush) X(clWaitForEvents) X(clRetainEvent) X(clReleaseEvent)
// Optional: event queries, used only while kernel timing is on
// (zor_test_time_kernels; absent entries mean no timing), and the enqueued
// SVM free (absent: a coarse block waits for its queue before it is freed).
#define ZOR_CL_EVENT_FUNCS(X) X(clGetEventProfilingInfo) X(clEnqueueSVMFree)
// Shared virtual memory (OpenCL 2.0); absent entries mean "no SVM".
#define ZOR_CL_SVM_FUNCS(X) \
    X(clSVMAlloc) X(clSVMFree) X(clSetKernelArgSVMPointer) X(clEnqueueSVMMap) X(clEnqueueSVMUnmap)

struct ClApi {
#define ZOR_CL_MEMBER(name) decltype(&::name) name;
    ZOR_CL_CORE_FUNCS(ZOR_CL_MEMBER)
    ZOR_CL_SVM_FUNCS(ZOR_CL_MEMBER)
    ZOR_CL_EVENT_FUNCS(ZOR_CL_MEMBER)
#undef ZOR_CL_MEMBER
};

// The table; every entry is null until cl_load() succeeds.
extern ClApi g_cl;

// Loads the OpenCL library and resolves the table. Returns true when every
// core entry point was found. A failed load is retried on the next call.
// Callers serialise it (DeviceManager::mMutex).
bool cl_load();
bool cl_loaded();
// Whether the SVM entry points were all found.
bool cl_has_svm();

}  // namespace ZOR
