#pragma once
// Message texts of the engine (log lines and thrown texts): GBK on Windows,
// UTF-8 on POSIX. The texts themselves are in texts.inc.

#define QX_TEXT(name, text) extern const char* const name;
#include "common/texts/texts.inc"
#undef QX_TEXT

struct TTextEntry {
    const char* name;
    const char* text;
};
// Every text with its name, in the order of texts.inc.
extern const TTextEntry g_AllTexts[];
extern const unsigned int g_nAllTexts;
