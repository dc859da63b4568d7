// Content generator entry: writes every mesh and texture of the show into the
// directory given on the command line, family by family, renders previews of
// already written data (--preview), or draws the program's icon (--icon).
// Exit status 0 only when every file was written.
#include "gen.h"

#include <stdio.h>
#include <string.h>

struct Family {
    const char* name;
    void (*run)(GenContext*);
};
static const Family families[] = {
    {"jug", genJug},           {"labels", genJugTextures}, {"sky", genSky},
    {"trunk", genTrunk},       {"still", genStill},        {"bottles", genBottles},
    {"bills", genBills},       {"press", genPress},        {"gun", genGun},
    {"rod", genRod},           {"shroom", genShroom},      {"lights", genLightTextures},
    {"post", genPostTextures},
};

void saveMesh(GenContext* g, const char* name, const GeneratedMesh& m)
{
    if (!writeMesh(g->dir + "/" + name, m)) g->failures++;
    g->trianglesWritten += (long)(m.tris.size() / 3);
    printf("  %-16s %6zu vertices %6zu triangles %3zu frames\n", name, m.verts.size(), m.tris.size() / 3,
           m.frames.empty() ? (size_t)1 : m.frames.size());
}
void saveJpeg(GenContext* g, const char* name, const GenImage& im, int quality)
{
    if (!writeJpeg(g->dir + "/" + name, im, quality)) g->failures++;
    printf("  %-16s %4d x %4d\n", name, im.w, im.h);
}
void saveTga(GenContext* g, const char* name, const GenImage& im, int withAlpha)
{
    if (!writeTga(g->dir + "/" + name, im, withAlpha)) g->failures++;
    printf("  %-16s %4d x %4d %s\n", name, im.w, im.h, withAlpha ? "RGBA" : "RGB");
}

int main(int argc, char** argv)
{
    if (argc >= 4 && strcmp(argv[1], "--preview") == 0) return runPreview(argv[2], argv[3]) ? 0 : 1;
    if (argc == 3 && strcmp(argv[1], "--icon") == 0) return writeIcon(argv[2], 256) ? 0 : 1;
    if (argc < 2) {
        fprintf(stderr,
                "usage: kestrel_gen <data dir> [family ...]\n       kestrel_gen --preview <data dir> <png dir>\n"
                "       kestrel_gen --icon <file.png>\n");
        return 2;
    }
    if (!fontsAvailable()) {
        fprintf(stderr, "gen: the DejaVu fonts (package fonts-dejavu-core) are missing\n");
        return 1;
    }
    GenContext g{argv[1], 0, 0};
    for (const Family& f : families) {
        int wanted = argc == 2;
        for (int i = 2; i < argc; i++)
            if (strcmp(argv[i], f.name) == 0) wanted = 1;
        if (!wanted) continue;
        printf("%s:\n", f.name);
        f.run(&g);
    }
    printf("gen: %ld triangles written, %d failures\n", g.trianglesWritten, g.failures);
    return g.failures ? 1 : 0;
}
