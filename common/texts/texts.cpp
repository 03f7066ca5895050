// Built with -fexec-charset=GBK for Windows: the literals of texts.inc become GBK.
#include "common/texts/texts.h"

#define QX_TEXT(name, text) const char* const name = text;
#include "common/texts/texts.inc"
#undef QX_TEXT

const TTextEntry g_AllTexts[] = {
#define QX_TEXT(name, text) {#name, name},
#include "common/texts/texts.inc"
#undef QX_TEXT
};
const unsigned int g_nAllTexts = sizeof g_AllTexts / sizeof g_AllTexts[0];
