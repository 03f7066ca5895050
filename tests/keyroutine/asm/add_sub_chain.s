# add/adc and sub/sbb chains over 128-bit values, adc/sbb at 8 and 16 bits
# with register, memory and immediate operands, neg, inc/dec (CF kept), cmp,
# and/or/xor/test (AF undefined), not; on inputs and on edge values.
        .include "routine.inc"

        .macro ADD128 first, next, a, b
        mov eax, [esi+\a]
        \first eax, [esi+\b]
        SAVE_FLAGS ALL_FLAGS
        SAVE eax
        mov eax, [esi+\a+4]
        \next eax, [esi+\b+4]
        SAVE_FLAGS ALL_FLAGS
        SAVE eax
        mov eax, [esi+\a+8]
        \next eax, [esi+\b+8]
        SAVE_FLAGS ALL_FLAGS
        SAVE eax
        mov eax, [esi+\a+12]
        \next eax, [esi+\b+12]
        SAVE_FLAGS ALL_FLAGS
        SAVE eax
        .endm

        BEGIN_ROUTINE
        ADD128 add, adc, 0, 16
        ADD128 sub, sbb, 32, 48
        ADD128 add, adc, 64, 64
        ADD128 sub, sbb, 80, 80

        # 8- and 16-bit carries, every operand form
        mov eax, [esi+96]
        mov ebx, [esi+100]
        LOAD_FLAGS [esi+104]
        adc al, bl
        SAVE_FLAGS ALL_FLAGS
        adc ah, bh
        SAVE_FLAGS ALL_FLAGS
        adc ax, bx
        SAVE_FLAGS ALL_FLAGS
        adc al, 0x7F
        SAVE_FLAGS ALL_FLAGS
        adc ax, 0x1234
        SAVE_FLAGS ALL_FLAGS
        adc bx, -3
        SAVE_FLAGS ALL_FLAGS
        sbb al, bh
        SAVE_FLAGS ALL_FLAGS
        sbb ax, 0x8000
        SAVE_FLAGS ALL_FLAGS
        sbb bl, 0x80
        SAVE_FLAGS ALL_FLAGS
        sbb eax, 0x7FFFFFFF
        SAVE_FLAGS ALL_FLAGS
        sbb ebx, -1
        SAVE_FLAGS ALL_FLAGS
        SAVE eax
        SAVE ebx
        mov [edi], eax
        adc byte ptr [edi], bl
        adc word ptr [edi+1], 5
        sbb dword ptr [edi], -2
        sbb bh, [edi+3]
        adc bx, [edi+2]
        lea edi, [edi+4]
        SAVE_FLAGS ALL_FLAGS
        SAVE ebx

        # edge values through add, sub and neg at every size
        call edges_end
        .long 0, 1, 0x7F, 0x80, 0xFF, 0x7FFF, 0x8000, 0xFFFF, 0x7FFFFFFF, 0x80000000
        .long 0xFFFFFFFF, 0x0F, 0x10, 0xEFFFFFFF
edges_end:
        pop ebp
        xor ecx, ecx
edge_loop:
        mov eax, [ebp+ecx*4]
        mov ebx, [esi+ecx*4+112]
        and ebx, 0x8000001F
        mov edx, eax
        add dl, bl
        SAVE_FLAGS ALL_FLAGS
        add dx, bx
        SAVE_FLAGS ALL_FLAGS
        add edx, ebx
        SAVE_FLAGS ALL_FLAGS
        SAVE edx
        mov edx, eax
        sub dl, 1
        SAVE_FLAGS ALL_FLAGS
        sub dx, 1
        SAVE_FLAGS ALL_FLAGS
        sub edx, eax
        SAVE_FLAGS ALL_FLAGS
        mov edx, eax
        neg dl
        SAVE_FLAGS ALL_FLAGS
        neg dx
        SAVE_FLAGS ALL_FLAGS
        neg edx
        SAVE_FLAGS ALL_FLAGS
        SAVE edx
        mov edx, eax
        stc
        inc dl
        SAVE_FLAGS ALL_FLAGS
        clc
        dec dx
        SAVE_FLAGS ALL_FLAGS
        inc edx
        SAVE_FLAGS ALL_FLAGS
        dec eax
        SAVE_FLAGS ALL_FLAGS
        cmp eax, ebx
        SAVE_FLAGS ALL_FLAGS
        cmp bl, al
        SAVE_FLAGS ALL_FLAGS
        cmp ax, 0x8000
        SAVE_FLAGS ALL_FLAGS
        SAVE eax
        inc ecx
        cmp ecx, 14
        jb edge_loop

        # logic operations: CF and OF cleared, AF undefined
        mov eax, [esi+176]
        mov ebx, [esi+180]
        LOAD_FLAGS [esi+184]
        and eax, ebx
        SAVE_FLAGS NO_AF
        or al, bh
        SAVE_FLAGS NO_AF
        xor ax, 0x8001
        SAVE_FLAGS NO_AF
        test bl, 0x80
        SAVE_FLAGS NO_AF
        test eax, ebx
        SAVE_FLAGS NO_AF
        xor ebx, ebx
        SAVE_FLAGS NO_AF
        or ebx, [esi+188]
        SAVE_FLAGS NO_AF
        not ebx
        not bh
        not ax
        SAVE_FLAGS NO_AF
        SAVE eax
        SAVE ebx
        mov [edi], ebx
        and byte ptr [edi], 0x0F
        or word ptr [edi+1], 0x4000
        xor dword ptr [edi], eax
        test dword ptr [edi], 0x00010000
        lea edi, [edi+4]
        SAVE_FLAGS NO_AF
        END_ROUTINE
