// Shader programs against the real GL: missing, scrambled, oversized and
// broken files, the log lines of each failure, the link report and its order,
// fixed attribute locations, the version rule, and what free may delete.
#include "assets/assets.h"
#include "support/gl_context.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <set>
#include <string>

namespace {

const char* plainVertex = "#version 100\nattribute vec3 vpos; attribute vec4 vcol; varying vec4 c;\n"
                          "void main() { c = vcol; gl_Position = vec4(vpos, 1.0); }\n";
const char* plainFragment = "#version 100\nprecision mediump float; varying vec4 c;\n"
                            "void main() { gl_FragColor = c; }\n";

class ShaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static std::string dir = makeTempDir("shader");   // own cwd: demo.log is per directory
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
    void SetUp() override
    {
        if (!testGLContext(64, 64)) GTEST_SKIP() << "no display";
        clearLog();
    }
    static void clearLog()
    {
        FILE* f = fopen("demo.log", "w");
        if (f) fclose(f);
    }
    static std::string log() { return readFile("demo.log"); }
    static void writeFile(const std::string& path, const std::string& bytes)
    {
        FILE* f = fopen(path.c_str(), "wb");
        ASSERT_TRUE(f);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    static std::string scramble(const std::string& text)
    {
        std::string out = "@";
        for (char c : text) out += (char)(c ^ 0xC6);
        return out;
    }
};

// Names of every live shader and program object among the first few thousand.
std::set<GLuint> liveObjects()
{
    std::set<GLuint> live;
    for (GLuint n = 1; n < 4000; n++)
        if (glIsShader(n) || glIsProgram(n)) live.insert(n);
    return live;
}

TEST_F(ShaderTest, MissingFilesGiveMinusOneAndNameTheFirstThatFailed)
{
    std::set<GLuint> before = liveObjects();
    EXPECT_EQ(loadShaderPair("none.vs", "none.fs"), -1);
    EXPECT_EQ(log(), "can't open shader file <none.vs>\n");   // one line, the vertex file only

    clearLog();
    writeFile("only.vs", plainVertex);
    EXPECT_EQ(loadShaderPair("only.vs", "none.fs"), -1);
    EXPECT_EQ(log(), "can't open shader file <none.fs>\n");
    EXPECT_EQ(liveObjects(), before);   // the objects made before opening are gone again
}

TEST_F(ShaderTest, ScrambledVertexAndPlainFragmentLinkWithoutReport)
{
    writeFile("scr.vs", scramble(plainVertex));
    writeFile("scr.fs", plainFragment);
    int program = loadShaderPair("scr.vs", "scr.fs");
    ASSERT_GT(program, 0);
    GLint linked = 0;
    glGetProgramiv((GLuint)program, GL_LINK_STATUS, &linked);
    EXPECT_EQ(linked, 1);
    EXPECT_EQ(log(), "");
    // The scrambled fragment and a plain vertex work the same way round.
    writeFile("scr2.vs", plainVertex);
    writeFile("scr2.fs", scramble(plainFragment));
    int second = loadShaderPair("scr2.vs", "scr2.fs");
    ASSERT_GT(second, 0);
    glGetProgramiv((GLuint)second, GL_LINK_STATUS, &linked);
    EXPECT_EQ(linked, 1);
    freeShaderProgram(&program);
    freeShaderProgram(&second);
}

TEST_F(ShaderTest, OneByteAtFileIsAnEmptySourceGivenToTheCompiler)
{
    // "@" alone unscrambles to an empty text; GLSL ES refuses an empty unit,
    // so the vertex stage reports its compile failure and nothing else runs.
    writeFile("at.vs", "@");
    writeFile("at.fs", plainFragment);
    std::set<GLuint> before = liveObjects();
    EXPECT_EQ(loadShaderPair("at.vs", "at.fs"), 0);
    std::string text = log();
    EXPECT_EQ(countOf(text, " can't compile\n"), 1) << text;
    EXPECT_EQ(countOf(text, "Shader info log for shader #"), 1);
    EXPECT_EQ(text.find("can't open"), std::string::npos);
    EXPECT_EQ(liveObjects(), before);
}

TEST_F(ShaderTest, FilesOf16384BytesOrMoreAreRefused)
{
    std::string fits = plainFragment;
    fits += std::string(16383 - fits.size() - 1, ' ') + "\n";
    ASSERT_EQ(fits.size(), 16383u);
    writeFile("fits.vs", plainVertex);
    writeFile("fits.fs", fits);
    int program = loadShaderPair("fits.vs", "fits.fs");
    EXPECT_GT(program, 0);
    EXPECT_EQ(log(), "");
    freeShaderProgram(&program);

    std::set<GLuint> before = liveObjects();
    writeFile("big.fs", fits + " ");
    EXPECT_EQ(loadShaderPair("fits.vs", "big.fs"), -1);
    EXPECT_EQ(log(), "ERROR: shader file <big.fs> is too large (16384 bytes or more)\n");
    clearLog();
    writeFile("big.vs", std::string(40000, '/'));
    EXPECT_EQ(loadShaderPair("big.vs", "fits.fs"), -1);
    EXPECT_NE(log().find("<big.vs> is too large"), std::string::npos);
    EXPECT_EQ(liveObjects(), before);
}

TEST_F(ShaderTest, CompileFailureGivesZeroAndItsTwoLines)
{
    std::set<GLuint> before = liveObjects();
    EXPECT_EQ(createShaderProgram("#version 100\nvoid main() { nonsense; }\n", plainFragment, 1), 0);
    std::string text = log();
    EXPECT_EQ(countOf(text, "ERROR: GL shader index "), 1) << text;   // fragment not compiled
    EXPECT_EQ(countOf(text, " can't compile\n"), 1);
    EXPECT_EQ(countOf(text, "Shader info log for shader #"), 1);
    EXPECT_LT(text.find("can't compile"), text.find("Shader info log"));
    EXPECT_EQ(text.find("Shader Program info log"), std::string::npos);   // nothing linked

    clearLog();
    EXPECT_EQ(createShaderProgram(plainVertex, "#version 100\nvoid main() { gl_FragColor = 1; }\n", 1), 0);
    EXPECT_EQ(countOf(log(), " can't compile\n"), 1);
    EXPECT_EQ(std::string(lastShaderReport()).rfind("compile: ", 0), 0u) << lastShaderReport();
    // A report longer than its buffer keeps its start and ends in "...".
    std::string many = "#version 100\nvoid main() {\n";
    for (int i = 0; i < 300; i++) many += "  undefined" + std::to_string(i) + " = 1.0;\n";
    EXPECT_EQ(createShaderProgram(plainVertex, (many + "}\n").c_str(), 1), 0);
    std::string report = lastShaderReport();
    EXPECT_EQ(report.size(), 2047u);
    EXPECT_EQ(report.rfind("compile: ", 0), 0u);
    EXPECT_EQ(report.substr(report.size() - 3), "...");
    EXPECT_EQ(liveObjects(), before);
}

TEST_F(ShaderTest, SourcesWithoutVersionCompileAsEs100)
{
    // A precision statement without #version is refused by desktop GLSL; as ES 1.00 it is fine,
    // and it links with a stage that names #version 100 itself.
    const char* fragment = "// a comment first\nprecision mediump float;\nvarying vec4 c;\n"
                           "void main() { gl_FragColor = c; }\n";
    int program = createShaderProgram(plainVertex, fragment, 1);
    ASSERT_GT(program, 0);
    GLint linked = 0;
    glGetProgramiv((GLuint)program, GL_LINK_STATUS, &linked);
    EXPECT_EQ(linked, 1) << log();
    freeShaderProgram(&program);
}

TEST_F(ShaderTest, AttributesSitAtTheirFixedLocations)
{
    const char* vertex =
        "attribute vec3 vpos; attribute vec2 vUV; attribute vec3 vnrm; attribute vec3 vtan; attribute vec4 vcol;\n"
        "varying vec4 c;\n"
        "void main() { c = vcol + vec4(vUV, vnrm.x, vtan.y); gl_Position = vec4(vpos, 1.0); }\n";
    int program = createShaderProgram(vertex, plainFragment, 1);
    ASSERT_GT(program, 0);
    const char* names[5] = {"vpos", "vUV", "vnrm", "vtan", "vcol"};
    for (int i = 0; i < 5; i++) EXPECT_EQ(glGetAttribLocation((GLuint)program, names[i]), i) << names[i];
    freeShaderProgram(&program);
}

// A real failed link reports nothing active on Mesa, so the listing order is
// checked on a linked program whose link status is reported as failed.
GLuint pretendFailed;
PFNGLGETPROGRAMIVPROC realGetProgramiv;
void GLAPIENTRY getProgramivFailing(GLuint program, GLenum name, GLint* value)
{
    realGetProgramiv(program, name, value);
    if (program == pretendFailed && name == GL_LINK_STATUS) *value = 0;
}

TEST_F(ShaderTest, LinkReportListsAttributesAndUniformsInDescendingOrder)
{
    const char* vertex = "#version 100\nattribute vec3 vpos; attribute vec4 vcol; attribute vec2 vUV;\n"
                         "uniform mat4 bones[3]; uniform float gain; varying vec4 c;\n"
                         "void main() { c = vcol * gain + vec4(vUV, 0.0, 0.0); gl_Position = bones[0] * bones[1] * "
                         "bones[2] * vec4(vpos, 1.0); }\n";
    const char* fragment = "#version 100\nprecision mediump float; varying vec4 c; uniform vec4 tint;\n"
                           "void main() { gl_FragColor = c * tint; }\n";
    int program = createShaderProgram(vertex, fragment, 1);
    ASSERT_GT(program, 0);
    ASSERT_EQ(log(), "");

    pretendFailed = (GLuint)program;
    realGetProgramiv = glGetProgramiv;
    glGetProgramiv = getProgramivFailing;
    logProgramInfo((GLuint)program);
    glGetProgramiv = realGetProgramiv;

    std::string text = log();
    std::string head = "Shader Program info log for shader program #" + std::to_string(program) + ":\n";
    ASSERT_EQ(text.rfind(head, 0), 0u) << text;
    size_t attributes = text.find("GL_ACTIVE_ATTRIBUTES: 3\n");
    size_t uniforms = text.find("GL_ACTIVE_UNIFORMS = 3\n");
    ASSERT_NE(attributes, std::string::npos) << text;
    ASSERT_NE(uniforms, std::string::npos) << text;
    EXPECT_LT(text.find("GL_LINK_STATUS: 0\n"), text.find("GL_ATTACHED_SHADERS: 2\n"));
    EXPECT_LT(text.find("GL_ATTACHED_SHADERS: 2\n"), attributes);
    EXPECT_EQ(text.substr(text.size() - 52), " --------------------------------------------------\n");

    // Indices count down; array elements count down; locations are the real ones.
    std::string attributeLines = text.substr(attributes, uniforms - attributes);
    EXPECT_LT(attributeLines.find("  2) "), attributeLines.find("  1) "));
    EXPECT_LT(attributeLines.find("  1) "), attributeLines.find("  0) "));
    EXPECT_NE(attributeLines.find("type:vec4 name:vcol location:4\n"), std::string::npos) << attributeLines;
    EXPECT_NE(attributeLines.find("type:vec2 name:vUV location:1\n"), std::string::npos);
    EXPECT_NE(attributeLines.find("type:vec3 name:vpos location:0\n"), std::string::npos);
    std::string uniformLines = text.substr(uniforms);
    size_t b2 = uniformLines.find("type:mat4 name:bones[2] location:");
    size_t b1 = uniformLines.find("type:mat4 name:bones[1] location:");
    size_t b0 = uniformLines.find("type:mat4 name:bones[0] location:");
    ASSERT_NE(b2, std::string::npos) << uniformLines;
    EXPECT_LT(b2, b1);
    EXPECT_LT(b1, b0);
    GLint location = glGetUniformLocation((GLuint)program, "bones[1]");
    EXPECT_NE(uniformLines.find("name:bones[1] location:" + std::to_string(location) + "\n"), std::string::npos);
    EXPECT_NE(uniformLines.find("type:float name:gain location:"), std::string::npos);
    EXPECT_NE(uniformLines.find("type:vec4 name:tint location:"), std::string::npos);
    freeShaderProgram(&program);
}

TEST_F(ShaderTest, RealLinkFailureReturnsTheNameAfterItsReport)
{
    const char* fragment = "#version 100\nprecision mediump float; varying vec2 unmatched;\n"
                           "void main() { gl_FragColor = vec4(unmatched, 0.0, 1.0); }\n";
    int program = createShaderProgram(plainVertex, fragment, 1);
    ASSERT_GT(program, 0);
    std::string text = log();
    EXPECT_EQ(text.rfind("Shader Program info log for shader program #" + std::to_string(program) + ":\n", 0), 0u);
    EXPECT_NE(text.find("GL_LINK_STATUS: 0\nGL_ATTACHED_SHADERS: 2\nGL_ACTIVE_ATTRIBUTES: "), std::string::npos)
        << text;
    EXPECT_NE(text.find("GL_ACTIVE_UNIFORMS = "), std::string::npos);
    freeShaderProgram(&program);
}

TEST_F(ShaderTest, DefaultProgramAndWhatFreeMayDelete)
{
    createDefaultShader();
    EXPECT_EQ(log(), "Compiling default 3D shader...\n");   // it compiles and links cleanly
    ASSERT_GT(defaultProgram, 0);
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, defaultProgram);
    // vtan is bound although the default vertex stage does not declare it.
    EXPECT_EQ(glGetAttribLocation((GLuint)defaultProgram, "vnrm"), 2);

