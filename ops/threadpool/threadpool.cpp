#include "ops/threadpool/threadpool.h"

#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// A semaphore whose value is only ever 0 or 1.
// Threads that poll before waiting register as pollers: a post while one
// polls sets the value without waking a sleeper (the poller takes it).
struct BinarySemaphore {
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    int32_t value;
    int32_t pollers;
};

void bsem_init(BinarySemaphore* s, int32_t value) {
    pthread_mutex_init(&s->mutex, nullptr);
    pthread_cond_init(&s->cond, nullptr);
    s->value = value ? 1 : 0;
    s->pollers = 0;
}

void bsem_destroy(BinarySemaphore* s) {
    pthread_mutex_destroy(&s->mutex);
    pthread_cond_destroy(&s->cond);
}

void bsem_post(BinarySemaphore* s) {
    pthread_mutex_lock(&s->mutex);
    s->value = 1;
    if (s->pollers == 0) pthread_cond_signal(&s->cond);
    pthread_mutex_unlock(&s->mutex);
}

void bsem_post_all(BinarySemaphore* s) {
    pthread_mutex_lock(&s->mutex);
    s->value = 1;
    pthread_cond_broadcast(&s->cond);
    pthread_mutex_unlock(&s->mutex);
}

void bsem_start_polling(BinarySemaphore* s) {
    pthread_mutex_lock(&s->mutex);
    ++s->pollers;
    pthread_mutex_unlock(&s->mutex);
}

// Waits for the value; `polled` ends this thread's polling first.
void bsem_wait(BinarySemaphore* s, bool polled = false) {
    pthread_mutex_lock(&s->mutex);
    if (polled) --s->pollers;
    while (s->value != 1) pthread_cond_wait(&s->cond, &s->mutex);
    s->value = 0;
    pthread_mutex_unlock(&s->mutex);
}

struct Job {
    Job* prev;  // next job towards the tail
    void (*function)(void*);
    void* argument;
};

struct JobQueue {
    pthread_mutex_t mutex;
    Job* head;
    Job* tail;
    std::atomic<int32_t> length;
    BinarySemaphore* jobsAvailable;
};

struct Worker {
    int32_t index;
    pthread_t thread;
    threadpool_t* pool;
};

// How long a worker that has just finished a job keeps polling the queue
// before it goes to sleep on the semaphore: a caller that splits back-to-back
// calls into jobs finds the worker awake instead of paying a thread wake-up
// per call.
constexpr long kPollMicros = 50;

void sleep_us(long us) {
    timespec ts{us / 1000000, (us % 1000000) * 1000};
    nanosleep(&ts, nullptr);
}

}  // namespace

struct threadpool_t {
    Worker** workers;
    int32_t numWorkers;                  // threads created (and to be joined)
    std::atomic<int32_t> aliveCount;     // started and not yet out of their loop
    std::atomic<int32_t> workingCount;   // running a job
    std::atomic<int32_t> keepAlive;      // per pool: workers leave their loop at 0
    std::atomic<int32_t> onHold;         // per pool: held workers sleep while set
    pthread_mutex_t countLock;
    pthread_cond_t allIdle;
    JobQueue queue;
};

