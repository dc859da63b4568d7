// Reading ahead on worker threads: workers take rows in table order and do
// everything of a row that needs no GL (the data paths, each file its kind
// reads, with every message they log captured). The main thread takes the
// rows in table order too: it writes a row's "loading" line, replays what was
// captured for the pair part, uploads the pair, replays the own part, uploads
// the row's object: the log reads as if the row were loaded at once. Rows of
// a kind without a read (shader pairs: GL from the first step) stay on the
// main thread. While the row it needs is not read yet the main thread reads
// the next unclaimed row itself. A file that an earlier row reads with the
// same kind's read is read once: the later rows get the earlier row's result
// and its messages again, as reading the same file again would give them.
// The workers may start before the GL exists (startResourceReads): the
// files then decode while the window and the driver come up.
#include "assets/resources_local.h"
#include <condition_variable>
#include <mutex>
#include <new>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

// Decoded data waiting for the main thread may reach this many bytes before
// workers stop taking new rows (a hostile table must not fill memory ahead).
// Tests lower it to make the workers wait.
size_t maxPendingBytes = (size_t)96 << 20;
// Results kept for later rows that name the same file may hold this many
// bytes; past it a later row reads the file again on the main thread.
static const size_t maxSharedBytes = (size_t)64 << 20;

// The files of a row read ahead: the second name read as the pair's kind,
// then the first read as the row's own kind (the order they are made in).
enum { PairPart, OwnPart, RowParts };
struct PartRead {
    const ResourceKindOps* kind;   // whose read reads the file; null: the part is not read ahead
    const char* name;              // the file's name within the row's names, nameLength bytes
    size_t nameLength;
    int sourceRow, sourcePart;   // earlier row part that reads the same file, or -1
    int users;                   // later row parts still to take this part's result
    int ok;                      // the read succeeded
    FileRead data;               // the read (worker), taken by the upload (main thread)
    FileRead kept;               // a copy of data kept for later rows
    int isKept;                  // the result and its messages stay for later rows
    size_t keptBytes;
    LogCapture log;
};

struct RowRead {
    int readsAhead;   // a part of the row is read ahead; else it loads on the main thread
    int pathsFit;     // 0: a name did not fit (logged), nothing read
    RowPaths paths;
    PartRead parts[RowParts];
    LogCapture pathLog;   // the data paths
    size_t bytes;         // decoded bytes held
};

// One table load shared by its threads; every field below lock is guarded by it.
struct TableLoad {
    const ResourceEntry* table;
    RowRead* reads;
    int count;
    size_t sharedBytes;   // main thread only: results kept for later rows
    std::mutex lock;
    std::condition_variable changed;
    int nextRow;            // first row no thread has taken
    unsigned char* done;    // per row: 1 when its read is finished
    size_t pendingBytes;    // decoded bytes of finished rows not yet uploaded
    pthread_t threads[2];   // the workers started (main thread only)
    int started;
};

static void planPart(PartRead* part, const ResourceKindOps* kind, const char* name, size_t length)
{
    part->kind = kind;
    part->name = name;
    part->nameLength = length;
}

// Which files of a row are read ahead, from its spec and kind.
static void planRow(const ResourceEntry* row, RowRead* read)
{
    for (PartRead& part : read->parts) part.sourceRow = part.sourcePart = -1;
    const ResourceKindOps* kind = kindOf(row);
    if (!row->spec || !kind) return;
    const char* bar = strchr(row->spec, '|');
    if (!rowLoads(kind, bar ? 2 : 1) || kind->names != 1) return;
    if (bar) planPart(&read->parts[PairPart], &resourceKinds[kind->pairKind], bar + 1, strlen(bar + 1));
    if (kind->read)
        planPart(&read->parts[OwnPart], kind, row->spec, bar ? (size_t)(bar - row->spec) : strlen(row->spec));
    read->readsAhead = read->parts[PairPart].kind || read->parts[OwnPart].kind;
}

static int sameFile(const PartRead* a, const PartRead* b)
{
    return a->kind && b->kind && a->kind->read == b->kind->read && a->nameLength == b->nameLength &&
           !memcmp(a->name, b->name, a->nameLength);
}

// Links every part read ahead to the first earlier row part that reads the
// same file with the same read (main thread, before the workers start).
static void findSharedFiles(TableLoad* load)
{
    for (int i = 0; i < load->count; i++) planRow(&load->table[i], &load->reads[i]);
    for (int i = 0; i < load->count; i++) {
        for (PartRead& part : load->reads[i].parts) {
            for (int k = 0; k < i && part.kind && part.sourceRow < 0; k++) {
                for (int q = 0; q < RowParts; q++) {
                    if (!sameFile(&part, &load->reads[k].parts[q])) continue;
                    part.sourceRow = k;
                    part.sourcePart = q;
                    load->reads[k].parts[q].users++;
                    break;
                }
            }
        }
    }
}

