#include "ops/threadpool/threadpool.h"

#include <pthread.h>
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
    std::atomic<int32_t> heldCount;      // held at their safe point by a pause
    std::atomic<int32_t> keepAlive;      // per pool: workers leave their loop at 0
    std::atomic<int32_t> onHold;         // per pool: workers hold while set
    pthread_mutex_t countLock;
    pthread_cond_t allIdle;
    pthread_mutex_t holdLock;            // guards the changes of onHold and heldCount
    uint32_t pauseNumber;                // counts the ends of pauses (under holdLock)
    pthread_cond_t released;             // onHold cleared
    JobQueue queue;
};

namespace {

// The one safe point of a worker: after it woke for a job and before it takes
// one, holding none of the pool's other locks. A paused pool's worker sleeps
// here until the pool is resumed (or destroyed); a job already running is
// never interrupted, its worker holds when it comes back for the next one.
void hold_while_paused(threadpool_t* pool) {
    if (!pool->onHold.load()) return;
    pthread_mutex_lock(&pool->holdLock);
    while (pool->onHold.load()) {  // a pause again before this worker woke: hold again
        const uint32_t pause = pool->pauseNumber;
        pool->heldCount.fetch_add(1);
        while (pause == pool->pauseNumber) pthread_cond_wait(&pool->released, &pool->holdLock);
    }
    pthread_mutex_unlock(&pool->holdLock);
}

// Sets or clears the pause. Clearing ends the current pause at once: no
// worker counts as held any more, even before the held ones have woken.
void set_hold(threadpool_t* pool, int32_t hold) {
    pthread_mutex_lock(&pool->holdLock);
    pool->onHold.store(hold);
    if (!hold) {
        ++pool->pauseNumber;
        pool->heldCount.store(0);
        pthread_cond_broadcast(&pool->released);
    }
    pthread_mutex_unlock(&pool->holdLock);
}

// Takes the job at the head (null when the queue is empty). More jobs left:
// posts the semaphore again so that another worker wakes for them. While
// `hold` is set nothing is taken and `*held` says so: the flag is read under
// the queue's lock, so no job added after a pause began is ever taken before
// the resume, even by a worker that passed its safe point just before.
Job* queue_pull(JobQueue* q, const std::atomic<int32_t>& hold, bool* held) {
    pthread_mutex_lock(&q->mutex);
    *held = hold.load() != 0;
    if (*held) {
        pthread_mutex_unlock(&q->mutex);
        return nullptr;
    }
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

    char name[128];
    std::memset(name, 0, sizeof name);
    std::snprintf(name, sizeof name, "thread-pool-%d", self->index);
    prctl(PR_SET_NAME, name);

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
        Job* job = nullptr;
        bool held = true, stopped = false;
        while (held) {
            hold_while_paused(pool);  // the safe point: no lock held, no job taken
            if (!pool->keepAlive.load()) {
                stopped = true;
                break;
            }
            pthread_mutex_lock(&pool->countLock);
            pool->workingCount.fetch_add(1);
            pthread_mutex_unlock(&pool->countLock);
            job = queue_pull(&pool->queue, pool->onHold, &held);
            if (held) {  // paused meanwhile: back to the safe point
                pthread_mutex_lock(&pool->countLock);
                if (pool->workingCount.fetch_sub(1) == 1) pthread_cond_signal(&pool->allIdle);
                pthread_mutex_unlock(&pool->countLock);
            }
        }
        if (stopped) break;
        justWorked = job != nullptr;
        if (job != nullptr) {
            job->function(job->argument);
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
    pool->heldCount.store(0);
    pool->pauseNumber = 0;
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
    pthread_mutex_init(&pool->holdLock, nullptr);
    pthread_cond_init(&pool->released, nullptr);

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
    set_hold(pool, 1);
}

void threadpool_resume(threadpool pool) {
    if (pool == nullptr) return;
    set_hold(pool, 0);
}

int32_t threadpool_num_threads_working(threadpool pool) {
    return pool ? pool->workingCount.load() : 0;
}

int32_t threadpool_num_threads_held(threadpool pool) {
    return pool ? pool->heldCount.load() : 0;
}

void threadpool_destroy(threadpool pool) {
    if (pool == nullptr) return;
    pool->keepAlive.store(0);
    set_hold(pool, 0);
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
    pthread_mutex_destroy(&pool->holdLock);
    pthread_cond_destroy(&pool->released);
    free(pool->workers);
    delete pool;
}
