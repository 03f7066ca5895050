#ifndef QX_KEYROUTINES_H
#define QX_KEYROUTINES_H
/* The reference gate server's key routines, each routine(block, param). */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void KeyRoutineXorRotate(uint8_t* block, uint8_t param);
void KeyRoutineChain(uint8_t* block, uint8_t param);
void KeyRoutineFnv(uint8_t* block, uint8_t param);
void KeyRoutineSwapHalves(uint8_t* block, uint8_t param);
/* keyroutines_simd.c: compiled with SSE2 and vectorisation */
void KeyRoutineVectorMix(uint8_t* block, uint8_t param);

#ifdef __cplusplus
}
#endif
#endif
