// The kinds of resource row: every kind has its operations and a size limit,
// and the walk reads a file of each kind up to its limit and refuses one byte
// more, with and without workers reading ahead.
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
