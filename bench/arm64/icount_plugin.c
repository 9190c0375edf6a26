/*
 * icount_plugin.c: a qemu TCG plugin that counts the guest instructions a
 * single-threaded program executes, for scripts/bench-arm64.sh.
 *
 * The program marks the spans it wants counted with a system call number no
 * kernel has (MIRA_MARK_SYSCALL below; the emulator answers ENOSYS):
 *   syscall(MIRA_MARK_SYSCALL, id, phase)
 * and the plugin writes one line per mark to the file named by its `out`
 * argument:  mark <id> <phase> <instructions executed so far>
 * When the phase is MIRA_MARK_PROFILE_BEGIN / MIRA_MARK_PROFILE_END, it also
 * writes the hottest translation blocks executed between the two marks
 * (instructions attributed to each):
 *   block <id> <guest pc, hex> <instructions in the block> <executions>
 *
 * Counting is per translation block, inline (one add per block executed), so
 * the counts are exact for code that takes no exceptions; with several guest
 * threads the shared counter would race, so the benchmark runs one thread.
 *
 *   gcc -shared -fPIC -O2 -I<qemu source>/include/qemu icount_plugin.c -o libicount.so
 *   qemu-aarch64 -plugin ./libicount.so,out=marks.txt program
 */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <qemu-plugin.h>

QEMU_PLUGIN_EXPORT int qemu_plugin_version = QEMU_PLUGIN_VERSION;

#define MIRA_MARK_SYSCALL 0x4d49
#define MIRA_MARK_PROFILE_BEGIN 10
#define MIRA_MARK_PROFILE_END 11
#define HOT_BLOCKS 12

struct block {
    uint64_t pc;
    uint64_t insns;
    uint64_t count; /* executions, incremented inline */
    uint64_t start; /* count at the last profile begin */
};

static uint64_t executed; /* instructions, incremented inline */
static FILE *out;
static struct block **blocks;
static size_t nblocks, capblocks;

static void on_translate(qemu_plugin_id_t id, struct qemu_plugin_tb *tb)
{
    (void)id;
    size_t n = qemu_plugin_tb_n_insns(tb);
    qemu_plugin_register_vcpu_tb_exec_inline(tb, QEMU_PLUGIN_INLINE_ADD_U64, &executed, n);
    /* Blocks are retranslated now and then; each translation is counted on
     * its own and merged by pc when reported. */
    struct block *b = calloc(1, sizeof *b);
    b->pc = qemu_plugin_tb_vaddr(tb);
    b->insns = n;
    if (nblocks == capblocks) {
        capblocks = capblocks ? 2 * capblocks : 4096;
        blocks = realloc(blocks, capblocks * sizeof *blocks);
    }
    blocks[nblocks++] = b;
    qemu_plugin_register_vcpu_tb_exec_inline(tb, QEMU_PLUGIN_INLINE_ADD_U64, &b->count, 1);
}

static int by_pc(const void *a, const void *b)
{
    uint64_t x = (*(struct block *const *)a)->pc, y = (*(struct block *const *)b)->pc;
    return x < y ? -1 : x > y;
}

struct hot {
    uint64_t pc, insns, runs;
};

static int by_weight(const void *a, const void *b)
{
    const struct hot *x = a, *y = b;
    uint64_t wx = x->insns * x->runs, wy = y->insns * y->runs;
    return wx > wy ? -1 : wx < wy;
}

static void report_hot(uint64_t id)
{
    qsort(blocks, nblocks, sizeof *blocks, by_pc);
    struct hot *h = calloc(nblocks + 1, sizeof *h);
    size_t nh = 0;
    for (size_t i = 0; i < nblocks; ++i) {
        struct block *b = blocks[i];
        uint64_t runs = b->count - b->start;
        if (nh && h[nh - 1].pc == b->pc && h[nh - 1].insns == b->insns) {
            h[nh - 1].runs += runs;
        } else if (runs) {
            h[nh++] = (struct hot){b->pc, b->insns, runs};
        }
    }
    qsort(h, nh, sizeof *h, by_weight);
    for (size_t i = 0; i < nh && i < HOT_BLOCKS; ++i)
        fprintf(out, "block %" PRIu64 " %" PRIx64 " %" PRIu64 " %" PRIu64 "\n", id, h[i].pc,
                h[i].insns, h[i].runs);
    free(h);
}

static void on_syscall(qemu_plugin_id_t id, unsigned int vcpu, int64_t num, uint64_t a1,
                       uint64_t a2, uint64_t a3, uint64_t a4, uint64_t a5, uint64_t a6,
                       uint64_t a7, uint64_t a8)
{
    (void)id, (void)vcpu, (void)a3, (void)a4, (void)a5, (void)a6, (void)a7, (void)a8;
    if (num != MIRA_MARK_SYSCALL) return;
    if (a2 == MIRA_MARK_PROFILE_BEGIN)
        for (size_t i = 0; i < nblocks; ++i) blocks[i]->start = blocks[i]->count;
    if (a2 == MIRA_MARK_PROFILE_END) report_hot(a1);
    fprintf(out, "mark %" PRIu64 " %" PRIu64 " %" PRIu64 "\n", a1, a2, executed);
    fflush(out);
}

static void on_plugin_exit(qemu_plugin_id_t id, void *p)
{
    (void)id, (void)p;
    fprintf(out, "total %" PRIu64 "\n", executed);
    fclose(out);
}

QEMU_PLUGIN_EXPORT int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t *info,
                                           int argc, char **argv)
{
    (void)info;
    const char *path = NULL;
    for (int i = 0; i < argc; ++i)
        if (strncmp(argv[i], "out=", 4) == 0) path = argv[i] + 4;
    out = path ? fopen(path, "w") : stderr;
    if (!out) return -1;
    qemu_plugin_register_vcpu_tb_trans_cb(id, on_translate);
    qemu_plugin_register_vcpu_syscall_cb(id, on_syscall);
    qemu_plugin_register_atexit_cb(id, on_plugin_exit, NULL);
    return 0;
}