static const char* partPath(const RowRead* read, int part)
{
    return part == PairPart ? read->paths.second : read->paths.first;
}

// Reads the GL-free part of a row into read (any thread); parts an earlier
// row reads are left to it.
static void readRow(const ResourceEntry* row, RowRead* read)
{
    beginLogCapture(&read->pathLog);
    read->pathsFit = rowPaths(row->spec, &read->paths);
    for (int p = 0; p < RowParts && read->pathsFit; p++) {
        PartRead* part = &read->parts[p];
        if (!part->kind || part->sourceRow >= 0) continue;
        beginLogCapture(&part->log);
        part->ok = part->kind->read(partPath(read, p), part->kind->sizeLimit, &part->data);
    }
    endLogCapture();
    for (PartRead& part : read->parts) read->bytes += fileReadBytes(&part.data);
}

// A part's own read into out, after writing its messages; kept (result and
// messages) for the later rows that read the same file while the shared
// budget allows (a failure is always kept: it holds no memory).
static int ownResult(TableLoad* load, PartRead* part, FileRead* out)
{
    replayLogCapture(&part->log);
    *out = part->data;
    memset(&part->data, 0, sizeof part->data);
    if (part->users > 0 && !part->ok) {
        part->isKept = 1;
    } else if (part->users > 0) {
        size_t bytes = fileReadBytes(out);
        if (load->sharedBytes + bytes <= maxSharedBytes && copyFileRead(&part->kept, out)) {
            part->isKept = 1;
            part->keptBytes = bytes;
            load->sharedBytes += bytes;
        }
    }
    if (!part->isKept) freeLogCapture(&part->log);
    return part->ok;
}

// This part's result into out (arrays of its own), after writing the part's
// messages: its own read, the earlier row's kept copy, or (when that one was
// not kept) the file read again here. Returns 1, or 0 when the file did not
// read (main thread).
static int partResult(TableLoad* load, RowRead* read, int p, FileRead* out)
{
    PartRead* part = &read->parts[p];
    memset(out, 0, sizeof *out);
    if (part->sourceRow < 0) return ownResult(load, part, out);
    PartRead* source = &load->reads[part->sourceRow].parts[part->sourcePart];
    int ok = 0;
    if (source->isKept) {
        replayLogCapture(&source->log);
        ok = source->ok;
        if (ok && source->users > 1) {
            ok = copyFileRead(out, &source->kept);
            if (!ok) logMessage("EEEEEEEEEEEK!!!     not nuff mem for <%s>!!", partPath(read, p));
        } else if (ok) {
            *out = source->kept;   // the last user takes the kept arrays
            memset(&source->kept, 0, sizeof source->kept);
        }
    } else {
        ok = part->kind->read(partPath(read, p), part->kind->sizeLimit, out);
    }
    if (--source->users == 0 && source->isKept) {
        load->sharedBytes -= source->keptBytes;
        releaseFileRead(&source->kept);
        source->isKept = 0;
        freeLogCapture(&source->log);
    }
    return ok;
}

// The GL part of a row read ahead, with its captured messages in their places
// (main thread).
static void finishRow(TableLoad* load, const ResourceEntry* row, RowRead* read)
{
    replayLogCapture(&read->pathLog);
    freeLogCapture(&read->pathLog);
    if (!read->pathsFit) return;
    FileRead data;
    int paired = -1;
    int hasPair = read->parts[PairPart].kind != nullptr;
    if (hasPair) {
        int ok = partResult(load, read, PairPart, &data);
        paired = uploadPairPart(kindOf(row), read->paths.second, &data, ok);
        releaseFileRead(&data);
    }
    memset(&data, 0, sizeof data);
    int ownRead = read->parts[OwnPart].kind != nullptr;
    int ok = ownRead ? partResult(load, read, OwnPart, &data) : 1;
    uploadOwnPart(row, &read->paths, ownRead ? &data : nullptr, ok, hasPair ? &paired : nullptr);
    releaseFileRead(&data);
}

// Takes the next row for reading, or returns -1 when none is left or (for a
// worker, not the main thread) decoded data is piling up. Called with lock held.
static int takeRow(TableLoad* load, int mainThread)
{
    while (load->nextRow < load->count && !load->reads[load->nextRow].readsAhead) {
        load->done[load->nextRow] = 1;
        load->nextRow++;
    }
    if (load->nextRow >= load->count) return -1;
    if (!mainThread && load->pendingBytes > maxPendingBytes) return -1;
    return load->nextRow++;
}