    int slot = defaultProgram;
    freeShaderProgram(&slot);
    EXPECT_TRUE(glIsProgram((GLuint)defaultProgram));
    for (int none : {0, -1}) {
        std::set<GLuint> before = liveObjects();
        int s = none;
        freeShaderProgram(&s);
        EXPECT_EQ(s, none);
        EXPECT_EQ(liveObjects(), before);
    }
    freeShaderProgram(nullptr);

    int program = createShaderProgram(plainVertex, plainFragment, 1);
    ASSERT_GT(program, 0);
    int kept = program;
    freeShaderProgram(&program);
    EXPECT_EQ(program, kept);   // the slot keeps its value
    EXPECT_FALSE(glIsProgram((GLuint)kept));
}

TEST(ShaderNames, GlslTypeNamesOfTheReport)
{
    EXPECT_STREQ(glslTypeName(GL_FLOAT_MAT4), "mat4");
    EXPECT_STREQ(glslTypeName(GL_SAMPLER_2D_SHADOW), "sampler2DShadow");
    EXPECT_STREQ(glslTypeName(GL_SAMPLER_CUBE), "samplerCube");
    EXPECT_STREQ(glslTypeName(GL_BOOL), "bool");
    EXPECT_STREQ(glslTypeName(GL_INT_VEC2), "other");
    EXPECT_STREQ(glslTypeName(0), "other");
}

}   // namespace

