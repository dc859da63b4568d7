// The content's full-screen programs, named by flags in its resource table: a
// shader row flagged PostProgramRow gets PosAttribute at 0 and TexAttribute at
// 1 (asked of the GL), a row without the flag keeps the GL's own assignment.
#include "post/fixture.h"
#include "assets/assets.h"
#include <fstream>
#include <sys/stat.h>

static void writeText(const char* path, const char* text) { std::ofstream(path, std::ios::binary) << text; }

// TexAttribute and PosAttribute last: left to itself the GL does not put them at 0 and 1.
static void writeQuadShaders(void)
{
    mkdir("data", 0755);
    writeText("data/quad.vs", "attribute vec4 Tint; attribute vec4 Shade; attribute vec2 TexAttribute;"
                              "attribute vec3 PosAttribute; varying vec4 colour;"
                              "void main(){ colour = Tint * Shade + vec4(TexAttribute, 0.0, 0.0);"
                              " gl_Position = vec4(PosAttribute, 1.0); }");
    writeText("data/quad.fs", "precision mediump float; varying vec4 colour; void main(){ gl_FragColor = colour; }");
}

static int boundForPost(int program)
{
    return glGetAttribLocation((GLuint)program, "PosAttribute") == 0 &&
           glGetAttribLocation((GLuint)program, "TexAttribute") == 1;
}

TEST(PostPrograms, FlaggedShaderRowsGetThePostAttributes)
{
    ASSERT_TRUE(testGLContext(64, 64));
    InDirectory here("post_programs");
    writeQuadShaders();
    static int plain, flagged, texture = 100000;   // no GL name: binding it would be an error
    ResourceEntry table[] = {
        {&plain, "quad.vs|quad.fs", nullptr, ShaderRow, 0},
        {&flagged, "quad.vs|quad.fs", nullptr, ShaderRow, PostProgramRow},
        {&texture, "none.jpg", nullptr, TextureRow, PostProgramRow},   // not a program: left alone
        {nullptr, nullptr, nullptr, 0, 0},
    };
    loadResourceTable(table, nullptr);
    ASSERT_GT(plain, 0);
    ASSERT_GT(flagged, 0);
    GLint plainPosition = glGetAttribLocation((GLuint)plain, "PosAttribute");
    GLint plainTexture = glGetAttribLocation((GLuint)plain, "TexAttribute");
    ASSERT_FALSE(plainPosition == 0 && plainTexture == 1) << "the GL's own choice hides whether a row was bound";
    ASSERT_EQ(glGetAttribLocation((GLuint)flagged, "PosAttribute"), plainPosition);

    while (glGetError() != GL_NO_ERROR) {}
    bindPostPrograms(table);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    GLint linked = 0;
    glGetProgramiv((GLuint)flagged, GL_LINK_STATUS, &linked);
    EXPECT_EQ(linked, 1);
    EXPECT_EQ(glGetAttribLocation((GLuint)flagged, "PosAttribute"), 0);
    EXPECT_EQ(glGetAttribLocation((GLuint)flagged, "TexAttribute"), 1);
    EXPECT_EQ(glGetAttribLocation((GLuint)plain, "PosAttribute"), plainPosition);
    EXPECT_EQ(glGetAttribLocation((GLuint)plain, "TexAttribute"), plainTexture);
    EXPECT_EQ(texture, 100000);
    glDeleteProgram((GLuint)plain);
    glDeleteProgram((GLuint)flagged);
}

// After a reload only the flagged rows holding one of the new programs are
// linked again; the rest keep their link. A negative count binds them all.
TEST(PostPrograms, AReloadBindsOnlyTheNewPrograms)
{
    ASSERT_TRUE(testGLContext(64, 64));
    InDirectory here("post_programs_new");
    writeQuadShaders();
    static int plain, fresh, kept;
    ResourceEntry table[] = {
        {&plain, "quad.vs|quad.fs", nullptr, ShaderRow, 0},
        {&fresh, "quad.vs|quad.fs", nullptr, ShaderRow, PostProgramRow},
        {&kept, "quad.vs|quad.fs", nullptr, ShaderRow, PostProgramRow},
        {nullptr, nullptr, nullptr, 0, 0},
    };
    loadResourceTable(table, nullptr);
    ASSERT_TRUE(plain > 0 && fresh > 0 && kept > 0);
    ASSERT_FALSE(boundForPost(fresh) || boundForPost(kept)) << "the GL's own choice hides whether a row was bound";
    int made[2] = {plain, fresh};
    bindNewPostPrograms(table, made, 2);
    EXPECT_TRUE(boundForPost(fresh));
    EXPECT_FALSE(boundForPost(kept));
    EXPECT_FALSE(boundForPost(plain));   // new, but not a post program
    bindNewPostPrograms(table, nullptr, -1);
    EXPECT_TRUE(boundForPost(kept));
    EXPECT_FALSE(boundForPost(plain));
    for (int program : {plain, fresh, kept}) glDeleteProgram((GLuint)program);
}
