// Shader programs: a vertex and a fragment stage from files (plain or
// scrambled) or from text, the fixed attribute locations, the compile and link
// diagnostics in the log, and the built-in default 3D program.
#include "assets/assets_local.h"
#include "platform/platform.h"
#include <GL/glew.h>
#include <stdio.h>
#include <string.h>

int defaultProgram = -1;

enum { SourceBufferSize = ShaderSourceCapacity, InfoLogSize = 2048, ActiveNameSize = 64 };
static char vertexBuffer[SourceBufferSize];
static char fragmentBuffer[SourceBufferSize];
static const unsigned char scrambleKey = 0xC6;

static const char* defaultVertexSource =
    "#version 100\nprecision mediump float;\nattribute vec3 vpos;\t//could use 'location()' in GL4 to set which attrib "
    "each var is\nattribute vec4 vcol;\t//else it's defined at shader-compile time\nattribute vec3 vnrm;attribute vec2 "
    "vUV;varying vec4 col;varying vec3 nrm;varying vec2 uv;uniform mat4 matM,matP,matN;//model,proj,normals\nvoid "
    "main() {\tcol = vcol;\tgl_Position = matP* matM* vec4(vpos,1.0);\tnrm = (matN* vec4(vnrm,1.0)).xyz;\tuv = vUV;}";
static const char* defaultFragmentSource =
    "#version 100\nprecision mediump float;\nvarying vec4 col;varying vec3 nrm;varying vec2 uv;vec4 "
    "frag_colour;\nuniform sampler2D tex0;\nvoid main() {\tvec4 texcol = texture2D(tex0,uv);\tfrag_colour = col*0.0 + "
    "vec4((nrm+vec3(1.0,1.0,1.0))*0.5,1.0);\n\tgl_FragColor = mix(frag_colour,texcol,texcol.a);//\tfrag_colour*= "
    "texture(tex0,uv.xy);\n}";

const char* glslTypeName(unsigned int type)
{
    switch (type) {
    case GL_FLOAT: return "float";
    case GL_INT: return "int";
    case GL_FLOAT_VEC2: return "vec2";
    case GL_FLOAT_VEC3: return "vec3";
    case GL_FLOAT_VEC4: return "vec4";
    case GL_BOOL: return "bool";
    case GL_FLOAT_MAT2: return "mat2";
    case GL_FLOAT_MAT3: return "mat3";
    case GL_FLOAT_MAT4: return "mat4";
    case GL_SAMPLER_2D: return "sampler2D";
    case GL_SAMPLER_3D: return "sampler3D";
    case GL_SAMPLER_CUBE: return "samplerCube";
    case GL_SAMPLER_2D_SHADOW: return "sampler2DShadow";
    default: return "other";
    }
}

// Returns 1 when the source's first directive (after blanks and comments) is #version.
static int hasVersionLine(const char* text)
{
    const char* p = text;
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') p++;
        if (p[0] == '/' && p[1] == '/') {
            while (*p && *p != '\n') p++;
        } else if (p[0] == '/' && p[1] == '*') {
            const char* end = strstr(p + 2, "*/");
            if (!end) return 0;
            p = end + 2;
        } else {
            break;
        }
    }
    if (*p != '#') return 0;
    p++;
    while (*p == ' ' || *p == '\t') p++;
    return strncmp(p, "version", 7) == 0;
}

// Text without a #version line is compiled as GLSL ES 1.00, so both stages
// of a program share one language version.
int shaderSourceParts(const char* text, const char* parts[2])
{
    if (hasVersionLine(text)) {
        parts[0] = text;
        return 1;
    }
    parts[0] = "#version 100\n";
    parts[1] = text;
    return 2;
}

// defines (may be "") go between the version line and the text.
static void setShaderSource(GLuint shader, const char* defines, const char* text)
{
    const char* parts[3] = {nullptr, nullptr, nullptr};
    int count = shaderSourceParts(text, parts);
    if (count == 2 && defines[0]) {
        parts[2] = parts[1];
        parts[1] = defines;
        count = 3;
    }
    glShaderSource(shader, count, parts, nullptr);
}

