# bt, bts, btr and btc with register, immediate and memory operands (a
# register offset on memory is signed and reaches outside the operand),
# bsf and bsr including a zero source, the F3-prefixed bsf compilers use
# for counting trailing zeros, and clc/stc/cmc. Only CF (and ZF, which the
# bt family leaves alone) are compared, and ZF alone for bsf/bsr.
        .include "routine.inc"

        .set BT_FLAGS, 0x41

        .macro BT_REG op, offset
        mov eax, [esi+\offset]
        mov ecx, [esi+\offset+4]
        LOAD_FLAGS [esi+\offset+8]
        \op eax, ecx
        SAVE_FLAGS BT_FLAGS
        SAVE eax
        \op ax, cx
        SAVE_FLAGS BT_FLAGS
        SAVE eax
        \op eax, 37
        SAVE_FLAGS BT_FLAGS
        \op ax, 18
        SAVE_FLAGS BT_FLAGS
        SAVE eax
        .endm

# A 64-byte copy of the input in the results; EDX points at its middle.
        .macro BT_MEM op, offset
        movsx ecx, byte ptr [esi+\offset]
        LOAD_FLAGS [esi+\offset+4]
        \op dword ptr [edx], ecx
        SAVE_FLAGS BT_FLAGS
        \op word ptr [edx], cx
        SAVE_FLAGS BT_FLAGS
        \op dword ptr [edx+4], 35
        SAVE_FLAGS BT_FLAGS
        \op word ptr [edx-6], 20
        SAVE_FLAGS BT_FLAGS
        .endm

        .macro SCAN op, src
        mov ecx, 0x5A5A5A5A
        \op ecx, \src
        SAVE_FLAGS 0x40
        jnz 1f
        xor ecx, ecx          # destination undefined for a zero source
1:
        SAVE ecx
        mov ecx, 0x5A5A5A5A
        \op cx, \src\()_16
        SAVE_FLAGS 0x40
        jnz 1f
        xor ecx, ecx
1:
        SAVE ecx
        .endm

        BEGIN_ROUTINE
        BT_REG bt, 0
        BT_REG bts, 12
        BT_REG btr, 24
        BT_REG btc, 36

        mov ebx, edi
        push esi
        mov ecx, 16
        rep movsd
        pop esi
        lea edx, [ebx+32]
        BT_MEM bt, 48
        BT_MEM bts, 56
        BT_MEM btr, 64
        BT_MEM btc, 72
        movsx ecx, byte ptr [esi+80]
        bts [edx], ecx
        movsx ecx, byte ptr [esi+81]
        btc [edx], ecx
        SAVE_FLAGS BT_FLAGS

        # scans: input values, some of them forced to zero
        mov eax, [esi+84]
        mov ebx, [esi+88]
        test byte ptr [esi+92], 3
        jnz 1f
        xor eax, eax
1:
        test byte ptr [esi+92], 12
        jnz 1f
        and ebx, 0xFFFF0000
1:
        .set eax_16, ax
        .set ebx_16, bx
        SCAN bsf, eax
        SCAN bsr, eax
        SCAN bsf, ebx
        SCAN bsr, ebx
        bsr ecx, [esi+96]
        SAVE_FLAGS 0x40
        bsf cx, [esi+98]
        SAVE_FLAGS 0x40
        mov eax, [esi+100]
        or eax, 0x10000000
        rep bsf ecx, eax
        SAVE ecx

        LOAD_FLAGS [esi+104]
        cmc
        SAVE_FLAGS ALL_FLAGS
        stc
        SAVE_FLAGS ALL_FLAGS
        cmc
        SAVE_FLAGS ALL_FLAGS
        clc
        SAVE_FLAGS ALL_FLAGS
        END_ROUTINE
