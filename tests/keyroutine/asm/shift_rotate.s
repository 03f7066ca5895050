# shl, shr, sar, rol and ror at 8, 16 and 32 bits for a table of counts in
# CL (the table sits in the code and is found with call/pop), then the by-1
# and immediate forms. Flags compared where defined: none change for a count
# of 0; OF only for a count of 1; CF of shl/shr not once the count reaches
# the operand size; AF never; rotates leave SF, ZF, AF and PF alone.
        .include "routine.inc"

# EDX = flags defined after shl/shr (\sar = 0) or sar (\sar = 1) of \bits.
        .macro SHIFT_MASK bits, sar
        mov eax, ecx
        and eax, 31
        mov edx, ALL_FLAGS
        jz 1f
        mov edx, NO_AF
        cmp eax, 1
        je 1f
        mov edx, NO_AF & ~0x800
        .if \sar == 0
        cmp eax, \bits
        jb 1f
        and edx, ~1
        .endif
1:
        .endm

# Runs \op on an 8-, 16- and 32-bit register by CL and saves flags and result.
        .macro SHIFT_ALL op, sar
        SHIFT_MASK 8, \sar
        mov ebx, [esi]
        LOAD_FLAGS [esi+4]
        \op bl, cl
        SAVE_FLAGS edx
        SAVE ebx
        SHIFT_MASK 16, \sar
        mov ebx, [esi+8]
        LOAD_FLAGS [esi+12]
        \op bx, cl
        SAVE_FLAGS edx
        SAVE ebx
        SHIFT_MASK 32, \sar
        mov ebx, [esi+16]
        LOAD_FLAGS [esi+20]
        \op ebx, cl
        SAVE_FLAGS edx
        SAVE ebx
        .endm

        .macro ROTATE_ALL op
        mov eax, ecx
        and eax, 31
        cmp eax, 2
        mov edx, ALL_FLAGS
        jb 1f
        mov edx, ALL_FLAGS & ~0x800
1:
        mov ebx, [esi+24]
        LOAD_FLAGS [esi+28]
        \op bh, cl
        SAVE_FLAGS edx
        SAVE ebx
        mov ebx, [esi+32]
        LOAD_FLAGS [esi+36]
        \op bx, cl
        SAVE_FLAGS edx
        SAVE ebx
        mov ebx, [esi+40]
        LOAD_FLAGS [esi+44]
        \op ebx, cl
        SAVE_FLAGS edx
        SAVE ebx
        .endm

        BEGIN_ROUTINE
        call counts_end
        .byte 0, 1, 2, 3, 4, 7, 8, 9, 15, 16, 17, 24, 31, 32, 33, 40, 0xFF
counts_end:
        pop ebp
count_loop:
        movzx ecx, byte ptr [ebp]
        cmp ecx, 0xFF
        je counts_done
        SHIFT_ALL shl, 0
        SHIFT_ALL shr, 0
        SHIFT_ALL sar, 1
        ROTATE_ALL rol
        ROTATE_ALL ror
        inc ebp
        jmp count_loop
counts_done:
        # sal is shl; by 1 and by immediate, on registers and memory
        mov eax, [esi+48]
        LOAD_FLAGS [esi+52]
        sal eax, 1
        SAVE_FLAGS NO_AF
        shr ax, 1
        SAVE_FLAGS NO_AF
        sar al, 1
        SAVE_FLAGS NO_AF
        rol eax, 1
        SAVE_FLAGS NO_AF
        ror ah, 1
        SAVE_FLAGS NO_AF
        shl eax, 13
        SAVE_FLAGS NO_AF & ~0x800
        sar eax, 31
        SAVE_FLAGS NO_AF & ~0x800
        SAVE eax
        # memory operands: two result slots first, then the flags
        mov eax, [esi+56]
        mov ebx, edi
        mov [ebx], eax
        mov [ebx+4], eax
        lea edi, [edi+8]
        LOAD_FLAGS [esi+60]
        shl dword ptr [ebx], 1
        SAVE_FLAGS NO_AF
        shr word ptr [ebx+2], 5
        SAVE_FLAGS NO_AF & ~0x800
        sar byte ptr [ebx+1], 3
        SAVE_FLAGS NO_AF & ~0x800
        rol dword ptr [ebx+4], 9
        SAVE_FLAGS NO_AF & ~0x800
        mov cl, 3
        ror word ptr [ebx+6], cl
        SAVE_FLAGS NO_AF & ~0x800
        END_ROUTINE
