# rcl and rcr at 8, 16 and 32 bits for every count 0..33 in CL, then the
# by-1 and immediate forms on registers and memory. SF, ZF, AF and PF are
# left alone by these rotates; OF is defined for a count of 1 only.
        .include "routine.inc"
        BEGIN_ROUTINE
        xor ecx, ecx
count_loop:
        mov edx, ecx
        and edx, 31
        cmp edx, 2
        mov edx, ALL_FLAGS
        jb 1f
        mov edx, ALL_FLAGS & ~0x800
1:
        .irp op, rcl, rcr
        mov ebx, [esi]
        LOAD_FLAGS [esi+4]
        \op bh, cl
        SAVE_FLAGS edx
        SAVE ebx
        mov eax, [esi+8]
        LOAD_FLAGS [esi+12]
        \op ax, cl
        SAVE_FLAGS edx
        SAVE eax
        mov eax, [esi+16]
        LOAD_FLAGS [esi+20]
        \op eax, cl
        SAVE_FLAGS edx
        SAVE eax
        .endr
        inc ecx
        cmp ecx, 34
        jb count_loop

        .irp op, rcl, rcr
        mov eax, [esi+24]
        LOAD_FLAGS [esi+28]
        \op al, 1
        SAVE_FLAGS ALL_FLAGS
        \op eax, 1
        SAVE_FLAGS ALL_FLAGS
        \op dx, 1
        SAVE_FLAGS ALL_FLAGS
        SAVE eax
        \op eax, 7
        SAVE_FLAGS ALL_FLAGS & ~0x800
        \op cl, 5
        SAVE_FLAGS ALL_FLAGS & ~0x800
        SAVE eax
        SAVE ecx
        mov eax, [esi+32]
        mov [edi], eax
        LOAD_FLAGS [esi+36]
        \op byte ptr [edi+1], 1
        \op word ptr [edi+2], 3
        \op dword ptr [edi], 1
        lea edi, [edi+4]
        SAVE_FLAGS ALL_FLAGS
        .endr
        END_ROUTINE
