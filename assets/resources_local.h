// The resource loader's own records, for its files (the kinds, the walk, the
// read-ahead, the reload) and tests: the kinds of row as rows of operations,
// what reading one file without GL gives, and the steps the walks share.
#pragma once
#include "assets/assets.h"
#include "platform/platform.h"

enum { SpecBufferSize = DataPathSize };

// What reading one file without GL gives: a decoded texture or a parsed mesh
// (the other stays empty). Zero-filled before the read; what an upload did not
// take is freed by releaseFileRead.
struct FileRead {
    Image image;
    Mesh mesh;
};
size_t fileReadBytes(const FileRead* read);   // the memory its arrays hold
// Copies a read with arrays of its own: 1, or 0 (to left empty) without memory.
int copyFileRead(FileRead* to, const FileRead* from);
void releaseFileRead(FileRead* read);   // frees its arrays; empty after

typedef int (*ResourceRead)(const char* path, size_t limit, FileRead* read);

// One kind of resource row. A spec names one file or two ("a|b"). The kind's
// own object is made from `names` of them; with one, a second name is a file
// of pairKind, made first without a slot and handed to the upload as paired
// (a mesh's slot-0 texture). A row whose names do not fit its kind (a shader
// with one, a texture with two) loads nothing.
struct ResourceKindOps {
    const char* name;   // "shader pair", "mesh", "texture"
    size_t sizeLimit;   // bytes: a larger file of the kind is refused unread
    int names;          // files the kind's own object is made from: 1 or 2
    int pairKind;       // ResourceKind of a second name when names is 1; -1 none
    // GL-free, on any thread: reads and decodes one file into read (zero-filled
    // first). 1, or 0 (logged; nothing held). Null for a kind whose files are
    // read within its upload on the GL thread (shader pairs).
    ResourceRead read;
    // GL thread: makes the object from its file names (paths[1] null for one)
    // and read (null when the kind has no read), into object when not null.
    // paired (null: no second name) is the pair's name, taken on success.
    // Returns the object's handle: > 0 made, <= 0 failed (logged).
    int (*upload)(void* object, const char* const paths[2], FileRead* read, const int* paired);
    void (*free)(void* object);   // releases what the row holds; a zero-filled object is left alone
    // Loads the file of part (0 before '|', 1 after) of row again; the new GL
    // name takes every place of the old in table. 1 replaced, 0 the old stays.
    int (*reload)(ResourceEntry* table, const ResourceEntry* row, int part, const char* file, ReloadResult* result);
    // Puts newName in every place of object that holds oldName of kind.
    void (*rename)(void* object, int kind, int oldName, int newName);
    void (*link)(void* object, int program);   // hands the row's object its program; null: none taken
};
extern const ResourceKindOps resourceKinds[ResourceKindCount];
const ResourceKindOps* kindOf(const ResourceEntry* row);   // null when the row's kind is not in the table

// Copies count bytes of source into buffer and prefixes the data directory.
// Returns 1, or 0 (logged) when the name does not fit.
int specPath(char* buffer, const char* source, size_t count);
// The data paths of a spec's names. names: 1 or 2 (0 when a name did not fit,
// logged; the second is checked only when there is one).
struct RowPaths {
    char first[SpecBufferSize], second[SpecBufferSize];
    int names;
};
int rowPaths(const char* spec, RowPaths* paths);        // 1 when every name fits
int rowLoads(const ResourceKindOps* kind, int names);   // 1 when a row of kind with that many names loads
// Makes a pair part from its read (ok 0: the read failed). Returns its name or -1.
int uploadPairPart(const ResourceKindOps* kind, const char* path, FileRead* read, int ok);
// Makes the row's own object (ok 0: its read failed, nothing made); a pair
// that has nowhere to go is freed again.
void uploadOwnPart(const ResourceEntry* row, const RowPaths* paths, FileRead* read, int ok, const int* paired);
// Loads one row on the calling thread: the paths, the pair, the object.
void loadRow(const ResourceEntry* row);

// Reading ahead: loads the table's count rows with workers (1 or 2) reading
// files ahead of the GL work, taking the reads startResourceReads began for
// this table. Returns 0 (nothing loaded) without memory for its bookkeeping.
int loadRowsAhead(ResourceEntry* table, int count, int workers, ResourceProgress progress);
// Decoded bytes that may wait for the main thread before workers stop taking rows.
extern size_t maxPendingBytes;
// The per-row step after a row is made: its program link, then the progress.
void finishRowWalk(const ResourceEntry* row, int index, int count, ResourceProgress progress);

// The reloads of the kinds, and the rename walk they share.
int reloadShaderRow(ResourceEntry* table, const ResourceEntry* row, int part, const char* file, ReloadResult* result);
int reloadTextureRow(ResourceEntry* table, const ResourceEntry* row, int part, const char* file, ReloadResult* result);
int reloadMeshRow(ResourceEntry* table, const ResourceEntry* row, int part, const char* file, ReloadResult* result);
void replaceName(ResourceEntry* table, int kind, int oldName, int newName);