// The centre pixel of the window after program fills it.
static std::vector<unsigned char> fillColour(int program)
{
    static const float quad[] = {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0};
    glUseProgram((GLuint)program);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, quad);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableVertexAttribArray(0);
    glUseProgram(0);
    return readPixels(32, 32, 1, 1);
}

// "file.fs?A,B" builds file.fs with "#define A" and "#define B" (after the
// version line the loader adds), and the defines do not stay for the next
// build; a '?' in a folder's name is part of the path. A list that is empty,
// holds an empty name or one that is not a C name, or is too long, and a
// variant of a file with its own version line, build nothing and say why.
TEST_F(ShaderTest, VariantsDefineTheirNamesBeforeTheText)
{
    writeFile("v.vs", "attribute vec3 vpos;\nvoid main() { gl_Position = vec4(vpos, 1.0); }\n");
    writeFile("f.fs", "precision mediump float;\nvoid main() {\n#ifdef RED\n gl_FragColor = vec4(1, 0, 0, 1);\n"
                      "#else\n gl_FragColor = vec4(0, 1, 0, 1);\n#endif\n#ifdef BLUE\n gl_FragColor.b = 1.0;\n"
                      "#endif\n}\n");
    mkdir("q?d", 0755);
    writeFile("q?d/f.fs", readFile("f.fs"));
    writeFile("versioned.fs", "#version 100\nvoid main() { gl_FragColor = vec4(1.0); }\n");
    struct Case {
        const char* fragment;
        int r, g, b;
    };
    for (const Case& c : {Case{"f.fs?RED,BLUE", 255, 0, 255}, Case{"f.fs", 0, 255, 0}, Case{"f.fs?BLUE", 0, 255, 255},
                          Case{"q?d/f.fs", 0, 255, 0}}) {
        int program = loadShaderPair("v.vs", c.fragment);
        ASSERT_GT(program, 0) << c.fragment << log();
        std::vector<unsigned char> px = fillColour(program);
        EXPECT_EQ(px[0], c.r) << c.fragment;
        EXPECT_EQ(px[1], c.g) << c.fragment;
        EXPECT_EQ(px[2], c.b) << c.fragment;
        glDeleteProgram((GLuint)program);
    }
    std::string tooMany = "f.fs?";
    for (int i = 0; i < 24; i++) tooMany += "NAME_NUMBER" + std::to_string(i) + ",";
    tooMany += "LAST";
    for (const std::string& bad :
         std::vector<std::string>{"f.fs?", "f.fs?RED,", "f.fs?,RED", "f.fs?1RED", "f.fs?R D", "f.fs?RED;x", tooMany}) {
        clearLog();
        EXPECT_EQ(loadShaderPair("v.vs", bad.c_str()), -1) << bad;
        EXPECT_NE(log().find("must be C names"), std::string::npos) << bad << log();
    }
    clearLog();
    EXPECT_EQ(loadShaderPair("v.vs", "versioned.fs?RED"), -1);
    EXPECT_NE(log().find("#version line"), std::string::npos) << log();
}
