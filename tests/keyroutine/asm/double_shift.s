# shld and shrd at 16 and 32 bits by CL over counts 0..33 and by immediate,
# with register and memory destinations. Nothing changes for a count of 0;
# OF is defined for a count of 1; AF never; a 16-bit count above 16 leaves
# result and flags undefined, so those are skipped.
        .include "routine.inc"

        .macro DOUBLE op
        # 32 bits
        mov ebx, [esi]
        mov eax, [esi+4]
        LOAD_FLAGS [esi+8]
        \op ebx, eax, cl
        SAVE_FLAGS edx
        SAVE ebx
        # 16 bits, when defined
        mov eax, ecx
        and eax, 31
        cmp eax, 16
        ja 2f
        mov ebx, [esi+12]
        mov eax, [esi+16]
        LOAD_FLAGS [esi+20]
        \op bx, ax, cl
        SAVE_FLAGS edx
        SAVE ebx
        jmp 3f
2:
        SAVE 0
        SAVE 0
3:
        .endm

        BEGIN_ROUTINE
        xor ecx, ecx
count_loop:
        mov eax, ecx
        and eax, 31
        mov edx, ALL_FLAGS
        jz 1f
        mov edx, NO_AF
        cmp eax, 1
        je 1f
        mov edx, NO_AF & ~0x800
1:
        DOUBLE shld
        DOUBLE shrd
        inc ecx
        cmp ecx, 34
        jb count_loop

        mov eax, [esi+24]
        mov [edi], eax
        mov ebx, [esi+28]
        LOAD_FLAGS [esi+32]
        shld dword ptr [edi], ebx, 1
        lea edi, [edi+4]
        SAVE_FLAGS NO_AF
        mov [edi], eax
        shrd dword ptr [edi], ebx, 1
        lea edi, [edi+4]
        SAVE_FLAGS NO_AF
        shld eax, ebx, 11
        SAVE_FLAGS NO_AF & ~0x800
        shrd eax, ebx, 27
        SAVE_FLAGS NO_AF & ~0x800
        SAVE eax
        mov [edi], eax
        shld word ptr [edi], bx, 7
        shrd word ptr [edi+2], bx, 15
        lea edi, [edi+4]
        SAVE_FLAGS NO_AF & ~0x800
        mov cl, 32
        LOAD_FLAGS [esi+36]
        shld eax, ebx, cl
        SAVE_FLAGS ALL_FLAGS
        SAVE eax
        END_ROUTINE
