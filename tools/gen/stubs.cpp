// temporary
#include "gen.h"
void genBills(GenContext*) {}
void genPress(GenContext*) {}
void genGun(GenContext*) {}
void genRod(GenContext*) {}
void genShroom(GenContext*) {}
void genLightTextures(GenContext*) {}
void genPostTextures(GenContext*) {}