namespace {

// The pool of the worker running on this thread; read by the hold handler.
thread_local threadpool_t* tl_pool = nullptr;

static_assert(std::atomic<int32_t>::is_always_lock_free, "flags must be signal-safe");

// Hold requests are deferred while a worker holds one of the pool's locks:
// SIGUSR1 then only notes the request, and the worker holds at its next safe
// point. Deferring with thread-local flags instead of blocking the signal
// keeps the worker loop free of system calls.
thread_local volatile sig_atomic_t tl_holdDeferred = 0;
thread_local volatile sig_atomic_t tl_holdPending = 0;

void hold_while_paused(threadpool_t* pool) {
    while (pool->onHold.load()) sleep_us(1000);
}

// SIGUSR1 on a worker: sleep here until the worker's pool is resumed, or note
// the request when the worker is inside the pool's locks.
void hold_handler(int) {
    threadpool_t* pool = tl_pool;
    if (pool == nullptr) return;
    if (tl_holdDeferred) {
        tl_holdPending = 1;
        return;
    }
    hold_while_paused(pool);
}

// Leaves the deferred region (a request noted meanwhile is served now) or
// enters it again.
void allow_hold(threadpool_t* pool) {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    tl_holdDeferred = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (tl_holdPending) {
        tl_holdPending = 0;
        hold_while_paused(pool);
    }
}

void defer_hold() {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    tl_holdDeferred = 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

// Takes the job at the head (null when the queue is empty). More jobs left:
// posts the semaphore again so that another worker wakes for them.
Job* queue_pull(JobQueue* q) {
    pthread_mutex_lock(&q->mutex);
    Job* job = q->head;
    const int32_t n = q->length.load();
    if (n == 1) {
        q->head = q->tail = nullptr;
        q->length.store(0);
    } else if (n > 1) {
        q->head = job->prev;
        q->length.store(n - 1);
        bsem_post(q->jobsAvailable);
    }
    pthread_mutex_unlock(&q->mutex);
    return n == 0 ? nullptr : job;
}

void queue_push(JobQueue* q, Job* job) {
    pthread_mutex_lock(&q->mutex);
    job->prev = nullptr;
    if (q->length.load() == 0) {
        q->head = q->tail = job;
    } else {
        q->tail->prev = job;
        q->tail = job;
    }
    q->length.fetch_add(1);
    bsem_post(q->jobsAvailable);
    pthread_mutex_unlock(&q->mutex);
}

// Frees every queued job without running it and empties the queue.
void queue_clear(JobQueue* q) {
    pthread_mutex_lock(&q->mutex);
    Job* job = q->head;
    while (job != nullptr) {
        Job* next = job->prev;
        free(job);
        job = next;
    }
    q->head = q->tail = nullptr;
    q->length.store(0);
    pthread_mutex_unlock(&q->mutex);
}

void* worker_loop(void* arg) {
    Worker* self = static_cast<Worker*>(arg);
    threadpool_t* pool = self->pool;
    tl_pool = pool;

    char name[128];
    std::memset(name, 0, sizeof name);
    std::snprintf(name, sizeof name, "thread-pool-%d", self->index);
    prctl(PR_SET_NAME, name);

    struct sigaction act;
    std::memset(&act, 0, sizeof act);
    sigemptyset(&act.sa_mask);
    act.sa_flags = 0;
    act.sa_handler = hold_handler;
    sigaction(SIGUSR1, &act, nullptr);

    // A hold is taken only where the worker holds none of the pool's locks:
    // while it runs a job (which is then suspended mid-job) and at one point
    // between waking and taking a job. Elsewhere it waits for those points.
    defer_hold();
    sigset_t hold;
    sigemptyset(&hold);
    sigaddset(&hold, SIGUSR1);
    pthread_sigmask(SIG_UNBLOCK, &hold, nullptr);

    pthread_mutex_lock(&pool->countLock);
    pool->aliveCount.fetch_add(1);
    pthread_mutex_unlock(&pool->countLock);

    bool justWorked = false;
    while (pool->keepAlive.load()) {
        if (justWorked) {
            bsem_start_polling(pool->queue.jobsAvailable);
            threadpool_poll(
                [pool] {
                    return pool->queue.length.load(std::memory_order_relaxed) != 0 ||
                           !pool->keepAlive.load(std::memory_order_relaxed);
                },
                kPollMicros);
        }
        bsem_wait(pool->queue.jobsAvailable, justWorked);
        if (!pool->keepAlive.load()) break;
        allow_hold(pool);  // a pending hold happens here
        // An idle worker also holds here on the flag alone: the signal may
        // reach it later than the wake-up (sanitizers deliver signals at
        // their own sync points), and it must not take a job meanwhile.
        hold_while_paused(pool);
        defer_hold();
        if (!pool->keepAlive.load()) break;
        pthread_mutex_lock(&pool->countLock);
        pool->workingCount.fetch_add(1);
        pthread_mutex_unlock(&pool->countLock);

        Job* job = queue_pull(&pool->queue);
        justWorked = job != nullptr;
        if (job != nullptr) {
            allow_hold(pool);
            job->function(job->argument);
            defer_hold();
            free(job);
        }

        pthread_mutex_lock(&pool->countLock);
        if (pool->workingCount.fetch_sub(1) == 1) pthread_cond_signal(&pool->allIdle);
        pthread_mutex_unlock(&pool->countLock);
    }

    // Pass the stop on: the next waiting worker wakes without another post.
    bsem_post_all(pool->queue.jobsAvailable);
    pthread_mutex_lock(&pool->countLock);
    pool->aliveCount.fetch_sub(1);
    pthread_mutex_unlock(&pool->countLock);
    return nullptr;
}

}  // namespace

threadpool threadpool_init(int32_t numThreads) {
    if (numThreads < 0) numThreads = 0;
    threadpool_t* pool = new (std::nothrow) threadpool_t;
    if (pool == nullptr) return nullptr;
    pool->numWorkers = 0;
    pool->aliveCount.store(0);
    pool->workingCount.store(0);
    pool->keepAlive.store(1);
    pool->onHold.store(0);
    pool->queue.head = pool->queue.tail = nullptr;
    pool->queue.length.store(0);

    pool->queue.jobsAvailable = static_cast<BinarySemaphore*>(malloc(sizeof(BinarySemaphore)));
    if (pool->queue.jobsAvailable == nullptr) {
        delete pool;
        return nullptr;
    }
    pthread_mutex_init(&pool->queue.mutex, nullptr);
    bsem_init(pool->queue.jobsAvailable, 0);

    pool->workers = static_cast<Worker**>(calloc(numThreads ? numThreads : 1, sizeof(Worker*)));
    if (pool->workers == nullptr) {
        bsem_destroy(pool->queue.jobsAvailable);
        free(pool->queue.jobsAvailable);
        pthread_mutex_destroy(&pool->queue.mutex);
        delete pool;
        return nullptr;
    }
    pthread_mutex_init(&pool->countLock, nullptr);
    pthread_cond_init(&pool->allIdle, nullptr);

    for (int32_t i = 0; i < numThreads; ++i) {
        Worker* w = static_cast<Worker*>(malloc(sizeof(Worker)));
        if (w == nullptr) break;
        w->index = i;
        w->pool = pool;
        if (pthread_create(&w->thread, nullptr, worker_loop, w) != 0) {
            free(w);
            break;
        }
        pool->workers[i] = w;
        pool->numWorkers = i + 1;
    }
    // Workers that could not be made are simply absent; wait for the others.
    while (pool->aliveCount.load() != pool->numWorkers) sched_yield();
    return pool;
}

int32_t threadpool_add_work(threadpool pool, void (*function)(void*), void* argument) {
    if (pool == nullptr || function == nullptr) return -1;
    Job* job = static_cast<Job*>(malloc(sizeof(Job)));
    if (job == nullptr) return -1;
    job->function = function;
    job->argument = argument;
    queue_push(&pool->queue, job);
    return 0;
}

void threadpool_wait(threadpool pool) {
    if (pool == nullptr) return;
    pthread_mutex_lock(&pool->countLock);
    while (pool->queue.length.load() != 0 || pool->workingCount.load() != 0)
        pthread_cond_wait(&pool->allIdle, &pool->countLock);
    pthread_mutex_unlock(&pool->countLock);
}

void threadpool_pause(threadpool pool) {
    if (pool == nullptr) return;
    pool->onHold.store(1);
    for (int32_t i = 0; i < pool->numWorkers; ++i) pthread_kill(pool->workers[i]->thread, SIGUSR1);
}

void threadpool_resume(threadpool pool) {
    if (pool == nullptr) return;
    pool->onHold.store(0);
}

int32_t threadpool_num_threads_working(threadpool pool) {
    return pool ? pool->workingCount.load() : 0;
}

void threadpool_destroy(threadpool pool) {
    if (pool == nullptr) return;
    pool->keepAlive.store(0);
    pool->onHold.store(0);
    // Each post-all lets at least one waiting worker through; repeat until
    // every worker has left its loop.
    while (pool->aliveCount.load() > 0) {
        bsem_post_all(pool->queue.jobsAvailable);
        sleep_us(50);
    }
    for (int32_t i = 0; i < pool->numWorkers; ++i) {
        pthread_join(pool->workers[i]->thread, nullptr);
        free(pool->workers[i]);
    }
    queue_clear(&pool->queue);
    bsem_destroy(pool->queue.jobsAvailable);
    free(pool->queue.jobsAvailable);
    pthread_mutex_destroy(&pool->queue.mutex);
    pthread_mutex_destroy(&pool->countLock);
    pthread_cond_destroy(&pool->allIdle);
    free(pool->workers);
    delete pool;
}
