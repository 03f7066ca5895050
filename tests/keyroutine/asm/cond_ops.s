# The sixteen conditions through setcc (register and memory), cmovcc
# (register and memory source), jcc short and near, over a table of flag
# combinations in the code and flags from the input; then loop, loope,
# loopne and jecxz.
        .include "routine.inc"

# 16 result bytes at [edi] for the flags in force, then EDI += 16.
        .macro ALL_CONDITIONS kind
        .set idx, 0
        .irp cc, o, no, b, ae, e, ne, be, a, s, ns, p, np, l, ge, le, g
        .if \kind == 0
        set\cc byte ptr [edi+idx]
        .elseif \kind == 1
        mov eax, 0x11
        cmov\cc eax, ecx
        mov byte ptr [edi+idx], al
        .elseif \kind == 2
        mov eax, 0x22
        cmov\cc ax, word ptr [esi+2*idx]
        mov byte ptr [edi+idx], al
        .elseif \kind == 3
        set\cc al
        j\cc 1f
        xor al, 0x80
1:
        mov byte ptr [edi+idx], al
        .else
        mov al, 0
        {disp32} j\cc 1f
        mov al, 1
1:
        mov byte ptr [edi+idx], al
        .endif
        .set idx, idx+1
        .endr
        lea edi, [edi+16]
        .endm

        BEGIN_ROUTINE
        call flags_end
        .long 0x000, 0x001, 0x004, 0x040, 0x041, 0x080, 0x800, 0x880, 0x0C0, 0x8C1
        .long 0x840, 0x081, 0x8D5, 0x0D5, 0x845, 0x0C4
flags_end:
        pop ebp
        xor ebx, ebx
flags_loop:
        cmp ebx, 16
        jb 1f
        mov eax, [esi+ebx*4]       # four more combinations from the input
        jmp 2f
1:
        mov eax, [ebp+ebx*4]
2:
        and eax, ALL_FLAGS
        mov ecx, 0x99
        push eax
        popfd
        ALL_CONDITIONS 0
        ALL_CONDITIONS 1
        ALL_CONDITIONS 2
        ALL_CONDITIONS 3
        ALL_CONDITIONS 4
        SAVE_FLAGS ALL_FLAGS
        inc ebx
        cmp ebx, 20
        jb flags_loop

        # loop counts down without touching the flags
        mov ecx, 7
        xor eax, eax
        LOAD_FLAGS [esi+80]
1:
        inc eax
        loop 1b
        SAVE_FLAGS ALL_FLAGS & ~0x8D4
        SAVE eax
        SAVE ecx
        # loope stops at the first byte that differs from the first one,
        # loopne at the first that equals it
        movzx ecx, byte ptr [esi+84]
        and ecx, 15
        inc ecx
        mov edx, esi
        mov al, [edx]
1:
        inc edx
        cmp al, [edx]
        loope 1b
        SAVE_FLAGS ALL_FLAGS
        SAVE ecx
        sub edx, esi
        SAVE edx
        mov ecx, 40
        mov edx, esi
        mov al, [esi+85]
        and al, 0x0F
1:
        inc edx
        mov ah, [edx]
        and ah, 0x0F
        cmp al, ah
        loopne 1b
        SAVE_FLAGS ALL_FLAGS
        SAVE ecx
        sub edx, esi
        SAVE edx
        # jecxz taken and not taken
        xor eax, eax
        xor ecx, ecx
        jecxz 1f
        inc eax
1:
        inc ecx
        jecxz 2f
        add eax, 2
2:
        SAVE eax
        END_ROUTINE
