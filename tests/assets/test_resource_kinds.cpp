// The kinds of resource row: every kind has its operations and a size limit,
// and the walk reads a file of each kind up to its limit and refuses one byte
// more, with and without workers reading ahead; reads started before the
// load give the row-by-row log.
#include "assets/fixture.h"
#include "assets/resources_local.h"
#include "support/gl_context.h"

TEST(ResourceKinds, EveryKindHasItsOperationsAndALimit)
{
    const char* names[ResourceKindCount] = {"shader pair", "mesh", "texture"};
    for (int k = 0; k < ResourceKindCount; k++) {
        const ResourceKindOps& kind = resourceKinds[k];
        SCOPED_TRACE(names[k]);
        EXPECT_STREQ(kind.name, names[k]);   // each row stands at its enum's index
        EXPECT_GT(kind.sizeLimit, 0u);
        EXPECT_TRUE(kind.names == 1 || kind.names == 2);
        EXPECT_TRUE(kind.upload && kind.free && kind.reload && kind.rename);
        if (kind.pairKind < 0) continue;
        ASSERT_LT(kind.pairKind, (int)ResourceKindCount);
        EXPECT_EQ(kind.names, 1);   // the pair is the second name
        EXPECT_NE(resourceKinds[kind.pairKind].read, nullptr);
        EXPECT_EQ(resourceKinds[kind.pairKind].names, 1);
    }
    int slot = 0;
    ResourceEntry outside = {&slot, "a", nullptr, ResourceKindCount, 0};
    EXPECT_EQ(kindOf(&outside), nullptr);
    outside.kind = -1;
    EXPECT_EQ(kindOf(&outside), nullptr);
}

// A file of size bytes (sparse past the text).
static void writeSized(const std::string& path, const std::string& text, size_t size)
{
    writeText(path, text);
    ASSERT_EQ(truncate(path.c_str(), (off_t)size), 0);
}

TEST(ResourceKinds, EachKindReadsUpToItsLimit)
{
    ASSERT_TRUE(testGLContext(64, 64));
    InDirectory here("resource_limits");
    mkdir("data", 0755);
    writeText("data/ok.fs", "precision mediump float; void main(){ gl_FragColor = vec4(1.0); }");
    writeSized("data/at.vs", "void main(){}", 64 << 10);   // the shader limit: 64 KiB
    writeSized("data/over.vs", "void main(){}", (64 << 10) + 1);
    writeSized("data/at.bof", "BOF1\n", (size_t)32 << 20);   // meshes and textures: 32 MiB
    writeSized("data/over.bof", "BOF1\n", ((size_t)32 << 20) + 1);
    writeSized("data/at.jpg", "", (size_t)32 << 20);
    writeSized("data/over.jpg", "", ((size_t)32 << 20) + 1);
    writeSized("data/over.tga", "", ((size_t)32 << 20) + 1);
    static int programs[2], textures[3];
    static Mesh meshes[2];
    ResourceEntry table[] = {
        {&programs[0], "at.vs|ok.fs", nullptr, ShaderRow, 0}, {&programs[1], "over.vs|ok.fs", nullptr, ShaderRow, 0},
        {&meshes[0], "at.bof|at.jpg", nullptr, MeshRow, 0},   {&meshes[1], "over.bof|over.jpg", nullptr, MeshRow, 0},
        {&textures[0], "at.jpg", nullptr, TextureRow, 0},     {&textures[1], "over.jpg", nullptr, TextureRow, 0},
        {&textures[2], "over.tga", nullptr, TextureRow, 0},   {nullptr, nullptr, nullptr, 0, 0},
    };
    int saved = resourceLoadWorkers;
    for (int workers = 0; workers <= 1; workers++) {
        SCOPED_TRACE(workers ? "reading ahead" : "row by row");
        resourceLoadWorkers = workers;
        size_t mark = logSize();
        loadResourceTable(table, nullptr);
        std::string log = logSince(mark);
        for (const char* name : {"over.vs", "over.bof", "over.jpg", "over.tga"}) {
            std::string refusal = std::string("data file <./data/") + name + "> refused: larger than its limit";
            EXPECT_NE(log.find(refusal), std::string::npos) << name << "\n" << log;
        }
        for (const char* name : {"at.vs", "at.bof", "at.jpg"})
            EXPECT_EQ(log.find(std::string("data file <./data/") + name + "> refused"), std::string::npos) << name;
        EXPECT_NE(log.find("shader file <./data/at.vs> is too large (16384 bytes or more)"), std::string::npos);
        EXPECT_EQ(programs[0], -1);
        EXPECT_EQ(programs[1], -1);
        EXPECT_EQ(meshes[0].vertexCount, 0u);
        EXPECT_EQ(textures[0], 0);
    }
    resourceLoadWorkers = saved;
}

// A file that fails to read, named by several rows: the rows read ahead share
// its failure, and none of them takes the empty result for a picture.
TEST(ResourceKinds, AFailedFileSharedByRowsLeavesEveryRowWithout)
{
    ASSERT_TRUE(testGLContext(64, 64));
    InDirectory here("resource_shared_failure");
    mkdir("data", 0755);
    static int textures[4];
    ResourceEntry table[] = {
        {&textures[0], "gone.jpg", nullptr, TextureRow, 0},
        {&textures[1], "gone.jpg", nullptr, TextureRow, 0},
        {&textures[2], "gone.jpg", nullptr, TextureRow, 0},
        {&textures[3], "gone.jpg", nullptr, TextureRow, 0},
        {nullptr, nullptr, nullptr, 0, 0},
    };
    int saved = resourceLoadWorkers;
    for (int workers = 0; workers <= 1; workers++) {
        SCOPED_TRACE(workers ? "reading ahead" : "row by row");
        resourceLoadWorkers = workers;
        for (int& t : textures) t = -1;
        loadResourceTable(table, nullptr);
        for (int t : textures) EXPECT_EQ(t, -1);
    }
    resourceLoadWorkers = saved;
}