// ---- variants ("file.fs?NAME,NAME") ----------------------------------------------
static int isNameChar(char c, int first)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (!first && c >= '0' && c <= '9');
}

int shaderVariant(const char* path, ShaderVariant* out)
{
    out->file[0] = out->defines[0] = 0;
    const char* slash = strrchr(path, '/');
    const char* mark = strchr(slash ? slash : path, '?');
    size_t length = mark ? (size_t)(mark - path) : strlen(path), used = 0;
    if (length >= sizeof out->file) {
        logMessage("ERROR: shader file <%.64s...>: the path is too long\n", path);
        return 0;
    }
    memcpy(out->file, path, length);
    out->file[length] = 0;
    for (const char* name = mark ? mark + 1 : nullptr; name; name++) {
        const char* end = name;
        while (isNameChar(*end, end == name)) end++;
        size_t n = (size_t)(end - name);
        if (n == 0 || (*end != ',' && *end != 0) || used + n + 9 >= sizeof out->defines) {
            logMessage("ERROR: shader variant <%s>: the defines must be C names separated by commas, "
                       "%d bytes of lines at most\n",
                       path, (int)sizeof out->defines - 1);
            out->defines[0] = 0;
            return 0;
        }
        used += (size_t)snprintf(out->defines + used, sizeof out->defines - used, "#define %.*s\n", (int)n, name);
        name = end;
        if (*end == 0) break;
    }
    return 1;
}

// A buffer starting with '@' is scrambled: the bytes after it are XORed with
// the key. Returns where the source text starts; null for a file that filled
// the whole buffer (no room for the terminator), with buffer[0] set to 0.
const char* shaderFileText(char* buffer, size_t count)
{
    if (count >= ShaderSourceCapacity) {
        buffer[0] = 0;
        return nullptr;
    }
    if (count < 1 || buffer[0] != '@') return buffer;
    for (size_t i = 1; i < count; i++) buffer[i] = (char)(buffer[i] ^ scrambleKey);
    return buffer + 1;
}

// Reads a whole shader file into buffer (zero-filled, terminated) and
// unscrambles it. Returns the source text, null when the file is 16384 bytes
// or more (logged). The caller has opened the file; it is closed here.
static const char* readShaderFile(FILE* file, const char* path, char* buffer)
{
    memset(buffer, 0, SourceBufferSize);
    size_t count = fread(buffer, 1, SourceBufferSize, file);
    fclose(file);
    const char* text = shaderFileText(buffer, count);
    if (!text) logMessage("ERROR: shader file <%s> is too large (16384 bytes or more)\n", path);
    return text;
}

// Opens both files (vertex first), reads and unscrambles them. Returns 1, or
// 0 after one log line naming the first file that failed.
static int readShaderFiles(const char* vertexPath, const char* fragmentPath, size_t limit, const char** vertexText,
                           const char** fragmentText)
{
    int status = 0;
    FILE* vf = openDataFile(vertexPath, limit, &status);
    if (!vf) {
        logMessage("can't open shader file <%s>\n", vertexPath);
        return 0;
    }
    FILE* ff = openDataFile(fragmentPath, limit, &status);
    if (!ff) {
        logMessage("can't open shader file <%s>\n", fragmentPath);
        fclose(vf);
        return 0;
    }
    *vertexText = readShaderFile(vf, vertexPath, vertexBuffer);
    *fragmentText = readShaderFile(ff, fragmentPath, fragmentBuffer);
    return *vertexText && *fragmentText;
}

static void deleteObjects(GLuint vs, GLuint fs, GLuint program)
{
    glDeleteShader(vs);
    glDeleteShader(fs);
    glDeleteProgram(program);
}

