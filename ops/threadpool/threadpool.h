// A small fixed-size pool of POSIX worker threads with a FIFO job queue.
//
// A job is a function and one opaque argument; jobs start in the order they
// were added. Every pool carries its own keep-alive and hold flags, so several
// pools can live side by side: destroying, pausing or resuming one pool never
// touches the workers of another. Nothing here uses signals: a pause is a flag
// of the pool that its workers read at their safe point.
//
// This is the job-queue interface for callers that want a pool of their own.
// The library's parallel operations do not use it: they split their work into
// bands on the one shared pool of ops/threadpool/band_runner.h.
#pragma once

#include <chrono>
#include <cstdint>

struct threadpool_t;
typedef threadpool_t* threadpool;

// Polls `done` for at most `micros` microseconds (a pause/yield hint to the
// core between checks, the clock read every 64 of them) and returns its last
// value: for waits expected to end within microseconds, before blocking.
template <typename Done>
bool threadpool_poll(Done done, long micros) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(micros);
    for (unsigned i = 1;; ++i) {
        if (done()) return true;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__) || defined(__arm__)
        __asm__ __volatile__("yield");
#endif
        if (i % 64 == 0 && std::chrono::steady_clock::now() >= end) return done();
    }
}

// Starts `numThreads` workers (negative counts as 0) named "thread-pool-<i>"
// and returns once all of them run; null when the pool cannot be built.
threadpool threadpool_init(int32_t numThreads);

// Appends a job at the tail of the queue and wakes one worker. 0, or -1 when
// the job cannot be allocated (nothing is queued then).
int32_t threadpool_add_work(threadpool pool, void (*function)(void*), void* argument);

// Blocks until the queue is empty and no worker runs a job. A pool without
// workers never empties its queue.
void threadpool_wait(threadpool pool);

// Holds every worker of this pool until threadpool_resume, each at its next
// safe point: after it wakes for a job and before it takes one. A job already
// running is not interrupted; its worker finishes it and holds before the
// next. No job starts while the pool is paused. A held worker owns none of
// the pool's locks, so adding work stays possible. Returns at once, without
// waiting for the workers to reach their safe point.
void threadpool_pause(threadpool pool);

// Clears the pause and wakes the held workers of this pool.
void threadpool_resume(threadpool pool);

// Workers currently running a job.
int32_t threadpool_num_threads_working(threadpool pool);

// Workers currently held at their safe point by a pause (0 for null, and 0
// from the moment the pool is resumed).
int32_t threadpool_num_threads_held(threadpool pool);

// Stops and joins the workers (a held pool is released first), frees the
// jobs still queued without running them, and frees the pool. Null is ignored.
void threadpool_destroy(threadpool pool);
