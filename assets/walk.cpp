// The resource walker: loads a table's rows in order through their kinds'
// operations, with a progress step after each row (handing the rows to the
// read-ahead when workers are set), and the release walk at shutdown. The
// table itself belongs to the show.
#include "assets/resources_local.h"
#include <string.h>

// ---- state: the table in use and how it is loaded ------------------------------------
ResourceEntry* activeResourceTable = nullptr;
int resourceLoadWorkers = 1;   // threads reading ahead of the main thread

int specPath(char* buffer, const char* source, size_t count)
{
    if (count >= SpecBufferSize) {
        logMessage("data path: <%.*s> does not fit in %d bytes, refused\n", (int)count, source, SpecBufferSize);
        return 0;
    }
    memcpy(buffer, source, count);
    buffer[count] = 0;
    return dataPath(buffer, SpecBufferSize);
}

int rowPaths(const char* spec, RowPaths* paths)
{
    paths->names = 0;
    paths->second[0] = 0;
    const char* bar = strchr(spec, '|');
    size_t firstLength = bar ? (size_t)(bar - spec) : strlen(spec);
    if (!specPath(paths->first, spec, firstLength)) return 0;
    if (bar && !specPath(paths->second, bar + 1, strlen(bar + 1))) return 0;
    paths->names = bar ? 2 : 1;
    return 1;
}

int rowLoads(const ResourceKindOps* kind, int names)
{
    return kind->names == 2 ? names == 2 : names == 1 || kind->pairKind >= 0;
}

int uploadPairPart(const ResourceKindOps* kind, const char* path, FileRead* read, int ok)
{
    const char* names[2] = {path, nullptr};
    return ok ? resourceKinds[kind->pairKind].upload(nullptr, names, read, nullptr) : -1;
}

void uploadOwnPart(const ResourceEntry* row, const RowPaths* paths, FileRead* read, int ok, const int* paired)
{
    const ResourceKindOps* kind = kindOf(row);
    const char* names[2] = {paths->first, kind->names == 2 ? paths->second : nullptr};
    int made = ok ? kind->upload(row->object, names, read, paired) : 0;
    if (made <= 0 && paired && *paired > 0) {
        int name = *paired;
        resourceKinds[kind->pairKind].free(&name);
    }
}

// Reads one file of kind into read (zero-filled); a kind without a read has
// nothing to read here. Returns 1, or 0 when the read failed (logged).
static int readPart(const ResourceKindOps* kind, const char* path, FileRead* read)
{
    memset(read, 0, sizeof *read);
    return kind->read ? kind->read(path, kind->sizeLimit, read) : 1;
}

// The pair first (a mesh's texture), then the row's own object, which takes
// the pair or, when it fails, leaves it to be deleted again.
void loadRow(const ResourceEntry* row)
{
    RowPaths paths;
    if (!rowPaths(row->spec, &paths)) return;
    const ResourceKindOps* kind = kindOf(row);
    if (!kind || !rowLoads(kind, paths.names)) return;
    FileRead read;
    int paired = -1;
    int hasPair = paths.names == 2 && kind->names == 1;
    if (hasPair) {
        int ok = readPart(&resourceKinds[kind->pairKind], paths.second, &read);
        paired = uploadPairPart(kind, paths.second, &read, ok);
        releaseFileRead(&read);
    }
    int ok = readPart(kind, paths.first, &read);
    uploadOwnPart(row, &paths, kind->read ? &read : nullptr, ok, hasPair ? &paired : nullptr);
    releaseFileRead(&read);
}

void finishRowWalk(const ResourceEntry* row, int index, int count, ResourceProgress progress)
{
    const ResourceKindOps* kind = kindOf(row);
    if (row->link && kind && kind->link) kind->link(row->object, *row->link);
    if (progress) progress((float)(index + 1) / (float)count);
}

// Loads every row in order (failures are logged by the loaders; progress is
// called after every row regardless, with the share of rows done).
void loadResourceTable(ResourceEntry* table, ResourceProgress progress)
{
    if (!table) return;
    int count = 0;
    while (table[count].object) count++;
    if (resourceLoadWorkers < 1 || count < 1) stopResourceReads();
    if (resourceLoadWorkers > 0 && count > 0 && loadRowsAhead(table, count, resourceLoadWorkers, progress)) {
        logMessage("loading complete!\n");
        return;
    }
    for (int i = 0; i < count; i++) {
        const ResourceEntry* row = &table[i];
        logMessage("loading <%s>\n", row->spec ? row->spec : "");
        if (row->spec) loadRow(row);
        finishRowWalk(row, i, count, progress);
    }
    logMessage("loading complete!\n");
}

// Frees every row through its kind's free (a mesh's slot-0 texture goes with
// it). The walk goes from the last row up: a texture row that fills slot 1 to
// 3 of an earlier mesh is freed before the mesh's free empties those slots, so
// those textures are deleted too. Rows never loaded are zero-filled and the
// free operations leave them alone.
void releaseResources(void)
{
    ResourceEntry* table = activeResourceTable;
    if (!table) return;
    int count = 0;
    while (table[count].object) count++;
    for (int i = count - 1; i >= 0; i--) {
        const ResourceKindOps* kind = kindOf(&table[i]);
        if (kind) kind->free(table[i].object);
    }
}