// Returns the program name (also after a failed link, whose report is
// logged), 0 when a stage did not compile, -1 when a file could not be read
// or was too large (limit: the files' size limit). The objects made here are
// deleted on the 0 and -1 paths.
static int buildProgram(const char* vertex, const char* fragment, int fromSource, size_t limit)
{
    GLuint vs = glCreateShader(GL_VERTEX_SHADER);
    GLuint fs = glCreateShader(GL_FRAGMENT_SHADER);
    GLuint program = glCreateProgram();
    const char* vertexText = vertex;
    const char* fragmentText = fragment;
    static ShaderVariant variant;   // static: two 4 kB buffers are not for the stack
    variant.defines[0] = 0;
    if (!fromSource && (!shaderVariant(fragment, &variant) ||
                        !readShaderFiles(vertex, variant.file, limit, &vertexText, &fragmentText))) {
        deleteObjects(vs, fs, program);
        return -1;
    }
    if (variant.defines[0] && fragmentText && hasVersionLine(fragmentText)) {
        logMessage("ERROR: shader variant <%s>: its file has a #version line, which must come first\n", fragment);
        deleteObjects(vs, fs, program);
        return -1;
    }
    if (!vertexText || !fragmentText) {
        logMessage("ERROR: shader source missing\n");
        deleteObjects(vs, fs, program);
        return -1;
    }
    setShaderSource(vs, "", vertexText);
    glCompileShader(vs);
    if (!checkShaderCompile(vs)) {
        if (!fromSource) logMessage("ERROR: shader file <%s> did not compile\n", vertex);
        deleteObjects(vs, fs, program);
        return 0;
    }
    glBindAttribLocation(program, 0, "vpos");
    glBindAttribLocation(program, 1, "vUV");
    glBindAttribLocation(program, 2, "vnrm");
    glBindAttribLocation(program, 4, "vcol");
    glBindAttribLocation(program, 3, "vtan");
    setShaderSource(fs, variant.defines, fragmentText);
    glCompileShader(fs);
    if (!checkShaderCompile(fs)) {
        if (!fromSource) logMessage("ERROR: shader file <%s> did not compile\n", fragment);
        deleteObjects(vs, fs, program);
        return 0;
    }
    glAttachShader(program, fs);
    glAttachShader(program, vs);
    glLinkProgram(program);
    logProgramInfo(program);
    GLint linked = 1;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    // The report names no file; say which pair it was.
    if (!linked && !fromSource) logMessage("ERROR: shader files <%s> and <%s> did not link\n", vertex, fragment);
    glDeleteShader(vs);   // flagged only: they live as long as the program
    glDeleteShader(fs);
    return (int)program;
}

int createShaderProgram(const char* vertex, const char* fragment, int fromSource)
{
    return buildProgram(vertex, fragment, fromSource, ShaderFileLimit);
}

int loadShaderPair(const char* vertexPath, const char* fragmentPath)
{
    return buildProgram(vertexPath, fragmentPath, 0, ShaderFileLimit);
}

int loadShaderFiles(const char* vertexPath, const char* fragmentPath, size_t limit)
{
    return buildProgram(vertexPath, fragmentPath, 0, limit);
}

// Deletes the program in the slot unless it is none (<= 0) or the default
// program; the slot keeps its value.
void freeShaderProgram(int* slot)
{
    if (!slot || *slot <= 0 || *slot == defaultProgram) return;
    // Meshes using the program may have deleted it already (freeMesh);
    // a second glDeleteProgram of the name would be GL_INVALID_VALUE.
    if (glIsProgram((GLuint)*slot)) glDeleteProgram((GLuint)*slot);
}

// The latest compile or link report, for a display that shows it.
static char lastReport[InfoLogSize];

const char* lastShaderReport(void) { return lastReport; }

// A report longer than the buffer keeps its start and ends in "...".
static void keepReport(const char* what, const char* info)
{
    if (snprintf(lastReport, sizeof lastReport, "%s%s", what, info) >= (int)sizeof lastReport)
        memcpy(lastReport + sizeof lastReport - 4, "...", 4);
}