// Reads a taken row outside the lock and marks it done.
static void readTakenRow(TableLoad* load, int index, std::unique_lock<std::mutex>& held)
{
    held.unlock();
    readRow(&load->table[index], &load->reads[index]);
    held.lock();
    load->done[index] = 1;
    load->pendingBytes += load->reads[index].bytes;
    load->changed.notify_all();
}

static void* runWorker(void* argument)
{
    TableLoad* load = (TableLoad*)argument;
    std::unique_lock<std::mutex> held(load->lock);
    while (load->nextRow < load->count) {
        int index = takeRow(load, 0);
        // takeRow may have passed the last rows (none read ahead): then no
        // row is left to wake this worker for, and waiting would never end.
        if (index < 0 && load->nextRow >= load->count) break;
        if (index < 0) {
            load->changed.wait(held);
            continue;
        }
        readTakenRow(load, index, held);
    }
    return nullptr;
}

// Waits until row index is read, reading other rows meanwhile (main thread).
static void waitForRow(TableLoad* load, int index)
{
    std::unique_lock<std::mutex> held(load->lock);
    while (!load->done[index]) {
        int other = takeRow(load, 1);
        if (other >= 0)
            readTakenRow(load, other, held);
        else
            load->changed.wait(held);
    }
}

static void uploaded(TableLoad* load, int index)
{
    std::lock_guard<std::mutex> held(load->lock);
    load->pendingBytes -= load->reads[index].bytes;
    load->changed.notify_all();
}

// Results kept for a later row that never took them (its other name did not fit).
static void releaseReads(TableLoad* load)
{
    for (int i = 0; i < load->count; i++) {
        for (PartRead& part : load->reads[i].parts) {
            releaseFileRead(&part.data);
            releaseFileRead(&part.kept);
            freeLogCapture(&part.log);
        }
        freeLogCapture(&load->reads[i].pathLog);
    }
}

// ---- state: reads started ahead of their load -----------------------------------
// The table load whose workers startResourceReads began (null: none); the
// main thread alone reads and writes it.
static TableLoad* startedLoad;

// Plans the rows, fixes the data prefix and starts up to two workers (a
// worker that cannot be started leaves its share to the main thread).
// Returns the load, or null without memory for its bookkeeping.
static TableLoad* beginTableLoad(ResourceEntry* table, int count, int workers)
{
    TableLoad* load = new (std::nothrow) TableLoad();
    if (!load) return nullptr;
    load->table = table;
    load->count = count;
    load->reads = (RowRead*)calloc((size_t)count, sizeof(RowRead));
    load->done = (unsigned char*)calloc((size_t)count, 1);
    if (!load->reads || !load->done) {
        free(load->reads);
        free(load->done);
        delete load;
        return nullptr;
    }
    findSharedFiles(load);
    dataPath(nullptr, 0);   // fixes the data prefix here, before any worker reads it
    if (workers > 2) workers = 2;
    while (load->started < workers && pthread_create(&load->threads[load->started], nullptr, runWorker, load) == 0)
        load->started++;
    return load;
}

// Joins the workers and frees the load with every read it still holds.
static void endTableLoad(TableLoad* load)
{
    for (int t = 0; t < load->started; t++) pthread_join(load->threads[t], nullptr);
    releaseReads(load);
    free(load->reads);
    free(load->done);
    delete load;
}

int startResourceReads(ResourceEntry* table, int workers)
{
    stopResourceReads();
    int count = 0;
    while (table && table[count].object) count++;
    if (workers < 1 || count < 1) return 0;
    startedLoad = beginTableLoad(table, count, workers);
    return startedLoad != nullptr;
}

void stopResourceReads(void)
{
    if (!startedLoad) return;
    {
        std::lock_guard<std::mutex> held(startedLoad->lock);
        startedLoad->nextRow = startedLoad->count;   // no row left to take: each worker ends after its row
        startedLoad->changed.notify_all();
    }
    endTableLoad(startedLoad);
    startedLoad = nullptr;
}

// Takes the load started for this table, or stops one started for another
// and begins one here.
int loadRowsAhead(ResourceEntry* table, int count, int workers, ResourceProgress progress)
{
    TableLoad* load = nullptr;
    if (startedLoad && startedLoad->table == table && startedLoad->count == count) {
        load = startedLoad;
        startedLoad = nullptr;
    } else {
        stopResourceReads();
        load = beginTableLoad(table, count, workers);
    }
    if (!load) return 0;
    for (int i = 0; i < count; i++) {
        const ResourceEntry* row = &table[i];
        logMessage("loading <%s>\n", row->spec ? row->spec : "");
        if (load->reads[i].readsAhead) {
            waitForRow(load, i);
            finishRow(load, row, &load->reads[i]);
            uploaded(load, i);
        } else if (row->spec) {
            loadRow(row);
        }
        finishRowWalk(row, i, count, progress);
    }
    endTableLoad(load);
    return 1;
}