// With the read-ahead budget spent after every row, the worker waits for the
// main thread each time; every row is still loaded, in the table's order.
TEST(ResourceKinds, AWorkerWaitsWhenTheBudgetIsSpent)
{
    ASSERT_TRUE(testGLContext(64, 64));
    InDirectory here("resource_budget");
    mkdir("data", 0755);
    Bytes tga = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0, 40, 90};   // 2 x 1 grey
    writeBytes("data/a.tga", tga);
    writeBytes("data/b.tga", tga);
    static int textures[6];
    ResourceEntry table[] = {
        {&textures[0], "a.tga", nullptr, TextureRow, 0},
        {&textures[1], "b.tga", nullptr, TextureRow, 0},
        {&textures[2], "a.tga", nullptr, TextureRow, 0},
        {&textures[3], "b.tga", nullptr, TextureRow, 0},
        {&textures[4], "a.tga", nullptr, TextureRow, 0},
        {&textures[5], "b.tga", nullptr, TextureRow, 0},
        {nullptr, nullptr, nullptr, 0, 0},
    };
    int savedWorkers = resourceLoadWorkers;
    size_t savedBudget = maxPendingBytes;
    maxPendingBytes = 0;
    resourceLoadWorkers = 1;
    for (int& t : textures) t = -1;
    size_t mark = logSize();
    loadResourceTable(table, nullptr);
    std::string log = logSince(mark);
    for (int t : textures) EXPECT_GT(t, 0);
    EXPECT_LT(log.find("loading <a.tga>"), log.find("loading <b.tga>")) << log;
    EXPECT_NE(log.find("loading complete!"), std::string::npos) << log;
    maxPendingBytes = savedBudget;
    resourceLoadWorkers = savedWorkers;
}

// Reads started before the load (as start-up starts them before the window):
// the log is the row-by-row walk's, a missing file still logged in its row's
// block, each row's slot filled, a file two rows name read for both; reads
// started for another table, or stopped, leave the load to read afresh.
TEST(ResourceKinds, ReadsStartedBeforeTheLoadWriteTheRowByRowLog)
{
    ASSERT_TRUE(testGLContext(64, 64));
    InDirectory here("resource_early");
    Bytes texel = {10, 20, 30, 255};
    writeBytes("data/a.tga", tgaFile(2, 1, 1, 32, 8, texel));
    writeText("data/m.bof", "BOF1\n3 1\n0 0 0\n0 0 0 -1 0 0\n1 2 0 -1 1 0\n2 0 2 -1 0 1\n0 0 1 2\n");
    static int textures[3];
    static Mesh mesh;
    ResourceEntry table[] = {
        {&textures[0], "a.tga", nullptr, TextureRow, 0},
        {&mesh, "m.bof|missing.jpg", nullptr, MeshRow, 0},
        {&textures[1], "missing.tga", nullptr, TextureRow, 0},
        {&textures[2], "a.tga", nullptr, TextureRow, 0},
        {nullptr, nullptr, nullptr, 0, 0},
    };
    ResourceEntry other[] = {{&textures[1], "a.tga", nullptr, TextureRow, 0}, {nullptr, nullptr, nullptr, 0, 0}};
    int saved = resourceLoadWorkers;
    auto load = [&](int workers, int early) {
        memset(textures, 0, sizeof textures);
        resourceLoadWorkers = workers;
        int starting = workers ? workers : 1;   // with 0 the walk stops what was started
        if (early == 1 || early == 3) {
            EXPECT_EQ(startResourceReads(table, starting), 1);
        } else if (early == 2) {
            EXPECT_EQ(startResourceReads(other, starting), 1);   // for a table that is not loaded
        }
        if (early == 3) stopResourceReads();
        if (early) usleep(20000);   // the workers read while nothing else happens
        size_t mark = logSize();
        loadResourceTable(table, nullptr);
        std::string log = logSince(mark);
        EXPECT_GT(textures[0], 0);
        EXPECT_GT(textures[2], 0);
        EXPECT_NE(textures[0], textures[2]);
        EXPECT_EQ(textures[1], 0);
        EXPECT_EQ(mesh.vertexCount, 3u);
        freeTexture(&textures[0]);
        freeTexture(&textures[2]);
        freeMesh(&mesh);
        return log;
    };
    std::string rowByRow = load(0, 0);
    EXPECT_NE(rowByRow.find("loading <missing.tga>\nCan't find file <./data/missing.tga>\n"), std::string::npos)
        << rowByRow;
    EXPECT_NE(rowByRow.find("<./data/missing.jpg>"), std::string::npos) << rowByRow;
    for (int workers = 0; workers <= 2; workers++) {
        for (int early = workers ? 0 : 1; early <= 3; early++) {
            SCOPED_TRACE("workers " + std::to_string(workers) + ", start " + std::to_string(early));
            EXPECT_EQ(load(workers, early), rowByRow);
        }
    }
    EXPECT_EQ(startResourceReads(table, 0), 0);       // no workers asked: nothing started
    EXPECT_EQ(startResourceReads(table + 4, 1), 0);   // an empty table
    resourceLoadWorkers = saved;
}