int checkShaderCompile(unsigned int shader)
{
    GLint status = 1;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (!status) logMessage("ERROR: GL shader index %i can't compile\n", (int)shader);
    char info[InfoLogSize];
    GLsizei length = 0;
    info[0] = 0;
    glGetShaderInfoLog(shader, InfoLogSize, &length, info);
    if (!status) logMessage("Shader info log for shader #%u:\n%s\n", shader, info);
    if (!status) keepReport("compile: ", info);
    return status != 0;
}

typedef void (*ActiveQuery)(GLuint, GLuint, GLsizei, GLsizei*, GLint*, GLenum*, GLchar*);
typedef GLint (*LocationQuery)(GLuint, const GLchar*);

static void activeAttrib(GLuint p, GLuint i, GLsizei n, GLsizei* l, GLint* s, GLenum* t, GLchar* c)
{
    glGetActiveAttrib(p, i, n, l, s, t, c);
}
static void activeUniform(GLuint p, GLuint i, GLsizei n, GLsizei* l, GLint* s, GLenum* t, GLchar* c)
{
    glGetActiveUniform(p, i, n, l, s, t, c);
}
static GLint attribLocation(GLuint p, const GLchar* n) { return glGetAttribLocation(p, n); }
static GLint uniformLocation(GLuint p, const GLchar* n) { return glGetUniformLocation(p, n); }

// Lists count active attributes or uniforms from the last index down to 0,
// array elements from the last down to 0, each with its location.
static void logActiveList(GLuint program, int count, ActiveQuery query, LocationQuery locate)
{
    for (int i = count - 1; i >= 0; i--) {
        char name[ActiveNameSize];
        char element[ActiveNameSize];
        GLsizei length = 0;
        GLint size = 0;
        GLenum type = 0;
        name[0] = 0;
        query(program, (GLuint)i, ActiveNameSize, &length, &size, &type, name);
        if (size < 2) {
            logMessage("  %i) type:%s name:%s location:%i\n", i, glslTypeName(type), name, locate(program, name));
            continue;
        }
        // Drivers report an array as "name[0]"; its elements are "name[k]".
        size_t base = strlen(name);
        if (base >= 3 && strcmp(name + base - 3, "[0]") == 0) name[base - 3] = 0;
        for (int e = size - 1; e >= 0; e--) {
            // A name cut at the buffer's end looks up as -1, which the line then shows.
            if (snprintf(element, sizeof element, "%s[%i]", name, e) >= (int)sizeof element)
                element[sizeof element - 1] = 0;
            logMessage("  %i) type:%s name:%s location:%i\n", i, glslTypeName(type), element, locate(program, element));
        }
    }
}

void logProgramInfo(unsigned int program)
{
    GLint status = 1;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (status) return;
    char info[InfoLogSize];
    GLsizei length = 0;
    info[0] = 0;
    glGetProgramInfoLog(program, InfoLogSize, &length, info);
    logMessage("Shader Program info log for shader program #%u:\n%s\n", program, info);
    keepReport("link: ", info);
    GLint value = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &value);
    logMessage("GL_LINK_STATUS: %i\n", value);
    value = 0;
    glGetProgramiv(program, GL_ATTACHED_SHADERS, &value);
    logMessage("GL_ATTACHED_SHADERS: %i\n", value);
    GLint attributes = 0;
    glGetProgramiv(program, GL_ACTIVE_ATTRIBUTES, &attributes);
    logMessage("GL_ACTIVE_ATTRIBUTES: %i\n", attributes);
    logActiveList(program, attributes, activeAttrib, attribLocation);
    GLint uniforms = 0;
    glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &uniforms);
    logMessage("GL_ACTIVE_UNIFORMS = %i\n", uniforms);
    logActiveList(program, uniforms, activeUniform, uniformLocation);
    logMessage(" --------------------------------------------------\n");
}

// Compiles the built-in program every mesh starts with and makes it current.
void createDefaultShader(void)
{
    logMessage("Compiling default 3D shader...\n");
    defaultProgram = createShaderProgram(defaultVertexSource, defaultFragmentSource, 1);
    if (defaultProgram > 0) glUseProgram((GLuint)defaultProgram);
}
